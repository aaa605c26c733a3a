// The drop-down combo box: an edit field with a list to pick from, on FLTK's
// input choice. The list keeps items in the order they are added, duplicates
// included, so the items live in a menu array of our own rather than going
// through the menu's add(), which would read '/' and '\' in a port name as a
// submenu path and merge equal labels. The selected position follows the
// system: a pick from the list selects, typing in the edit field leaves no
// position selected.

#include <FL/Fl_Input_Choice.H>
#include <FL/Fl_Menu_Item.H>

#include <vector>

#include "platform/linux/control.h"
#include "platform/linux/dialog_units.h"
#include "platform/linux/fltk_text.h"

namespace {

// The template's height includes the dropped-down list; closed, the box is
// as tall as its edit field.
constexpr int closed_height_dialog_units = 13;

class ComboBox : public Control {
public:
    explicit ComboBox(const ControlSetup& setup)
        : choice_(new Fl_Input_Choice(setup.x, setup.y, setup.w,
                                      dialog_y_to_pixels(closed_height_dialog_units))) {
        choice_->textsize(setup.font_size);
        choice_->menubutton()->textsize(setup.font_size);
        if (!(setup.item.style & WS_TABSTOP)) {
            choice_->input()->clear_visible_focus();
        }
        choice_->menubutton()->callback(on_pick, this);
        choice_->input()->callback(on_edit, this);
        choice_->input()->when(FL_WHEN_CHANGED);
        rebuild_menu();
        set_text(setup.item.title.text.c_str());
    }

protected:
    void set_text(const char* text) override { choice_->input()->value(text ? text : ""); }

    std::string text() const override { return choice_->input()->value(); }

    LRESULT handle_own_message(UINT message, WPARAM wparam, LPARAM lparam) override {
        switch (message) {
        case CB_ADDSTRING:
            return add_item(reinterpret_cast<const char*>(lparam));
        case CB_SETCURSEL:
            return select(static_cast<int>(wparam));
        case CB_GETCURSEL:
            return selected_;
        case CB_GETCOUNT:
            return static_cast<LRESULT>(items_.size());
        case CB_GETLBTEXT:
            if (static_cast<size_t>(wparam) >= items_.size()) {
                return CB_ERR;
            }
            // The caller's buffer is as large as the item needs, as on the system.
            return copy_text_out(items_[wparam].text, reinterpret_cast<char*>(lparam),
                                 items_[wparam].text.size() + 1);
        default:
            return 0;
        }
    }

private:
    struct Item {
        std::string text;   // as added
        std::string label;  // as the menu draws it
    };

    LRESULT add_item(const char* text) {
        if (text == nullptr) {
            return CB_ERR;
        }
        items_.push_back(Item{text, menu_item_text(text)});
        rebuild_menu();
        return static_cast<LRESULT>(items_.size() - 1);
    }

    // Index -1 or one past the list clears the selection and the edit field.
    LRESULT select(int index) {
        if (index < 0 || static_cast<size_t>(index) >= items_.size()) {
            selected_ = CB_ERR;
            choice_->input()->value("");
            return CB_ERR;
        }
        selected_ = index;
        choice_->input()->value(items_[index].text.c_str());
        choice_->menubutton()->value(index);
        return index;
    }

    void rebuild_menu() {
        menu_.assign(items_.size() + 1, Fl_Menu_Item{});
        for (size_t i = 0; i < items_.size(); ++i) {
            menu_[i].text = items_[i].label.c_str();
        }
        choice_->menubutton()->menu(menu_.data());
        if (selected_ != CB_ERR) {
            choice_->menubutton()->value(selected_);
        }
    }

    static void on_pick(Fl_Widget*, void* data) {
        auto* combo = static_cast<ComboBox*>(data);
        combo->select(combo->choice_->menubutton()->value());
        combo->choice_->input()->take_focus();
    }

    static void on_edit(Fl_Widget*, void* data) { static_cast<ComboBox*>(data)->selected_ = CB_ERR; }

    Fl_Input_Choice* choice_;
    std::vector<Item> items_;
    std::vector<Fl_Menu_Item> menu_;
    LRESULT selected_ = CB_ERR;
};

}  // namespace

std::unique_ptr<Control> create_combo_box(const ControlSetup& setup) {
    if ((setup.item.style & CBS_TYPEMASK) != CBS_DROPDOWN || (setup.item.style & CBS_SORT)) {
        return nullptr;
    }
    return std::make_unique<ComboBox>(setup);
}
