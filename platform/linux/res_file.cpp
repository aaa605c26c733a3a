#include "platform/linux/res_file.h"

#include <cctype>

#include "platform/win32.h"

namespace {

uint16_t read_u16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

uint32_t read_u32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

size_t align4(size_t value) {
    return (value + 3) & ~static_cast<size_t>(3);
}

// Reads a type or name field at [*pos, end) and moves *pos past it.
bool read_id(const uint8_t* base, size_t end, size_t* pos, ResId* id) {
    if (end - *pos < 2) {
        return false;
    }
    if (read_u16(base + *pos) == 0xFFFF) {
        if (end - *pos < 4) {
            return false;
        }
        *id = ResId{true, read_u16(base + *pos + 2), nullptr, 0};
        *pos += 4;
        return true;
    }
    const size_t start = *pos;
    while (end - *pos >= 2) {
        const uint16_t unit = read_u16(base + *pos);
        *pos += 2;
        if (unit == 0) {
            *id = ResId{false, 0, base + start, (*pos - start) / 2 - 1};
            return true;
        }
    }
    return false;
}

}  // namespace

bool read_res_entry(const uint8_t* file, size_t file_size, size_t* offset, ResEntry* entry) {
    const size_t start = *offset;
    if (start > file_size || file_size - start < 8) {
        return false;
    }
    const uint32_t data_size = read_u32(file + start);
    const uint32_t header_size = read_u32(file + start + 4);
    if (header_size < 8 || header_size > file_size - start ||
        data_size > file_size - start - header_size) {
        return false;
    }
    const size_t header_end = start + header_size;

    size_t pos = start + 8;
    if (!read_id(file, header_end, &pos, &entry->type) || !read_id(file, header_end, &pos, &entry->name)) {
        return false;
    }
    // DataVersion (4), MemoryFlags (2), LanguageId (2), Version (4), Characteristics (4)
    pos = align4(pos);
    if (pos > header_end || header_end - pos < 16) {
        return false;
    }
    entry->language = read_u16(file + pos + 6);
    entry->data = file + header_end;
    entry->data_size = data_size;
    *offset = align4(header_end + data_size);
    return true;
}

bool res_id_matches(const ResId& id, const char* wanted) {
    if (IS_INTRESOURCE(wanted)) {
        return id.is_number && id.number == static_cast<uint16_t>(reinterpret_cast<uintptr_t>(wanted));
    }
    if (id.is_number) {
        return false;
    }
    size_t i = 0;
    for (; i < id.text_units && wanted[i] != '\0'; ++i) {
        const uint16_t unit = read_u16(id.text + 2 * i);
        const unsigned char c = static_cast<unsigned char>(wanted[i]);
        if (unit > 0x7F || std::toupper(unit) != std::toupper(c)) {
            return false;
        }
    }
    return i == id.text_units && wanted[i] == '\0';
}
