// Dialog windows built from an extended dialog template among the program's
// resources, with the window procedure of the class that the template names;
// their life from creation to destruction.

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include "platform/linux/dialog_template.h"
#include "platform/linux/dialog_units.h"
#include "platform/linux/display_connection.h"
#include "platform/linux/platform_log.h"
#include "platform/linux/timers.h"
#include "platform/linux/window_class.h"
#include "platform/linux/window_registry.h"

namespace {

// Text sizes in pixels follow the template's point size at 96 dots per inch.
constexpr int screen_dots_per_inch = 96;
constexpr int points_per_inch = 72;
constexpr int default_point_size = 8;

// The window frame. Closing it from the title bar becomes WM_CLOSE for the
// window procedure, which decides.
class DialogFrame : public Fl_Double_Window {
public:
    DialogFrame(int x, int y, int w, int h, HWND handle) : Fl_Double_Window(x, y, w, h), handle_(handle) {
        callback(on_close, this);
    }

private:
    static void on_close(Fl_Widget*, void* data) {
        // FLTK also closes a window on Escape; a dialog of this kind stays open.
        if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) {
            return;
        }
        PostMessageA(static_cast<DialogFrame*>(data)->handle_, WM_CLOSE, 0, 0);
    }

    HWND handle_;
};

bool load_template(HINSTANCE instance, LPCSTR name, DialogTemplate* dialog) {
    HRSRC resource = FindResourceA(instance, name, RT_DIALOG);
    if (resource == nullptr) {
        return false;  // FindResourceA has said why
    }
    HGLOBAL loaded = LoadResource(instance, resource);
    const auto* bytes = static_cast<const uint8_t*>(LockResource(loaded));
    if (bytes == nullptr || !parse_dialog_template(bytes, SizeofResource(instance, resource), dialog)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

// Window procedures run only from message dispatch, never inside FLTK's
// event handling, so the frame and its widgets can go at once; the control
// records go after them, since the widgets' callbacks refer to them.
void forget_dialog(WindowRecord* dialog) {
    const HWND handle = dialog->handle;
    delete dialog->frame;
    for (WindowRecord* control : controls_of(handle)) {
        remove_window(control->handle);
    }
    remove_window(handle);
}

bool show_dialog(WindowRecord* dialog) {
    if (!display_available()) {
        SetLastError(ERROR_NOT_READY);
        return false;
    }
    dialog->frame->show();
    return true;
}

// The pixel size of the dialog font: the template's point size, made smaller
// where this machine's font is wider or taller than the base units the layout
// is converted with, so that texts wrap and fit where the template's boxes
// expect them to. Base units are measured as the system measures them: the
// average width of the 52 letters, and the line height.
int dialog_font_size(int points) {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    int size = (points * screen_dots_per_inch + points_per_inch / 2) / points_per_inch;
    if (!display_available()) {
        return size;  // nothing to measure with; nothing will be drawn either
    }
    for (; size > 6; --size) {
        fl_font(FL_HELVETICA, size);
        const int base_x = (static_cast<int>(fl_width(letters)) / 26 + 1) / 2;
        if (base_x <= DIALOG_BASE_UNIT_X && fl_height() <= DIALOG_BASE_UNIT_Y) {
            break;
        }
    }
    return size;
}

bool build_controls(const DialogTemplate& dialog, WindowRecord* record) {
    const int font_size = dialog_font_size(dialog.point_size ? dialog.point_size : default_point_size);
    for (const DialogItemTemplate& item : dialog.items) {
        WindowRecord* control = add_window(record->handle);
        control->control_id = item.id;
        const ControlSetup setup{item,
                                 record->handle,
                                 control->handle,
                                 dialog_x_to_pixels(item.x),
                                 dialog_y_to_pixels(item.y),
                                 dialog_x_to_pixels(item.cx),
                                 dialog_y_to_pixels(item.cy),
                                 font_size};
        control->control = create_control(setup);
        if (!control->control) {
            return false;
        }
        if (!(item.style & WS_VISIBLE)) {
            record->frame->child(record->frame->children() - 1)->hide();
        }
    }
    return true;
}

}  // namespace

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR template_name, HWND owner, DLGPROC, LPARAM) {
    DialogTemplate dialog;
    if (!load_template(instance, template_name, &dialog)) {
        return nullptr;
    }
    // The template must name a registered class, whose procedure then runs
    // the window; the system's own dialog class is not part of this layer.
    const WNDPROC procedure = dialog.window_class.kind == TemplateName::Kind::text
                                  ? find_class_procedure(dialog.window_class.text)
                                  : nullptr;
    if (procedure == nullptr) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    // Menus, and dialogs owned by another window (placed relative to it), are
    // not part of this layer: the tool's window has neither.
    if (dialog.menu.kind != TemplateName::Kind::absent || owner != nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }

    WindowRecord* record = add_window(nullptr);
    record->procedure = procedure;
    record->caption = dialog.title;
    // The template's position is on the screen; its size is the client area's.
    auto* frame = new DialogFrame(dialog_x_to_pixels(dialog.x), dialog_y_to_pixels(dialog.y),
                                  dialog_x_to_pixels(dialog.cx), dialog_y_to_pixels(dialog.cy), record->handle);
    record->frame = frame;
    frame->copy_label(dialog.title.c_str());
    if (!(dialog.style & WS_CAPTION)) {
        frame->clear_border();
    }
    const bool built = build_controls(dialog, record);
    frame->end();
    // A dialog frame keeps the size its template gives it.
    frame->size_range(frame->w(), frame->h(), frame->w(), frame->h());
    if (!built) {
        forget_dialog(record);
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    const HWND handle = record->handle;
    if ((dialog.style & WS_VISIBLE) && !show_dialog(record)) {
        forget_dialog(record);
        return nullptr;
    }
    platform_log("window created %s", quoted(dialog.title.c_str()).c_str());
    return handle;
}

BOOL ShowWindow(HWND window, int show_command) {
    WindowRecord* record = window_or_error(window);
    if (record == nullptr) {
        return FALSE;
    }
    if (record->frame == nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);  // controls show with their dialog
        return FALSE;
    }
    const BOOL was_visible = record->frame->shown() && record->frame->visible();
    if (show_command == SW_HIDE) {
        record->frame->hide();
        return was_visible;
    }
    if (!show_dialog(record)) {
        return FALSE;
    }
    if (show_command == SW_MINIMIZE || show_command == SW_SHOWMINIMIZED || show_command == SW_SHOWMINNOACTIVE) {
        record->frame->iconize();
    }
    return was_visible;
}

BOOL DestroyWindow(HWND window) {
    WindowRecord* record = window_or_error(window);
    if (record == nullptr) {
        return FALSE;
    }
    if (record->frame == nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);  // controls go with their dialog
        return FALSE;
    }
    if (record->destroying) {
        return TRUE;
    }
    record->destroying = true;
    // The window still exists while its procedure handles WM_DESTROY.
    record->procedure(window, WM_DESTROY, 0, 0);
    kill_window_timers(window);
    platform_log("window destroyed %s", quoted(record->caption.c_str()).c_str());
    forget_dialog(record);
    return TRUE;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) {
        DestroyWindow(window);
    }
    return 0;
}
