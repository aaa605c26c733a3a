// Which widget draws which kind of control. Kept apart from the controls'
// message handling, so that a program that only sets texts (and has no
// window) does not take in the widgets.

#include <strings.h>

#include "platform/linux/control.h"

namespace {

// A predefined class may be named by its ordinal or by its name, in any case,
// as resource compilers differ in which they write.
uint16_t predefined_class_ordinal(const TemplateName& window_class) {
    if (window_class.kind == TemplateName::Kind::ordinal) {
        return window_class.ordinal;
    }
    static const struct {
        const char* name;
        uint16_t ordinal;
    } names[] = {{"BUTTON", BUTTON_CLASS_ORDINAL},
                 {"EDIT", EDIT_CLASS_ORDINAL},
                 {"STATIC", STATIC_CLASS_ORDINAL},
                 {"COMBOBOX", COMBOBOX_CLASS_ORDINAL}};
    for (const auto& known : names) {
        if (window_class.kind == TemplateName::Kind::text && strcasecmp(window_class.text.c_str(), known.name) == 0) {
            return known.ordinal;
        }
    }
    return 0;
}

}  // namespace

std::unique_ptr<Control> create_control(const ControlSetup& setup) {
    switch (predefined_class_ordinal(setup.item.window_class)) {
    case BUTTON_CLASS_ORDINAL:
        return create_push_button(setup);
    case EDIT_CLASS_ORDINAL:
        return create_edit_field(setup);
    case STATIC_CLASS_ORDINAL:
        return create_static_text(setup);
    case COMBOBOX_CLASS_ORDINAL:
        return create_combo_box(setup);
    default:
        return nullptr;
    }
}
