#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The extended dialog template (the RT_DIALOG resource that a DIALOGEX
// statement compiles to), read into plain fields. Texts are converted from
// UTF-16 to UTF-8, the narrow encoding of this layer.

// A menu, class or title field: absent, a 16-bit ordinal, or a text.
struct TemplateName {
    enum class Kind { absent, ordinal, text } kind = Kind::absent;
    uint16_t ordinal = 0;
    std::string text;
};

// The predefined control classes, by the ordinal that stands for them.
constexpr uint16_t BUTTON_CLASS_ORDINAL = 0x0080;
constexpr uint16_t EDIT_CLASS_ORDINAL = 0x0081;
constexpr uint16_t STATIC_CLASS_ORDINAL = 0x0082;
constexpr uint16_t COMBOBOX_CLASS_ORDINAL = 0x0085;

struct DialogItemTemplate {
    uint32_t help_id;
    uint32_t ex_style;
    uint32_t style;
    int16_t x, y, cx, cy;  // dialog units
    int32_t id;
    TemplateName window_class;
    TemplateName title;
};

struct DialogTemplate {
    uint32_t help_id;
    uint32_t ex_style;
    uint32_t style;
    int16_t x, y, cx, cy;  // dialog units; the size is that of the client area
    TemplateName menu;
    TemplateName window_class;
    std::string title;
    // Present only with DS_SETFONT.
    uint16_t point_size;
    uint16_t weight;
    uint8_t italic;
    uint8_t charset;
    std::string typeface;
    std::vector<DialogItemTemplate> items;
};

// Reads the template in [data, data + size). Every field is bounds-checked:
// bytes that are not a whole extended template give false, never a read
// outside the range.
bool parse_dialog_template(const uint8_t* data, size_t size, DialogTemplate* dialog);
