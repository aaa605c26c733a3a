#include "tests/app/popup_menu.h"

#include <X11/Xlib.h>

bool popup_menu_shown() {
    Display* x = XOpenDisplay(nullptr);
    if (x == nullptr) {
        return false;
    }
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    bool shown = false;
    if (XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            shown = shown || (XGetWindowAttributes(x, children[i], &attributes) && attributes.override_redirect &&
                              attributes.map_state == IsViewable);
        }
        XFree(children);
    }
    XCloseDisplay(x);
    return shown;
}
