#include "platform/win32.h"

// No window exists yet on this layer, so every handle is invalid; the headless
// program and the tests read the text from where it was formatted.
BOOL SetDlgItemTextA(HWND, int, LPCSTR) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
}
