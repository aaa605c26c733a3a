#include "platform/linux/dialog_template.h"

#include <utility>

#include "platform/win32.h"

namespace {

constexpr uint16_t extended_version = 1;
constexpr uint16_t extended_signature = 0xFFFF;

// A cursor over the template bytes that refuses to move past their end.
class TemplateReader {
public:
    TemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool u8(uint8_t* value) {
        if (size_ - pos_ < 1) {
            return false;
        }
        *value = data_[pos_++];
        return true;
    }

    bool u16(uint16_t* value) {
        if (size_ - pos_ < 2) {
            return false;
        }
        *value = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }

    bool i16(int16_t* value) {
        uint16_t raw;
        if (!u16(&raw)) {
            return false;
        }
        *value = static_cast<int16_t>(raw);
        return true;
    }

    bool u32(uint32_t* value) {
        uint16_t low, high;
        if (!u16(&low) || !u16(&high)) {
            return false;
        }
        *value = static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16);
        return true;
    }

    bool skip(size_t count) {
        if (size_ - pos_ < count) {
            return false;
        }
        pos_ += count;
        return true;
    }

    // Items start on a 4-byte boundary of the template.
    bool align4() { return skip((4 - pos_ % 4) % 4); }

    // A zero-terminated UTF-16 text, as UTF-8.
    bool text(std::string* out) {
        out->clear();
        for (;;) {
            uint16_t unit;
            if (!u16(&unit)) {
                return false;
            }
            if (unit == 0) {
                return true;
            }
            uint32_t code_point = unit;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                // A high surrogate takes the low one that follows; alone it is no character.
                uint16_t low;
                const size_t before = pos_;
                if (u16(&low) && low >= 0xDC00 && low <= 0xDFFF) {
                    code_point = 0x10000 + ((unit - 0xD800u) << 10) + (low - 0xDC00u);
                } else {
                    pos_ = before;
                    code_point = 0xFFFD;
                }
            } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
                code_point = 0xFFFD;
            }
            append_utf8(out, code_point);
        }
    }

    // A field that is absent (0), an ordinal (0xFFFF then the number) or a text.
    bool name(TemplateName* out) {
        const size_t start = pos_;
        uint16_t first;
        if (!u16(&first)) {
            return false;
        }
        if (first == 0) {
            out->kind = TemplateName::Kind::absent;
            return true;
        }
        if (first == 0xFFFF) {
            out->kind = TemplateName::Kind::ordinal;
            return u16(&out->ordinal);
        }
        pos_ = start;
        out->kind = TemplateName::Kind::text;
        return text(&out->text);
    }

private:
    static void append_utf8(std::string* out, uint32_t code_point) {
        if (code_point < 0x80) {
            out->push_back(static_cast<char>(code_point));
        } else if (code_point < 0x800) {
            out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
            out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
        } else if (code_point < 0x10000) {
            out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
            out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
        } else {
            out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
            out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
            out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
        }
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

bool read_item(TemplateReader& reader, DialogItemTemplate* item) {
    uint16_t creation_data_size;
    uint32_t id;
    if (!reader.align4() || !reader.u32(&item->help_id) || !reader.u32(&item->ex_style) ||
        !reader.u32(&item->style) || !reader.i16(&item->x) || !reader.i16(&item->y) ||
        !reader.i16(&item->cx) || !reader.i16(&item->cy) || !reader.u32(&id) ||
        !reader.name(&item->window_class) || !reader.name(&item->title) ||
        !reader.u16(&creation_data_size)) {
        return false;
    }
    item->id = static_cast<int32_t>(id);
    // The controls built here take no creation data; it only has to be there.
    return reader.skip(creation_data_size);
}

}  // namespace

bool parse_dialog_template(const uint8_t* data, size_t size, DialogTemplate* dialog) {
    if (data == nullptr) {
        return false;
    }
    TemplateReader reader(data, size);
    uint16_t version, signature, item_count;
    if (!reader.u16(&version) || !reader.u16(&signature) || version != extended_version ||
        signature != extended_signature) {
        return false;
    }
    if (!reader.u32(&dialog->help_id) || !reader.u32(&dialog->ex_style) || !reader.u32(&dialog->style) ||
        !reader.u16(&item_count) || !reader.i16(&dialog->x) || !reader.i16(&dialog->y) ||
        !reader.i16(&dialog->cx) || !reader.i16(&dialog->cy) || !reader.name(&dialog->menu) ||
        !reader.name(&dialog->window_class) || !reader.text(&dialog->title)) {
        return false;
    }
    dialog->point_size = 0;
    dialog->weight = 0;
    dialog->italic = 0;
    dialog->charset = 0;
    dialog->typeface.clear();
    if ((dialog->style & DS_SETFONT) &&
        (!reader.u16(&dialog->point_size) || !reader.u16(&dialog->weight) || !reader.u8(&dialog->italic) ||
         !reader.u8(&dialog->charset) || !reader.text(&dialog->typeface))) {
        return false;
    }
    // Items are kept only once read, so a count that the bytes cannot back costs nothing.
    dialog->items.clear();
    for (uint16_t i = 0; i < item_count; ++i) {
        DialogItemTemplate item{};
        if (!read_item(reader, &item)) {
            return false;
        }
        dialog->items.push_back(std::move(item));
    }
    return true;
}
