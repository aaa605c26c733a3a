// Left-aligned static text: the text wraps at word boundaries inside the
// control's box and is clipped to it; '&' marks a mnemonic as on the system.

#include <FL/Fl_Box.H>

#include "platform/linux/control.h"
#include "platform/linux/fltk_text.h"

namespace {

class TextBox : public Fl_Box {
public:
    TextBox(int x, int y, int w, int h) : Fl_Box(x, y, w, h) {
        box(FL_FLAT_BOX);  // a new text paints over the old one
        align(FL_ALIGN_INSIDE | FL_ALIGN_TOP | FL_ALIGN_LEFT | FL_ALIGN_WRAP | FL_ALIGN_CLIP);
        set_flag(SHORTCUT_LABEL);
    }
};

class StaticText : public Control {
public:
    explicit StaticText(const ControlSetup& setup)
        : box_(new TextBox(setup.x, setup.y, setup.w, setup.h)) {
        box_->labelsize(setup.font_size);
        set_text(setup.item.title.text.c_str());
    }

protected:
    void set_text(const char* text) override {
        text_ = text ? text : "";
        box_->copy_label(label_text(text_.c_str()).c_str());
        box_->redraw();
    }

    std::string text() const override { return text_; }

private:
    TextBox* box_;
    std::string text_;
};

}  // namespace

std::unique_ptr<Control> create_static_text(const ControlSetup& setup) {
    if ((setup.item.style & SS_TYPEMASK) != SS_LEFT) {
        return nullptr;
    }
    return std::make_unique<StaticText>(setup);
}
