// Window classes: a name and the window procedure of the windows made from
// it. The other fields of the class serve drawing that FLTK does on its own
// terms (cursor, background, extra bytes), so they are accepted and not kept.

#include "platform/linux/window_class.h"

#include <strings.h>

#include <vector>

namespace {

struct WindowClass {
    std::string name;
    WNDPROC procedure;
};

std::vector<WindowClass> classes;

// Atoms of registered classes lie in this range on the system as well.
constexpr ATOM first_class_atom = 0xC000;

// The arrow cursor is FLTK's default; its handle stands for it.
int arrow_cursor;

}  // namespace

WNDPROC find_class_procedure(const std::string& class_name) {
    for (const WindowClass& window_class : classes) {
        if (strcasecmp(window_class.name.c_str(), class_name.c_str()) == 0) {
            return window_class.procedure;
        }
    }
    return nullptr;
}

ATOM RegisterClassA(const WNDCLASSA* window_class) {
    if (window_class == nullptr || window_class->lpfnWndProc == nullptr ||
        window_class->lpszClassName == nullptr || IS_INTRESOURCE(window_class->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (find_class_procedure(window_class->lpszClassName) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    classes.push_back(WindowClass{window_class->lpszClassName, window_class->lpfnWndProc});
    return static_cast<ATOM>(first_class_atom + classes.size() - 1);
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR cursor_name) {
    if (instance != nullptr || cursor_name != IDC_ARROW) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HCURSOR>(&arrow_cursor);
}
