// The process entry of a windowed program on this layer: hands over to the
// program's WinMain as the system would. The program's own module is the null
// module handle here, and the command line is not passed on.

#include "platform/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command);

int main() {
    static char empty_command_line[] = "";
    return WinMain(nullptr, nullptr, empty_command_line, SW_SHOWDEFAULT);
}
