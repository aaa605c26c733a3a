// A program that ends in the fatal error report, for the report's tests.
// Arguments: the last error code (decimal or 0x hex), the reason, then
// optionally "owned" (the report is owned by a main window whose tick timer
// runs) or a number (FormatMessageA then gives a text of that many characters).

#include <cstdlib>
#include <string>

#include "common/main_window.h"
#include "common/trace.h"
#include "platform/linux/test_hooks.h"
#include "tests/support/test_dialog.h"
#include "ui/fatal_error.h"

namespace {

std::string long_text;

const char* long_system_text(uint32_t) {
    return long_text.c_str();
}

LRESULT CALLBACK ticking_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_TIMER && wparam == 6) {
        trace("tick\n");
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    const DWORD code = static_cast<DWORD>(std::strtoul(argv[1], nullptr, 0));
    const std::string option = argc > 3 ? argv[3] : "";
    // Standard output is a pipe, so this stays in the buffer until exit.
    trace("trace text before the report\n");
    if (option == "owned") {
        main_window = create_test_dialog(ticking_proc);
        if (main_window == nullptr) {
            return 3;
        }
        SetTimer(main_window, 6, 10, nullptr);
    } else if (!option.empty()) {
        long_text.assign(std::strtoul(option.c_str(), nullptr, 10) - 2, 'x');
        long_text += "\r\n";
        dfut_platform::set_message_text_source(long_system_text);
    }
    SetLastError(code);
    fatal_error(argv[2]);
}
