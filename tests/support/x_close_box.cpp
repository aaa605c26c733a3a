#include "tests/support/x_close_box.h"

#include <X11/Xlib.h>

bool click_close_box(const std::string& window_id) {
    Display* x = XOpenDisplay(nullptr);
    if (x == nullptr) {
        return false;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::stoul(window_id);
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, event.xclient.window, False, NoEventMask, &event);
    XCloseDisplay(x);
    return true;
}
