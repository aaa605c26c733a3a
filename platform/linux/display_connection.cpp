#include "platform/linux/display_connection.h"

#include <FL/x.H>

bool display_available() {
    if (fl_display != nullptr) {
        return true;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    fl_open_display(display);
    return true;
}

// Once FLTK draws text, fontconfig keeps its font tables for the life of the
// process; a leak checker (the sanitizer builds) would report them at exit
// from every program that showed a window. The checker asks for this list.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
