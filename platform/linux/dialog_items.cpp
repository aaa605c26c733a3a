// Reaching the controls of a dialog by their identifiers.

#include "platform/linux/platform_log.h"
#include "platform/linux/window_registry.h"

HWND GetDlgItem(HWND dialog, int control_id) {
    if (window_or_error(dialog) == nullptr) {
        return nullptr;
    }
    for (WindowRecord* control : controls_of(dialog)) {
        if (control->control_id == control_id) {
            return control->handle;
        }
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

BOOL SetDlgItemTextA(HWND dialog, int control_id, LPCSTR text) {
    platform_log("SetDlgItemTextA id=%d text=%s", control_id, quoted(text).c_str());
    HWND control = GetDlgItem(dialog, control_id);
    if (control == nullptr) {
        return FALSE;
    }
    return static_cast<BOOL>(SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}
