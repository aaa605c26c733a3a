#pragma once

#include <memory>
#include <string>

#include "platform/linux/dialog_template.h"
#include "platform/win32.h"

// One control of a dialog, drawn by an FLTK widget inside the dialog's frame.
class Control {
public:
    virtual ~Control() = default;

    // The answer to a message sent to the control: the text messages here,
    // the rest by the kind of control; messages it does not know answer 0.
    LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);

protected:
    virtual void set_text(const char* text) = 0;
    virtual std::string text() const = 0;
    virtual LRESULT handle_own_message(UINT message, WPARAM wparam, LPARAM lparam);
};

// Where and how a control is to be built; coordinates are pixels inside the
// dialog's client area.
struct ControlSetup {
    const DialogItemTemplate& item;
    HWND dialog;
    HWND handle;
    int x, y, w, h;
    int font_size;  // pixels
};

// Builds the widget for a template item into the current FLTK group. Null for
// a kind of control that this layer does not draw.
std::unique_ptr<Control> create_control(const ControlSetup& setup);

std::unique_ptr<Control> create_push_button(const ControlSetup& setup);
std::unique_ptr<Control> create_edit_field(const ControlSetup& setup);
std::unique_ptr<Control> create_static_text(const ControlSetup& setup);
std::unique_ptr<Control> create_combo_box(const ControlSetup& setup);

// Copies `text` into a caller's buffer of `size` bytes as the system does for
// WM_GETTEXT and CB_GETLBTEXT: cut to fit, always terminated; returns the
// characters copied.
LRESULT copy_text_out(const std::string& text, char* buffer, size_t size);
