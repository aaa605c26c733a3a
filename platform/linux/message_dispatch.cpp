// Delivering messages: straight to the window (sent), or from the queue
// (dispatched). A dialog's messages go to the procedure of its class, a
// control's to the control itself.

#include "platform/linux/window_registry.h"

LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    WindowRecord* record = window_or_error(window);
    if (record == nullptr) {
        return 0;
    }
    if (record->control) {
        return record->control->handle_message(message, wparam, lparam);
    }
    return record->procedure(window, message, wparam, lparam);
}

LRESULT DispatchMessageA(const MSG* message) {
    if (message == nullptr || message->hwnd == nullptr) {
        return 0;
    }
    // A timer set with a procedure calls it instead of the window procedure.
    if (message->message == WM_TIMER && message->lParam != 0) {
        if (!IsWindow(message->hwnd)) {
            return 0;
        }
        reinterpret_cast<TIMERPROC>(message->lParam)(message->hwnd, WM_TIMER, message->wParam, GetTickCount());
        return 0;
    }
    return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

// Keyboard input reaches the controls through FLTK, which already moves the
// focus with Tab and presses the default button on Return; the queue holds
// no key messages to translate.
BOOL TranslateMessage(const MSG*) {
    return FALSE;
}

// Takes, and dispatches, every message meant for the dialog or one of its
// controls, as the system's dialog handling does.
BOOL IsDialogMessageA(HWND dialog, LPMSG message) {
    if (message == nullptr || message->hwnd == nullptr || find_window(dialog) == nullptr) {
        return FALSE;
    }
    const WindowRecord* target = find_window(message->hwnd);
    if (target == nullptr || (target->handle != dialog && target->parent != dialog)) {
        return FALSE;
    }
    DispatchMessageA(message);
    return TRUE;
}
