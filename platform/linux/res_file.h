#pragma once

#include <cstddef>
#include <cstdint>

// Reading of a compiled resource file (.res, as windres writes it): a run of
// entries, each a header naming type, name and language followed by the data.
// Every field is bounds-checked: arbitrary bytes give "no entry", never a read
// outside the given range.

// A type or a name: either a number or a UTF-16 text (the .res form).
struct ResId {
    bool is_number;
    uint16_t number;
    const uint8_t* text;  // UTF-16LE code units, not terminated
    size_t text_units;
};

struct ResEntry {
    ResId type;
    ResId name;
    uint16_t language;
    const uint8_t* data;
    uint32_t data_size;
};

// Walks the entries: starting at *offset, reads one entry into *entry and moves
// *offset to the next. Returns false at the end or at the first malformed entry.
bool read_res_entry(const uint8_t* file, size_t file_size, size_t* offset, ResEntry* entry);

// Whether id matches a Windows-style resource argument: a number made with
// MAKEINTRESOURCE, or a narrow text compared without regard to ASCII case.
bool res_id_matches(const ResId& id, const char* wanted);
