// The message box: a modal window with the text, a warning icon when asked
// for, and one OK button. While it is up, its own loop goes on dispatching the
// thread's messages, so timers still reach their window procedures; with an
// owner, the owner takes no input until the box is gone.

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstdio>

#include "platform/linux/display_connection.h"
#include "platform/linux/fltk_text.h"
#include "platform/linux/message_queue.h"
#include "platform/linux/platform_log.h"
#include "platform/linux/window_registry.h"

namespace {

constexpr int text_size = 12;
constexpr int margin = 12;
constexpr int icon_size = 32;
constexpr int widest_text = 480;  // longer lines wrap
// Drawing wraps a line that fills the measured width exactly; a little room keeps it whole.
constexpr int wrap_slack = 4;
constexpr int button_w = 75;
constexpr int button_h = 23;

class WarningIcon : public Fl_Widget {
public:
    WarningIcon(int x, int y) : Fl_Widget(x, y, icon_size, icon_size) {}

    void draw() override {
        const int left = x(), top = y(), right = x() + w() - 1, bottom = y() + h() - 1;
        const int middle = left + w() / 2;
        fl_color(FL_YELLOW);
        fl_polygon(middle, top, right, bottom, left, bottom);
        fl_color(FL_BLACK);
        fl_loop(middle, top, right, bottom, left, bottom);
        fl_font(FL_HELVETICA_BOLD, h() * 2 / 3);
        fl_draw("!", left, top + h() / 4, w(), h() * 3 / 4, FL_ALIGN_CENTER);
    }
};

class MessageWindow : public Fl_Double_Window {
public:
    MessageWindow(int w, int h, const char* caption) : Fl_Double_Window(w, h) {
        copy_label(caption);
        callback(on_dismiss, this);  // the close box and Escape
    }

    static void on_dismiss(Fl_Widget*, void* data) { static_cast<MessageWindow*>(data)->dismissed = true; }

    bool dismissed = false;
};

// Where the box goes: centred over its owner, or on the screen.
void place(MessageWindow& box, const WindowRecord* owner) {
    if (owner != nullptr && owner->frame != nullptr && owner->frame->shown()) {
        const Fl_Window& frame = *owner->frame;
        box.position(frame.x() + (frame.w() - box.w()) / 2, frame.y() + (frame.h() - box.h()) / 2);
    } else {
        box.position((Fl::w() - box.w()) / 2, (Fl::h() - box.h()) / 2);
    }
}

int show_and_wait(const WindowRecord* owner, const char* text, const char* caption, bool warning) {
    const std::string label = label_text(text);
    fl_font(FL_HELVETICA, text_size);
    int text_w = 0, text_h = 0;
    fl_measure(label.c_str(), text_w, text_h);
    if (text_w > widest_text) {
        text_w = widest_text;
        text_h = 0;
        fl_measure(label.c_str(), text_w, text_h);
    }
    text_w += wrap_slack;
    const int text_x = warning ? margin + icon_size + margin : margin;
    const int body_h = std::max(text_h, warning ? icon_size : 0);
    const int box_w = std::max(text_x + text_w + margin, button_w + 2 * margin);
    const int button_y = margin + body_h + margin;

    MessageWindow box(box_w, button_y + button_h + margin, caption);
    if (warning) {
        new WarningIcon(margin, margin);
    }
    auto* message = new Fl_Box(text_x, margin, text_w, body_h);
    message->copy_label(label.c_str());
    message->labelsize(text_size);
    message->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT | FL_ALIGN_WRAP);
    auto* ok = new Fl_Return_Button(box_w - margin - button_w, button_y, button_w, button_h, "OK");
    ok->labelsize(text_size);
    ok->callback(MessageWindow::on_dismiss, &box);
    box.end();
    place(box, owner);
    if (owner != nullptr) {
        box.set_modal();
    }
    box.show();

    while (!box.dismissed) {
        MSG queued;
        if (next_message(&queued, &box.dismissed, false)) {
            DispatchMessageA(&queued);
        }
    }
    return IDOK;
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (caption == nullptr) {
        caption = "Error";  // the system's default caption
    }
    if (text == nullptr) {
        text = "";
    }
    platform_log("MessageBoxA owner=%s caption=%s text=%s", owner ? "window" : "none", quoted(caption).c_str(),
                 quoted(text).c_str());
    // One OK button, and no icon or the warning icon: what this layer draws.
    const UINT icon = type & MB_ICONMASK;
    if ((type & MB_TYPEMASK) != MB_OK || (icon != 0 && icon != MB_ICONWARNING)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    const WindowRecord* owner_record = nullptr;
    if (owner != nullptr && (owner_record = window_or_error(owner)) == nullptr) {
        return 0;
    }
    if (!display_available()) {
        // With no display the message still reaches a person, on standard error.
        std::fprintf(stderr, "%s: %s\n", caption, text);
        return IDOK;
    }
    return show_and_wait(owner_record, text, caption, icon == MB_ICONWARNING);
}
