#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/control.h"
#include "platform/win32.h"

class Fl_Window;

// What this layer knows of one window: a dialog (top-level, with the
// procedure of its class) or one of its controls.
struct WindowRecord {
    HWND handle;
    HWND parent;     // the dialog that holds a control; null for a dialog
    int control_id;  // controls only
    // Dialogs only.
    WNDPROC procedure;
    std::string caption;
    Fl_Window* frame;  // owned: deleted when the dialog is destroyed
    bool destroying;
    // Controls only; the widget inside it belongs to the dialog's frame.
    std::unique_ptr<Control> control;
};

// A new record with a handle of its own, never given out before.
WindowRecord* add_window(HWND parent);

// The record of a live window, or null.
WindowRecord* find_window(HWND window);

// As find_window, and when there is none sets ERROR_INVALID_WINDOW_HANDLE.
WindowRecord* window_or_error(HWND window);

void remove_window(HWND window);

// The controls of a dialog in the order in which they were created.
std::vector<WindowRecord*> controls_of(HWND dialog);
