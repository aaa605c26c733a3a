#include "platform/linux/control.h"

#include <algorithm>
#include <cstring>

LRESULT Control::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_SETTEXT:
        set_text(reinterpret_cast<const char*>(lparam));
        return TRUE;
    case WM_GETTEXT:
        return copy_text_out(text(), reinterpret_cast<char*>(lparam), static_cast<size_t>(wparam));
    default:
        return handle_own_message(message, wparam, lparam);
    }
}

LRESULT Control::handle_own_message(UINT, WPARAM, LPARAM) {
    return 0;
}

LRESULT copy_text_out(const std::string& text, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    const size_t count = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<LRESULT>(count);
}
