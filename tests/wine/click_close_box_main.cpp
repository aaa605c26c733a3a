// click_close_box WINDOW: sends the X window WINDOW (decimal, as xdotool
// prints it) what a window manager sends when its close box is clicked.
#include <cstdio>
#include <exception>

#include "tests/support/x_close_box.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: click_close_box WINDOW\n");
        return 2;
    }
    try {
        return click_close_box(argv[1]) ? 0 : 1;
    } catch (const std::exception& error) {  // not a window number
        std::fprintf(stderr, "click_close_box: %s\n", error.what());
        return 2;
    }
}
