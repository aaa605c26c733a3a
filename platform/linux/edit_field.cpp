// Single-line edit controls. A read-only one is FLTK's output field; without
// WS_BORDER it is drawn flat on the dialog's face, as the system draws it.

#include <FL/Fl_Input.H>
#include <FL/Fl_Output.H>

#include "platform/linux/control.h"

namespace {

class EditField : public Control {
public:
    explicit EditField(const ControlSetup& setup) {
        const bool read_only = (setup.item.style & ES_READONLY) != 0;
        if (read_only) {
            input_ = new Fl_Output(setup.x, setup.y, setup.w, setup.h);
        } else {
            input_ = new Fl_Input(setup.x, setup.y, setup.w, setup.h);
        }
        if (!(setup.item.style & WS_BORDER)) {
            input_->box(FL_FLAT_BOX);
            input_->color(read_only ? FL_BACKGROUND_COLOR : FL_BACKGROUND2_COLOR);
        }
        input_->textsize(setup.font_size);
        if (!(setup.item.style & WS_TABSTOP)) {
            input_->clear_visible_focus();
        }
        set_text(setup.item.title.text.c_str());
    }

protected:
    void set_text(const char* text) override { input_->value(text ? text : ""); }

    std::string text() const override { return input_->value(); }

private:
    Fl_Input* input_;
};

}  // namespace

std::unique_ptr<Control> create_edit_field(const ControlSetup& setup) {
    if (setup.item.style & ES_MULTILINE) {
        return nullptr;
    }
    return std::make_unique<EditField>(setup);
}
