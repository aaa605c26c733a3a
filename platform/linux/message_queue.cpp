#include "platform/linux/message_queue.h"

#include <FL/Fl.H>

#include <deque>

#include "platform/linux/timers.h"
#include "platform/linux/window_registry.h"

namespace {

std::deque<MSG> posted;
bool quit_posted = false;
int quit_code = 0;

}  // namespace

bool next_message(MSG* message, const bool* stop, bool take_quit) {
    for (;;) {
        // Input and redrawing go before the timers, as on the system.
        Fl::wait(0.0);
        if (stop != nullptr && *stop) {
            return false;
        }
        if (!posted.empty()) {
            *message = posted.front();
            posted.pop_front();
            return true;
        }
        if (take_quit && quit_posted) {
            quit_posted = false;
            *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quit_code), 0, GetTickCount(), POINT{0, 0}};
            return true;
        }
        if (take_due_timer(message)) {
            return true;
        }
        Fl::wait(seconds_until_next_timer());
    }
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (window != nullptr && window_or_error(window) == nullptr) {
        return FALSE;
    }
    posted.push_back(MSG{window, message, wparam, lparam, GetTickCount(), POINT{0, 0}});
    return TRUE;
}

void PostQuitMessage(int exit_code) {
    quit_posted = true;
    quit_code = exit_code;
}

BOOL GetMessageA(LPMSG message, HWND window, UINT first_message, UINT last_message) {
    // Filtering by window or message range is not part of this layer.
    if (message == nullptr || window != nullptr || first_message != 0 || last_message != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    next_message(message, nullptr, true);
    return message->message != WM_QUIT;
}
