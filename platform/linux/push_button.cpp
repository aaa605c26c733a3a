// Push buttons. The default push button is FLTK's return button, which the
// Return key presses wherever the focus is; a press tells the dialog with
// WM_COMMAND (the button's id and BN_CLICKED), as the system does.

#include <FL/Fl_Button.H>
#include <FL/Fl_Return_Button.H>

#include "platform/linux/control.h"
#include "platform/linux/fltk_text.h"

namespace {

class PushButton : public Control {
public:
    explicit PushButton(const ControlSetup& setup)
        : dialog_(setup.dialog), handle_(setup.handle), id_(setup.item.id) {
        const uint32_t kind = setup.item.style & BS_TYPEMASK;
        if (kind == BS_DEFPUSHBUTTON) {
            button_ = new Fl_Return_Button(setup.x, setup.y, setup.w, setup.h);
        } else {
            button_ = new Fl_Button(setup.x, setup.y, setup.w, setup.h);
        }
        button_->labelsize(setup.font_size);
        if (!(setup.item.style & WS_TABSTOP)) {
            button_->clear_visible_focus();
        }
        button_->callback(on_press, this);
        set_text(setup.item.title.text.c_str());
    }

protected:
    void set_text(const char* text) override {
        text_ = text ? text : "";
        button_->copy_label(label_text(text_.c_str()).c_str());
        button_->redraw();
    }

    std::string text() const override { return text_; }

private:
    static void on_press(Fl_Widget*, void* data) {
        const auto* button = static_cast<PushButton*>(data);
        PostMessageA(button->dialog_, WM_COMMAND, MAKEWPARAM(button->id_, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button->handle_));
    }

    HWND dialog_;
    HWND handle_;
    int id_;
    Fl_Button* button_;
    std::string text_;
};

}  // namespace

std::unique_ptr<Control> create_push_button(const ControlSetup& setup) {
    const uint32_t kind = setup.item.style & BS_TYPEMASK;
    if (kind != BS_PUSHBUTTON && kind != BS_DEFPUSHBUTTON) {
        return nullptr;
    }
    return std::make_unique<PushButton>(setup);
}
