// close_box WINDOW_ID: closes an X window the way a window manager's close box
// does (WM_DELETE_WINDOW), for scripts that run the tool on a display without
// a window manager, such as scripts/demo under Xvfb.

#include <cstdio>

#include "tests/support/x_close_box.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: close_box WINDOW_ID\n");
        return 2;
    }
    if (!click_close_box(argv[1])) {
        std::fprintf(stderr, "close_box: cannot open the display\n");
        return 1;
    }
    return 0;
}
