#pragma once

// Builds compiled resource data (.res layout, as windres writes it) in memory,
// so that tests can hand the platform layer any set of resources.

#include <cstdint>
#include <string>
#include <vector>

class ResBuilder {
public:
    ResBuilder() { add_entry(0, "", {}); }  // .res files open with an empty entry

    ResBuilder& add(uint16_t type, const std::string& name, const std::vector<uint8_t>& data) {
        add_entry(type, name, data);
        return *this;
    }

    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    void add_entry(uint16_t type, const std::string& name, const std::vector<uint8_t>& data) {
        std::vector<uint8_t> header;
        put_u32(header, static_cast<uint32_t>(data.size()));
        put_u32(header, 0);  // header size, patched below
        put_u16(header, 0xFFFF);
        put_u16(header, type);
        if (name.empty()) {
            put_u16(header, 0xFFFF);
            put_u16(header, 0);
        } else {
            for (char c : name) put_u16(header, static_cast<uint8_t>(c));
            put_u16(header, 0);
        }
        while (header.size() % 4) header.push_back(0);
        put_u32(header, 0);       // data version
        put_u16(header, 0x0030);  // memory flags
        put_u16(header, 2057);    // language
        put_u32(header, 0);       // version
        put_u32(header, 0);       // characteristics
        const uint32_t header_size = static_cast<uint32_t>(header.size());
        for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<uint8_t>(header_size >> (8 * i));

        bytes_.insert(bytes_.end(), header.begin(), header.end());
        bytes_.insert(bytes_.end(), data.begin(), data.end());
        while (bytes_.size() % 4) bytes_.push_back(0);
    }

    static void put_u16(std::vector<uint8_t>& out, uint16_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    }
    static void put_u32(std::vector<uint8_t>& out, uint32_t v) {
        put_u16(out, static_cast<uint16_t>(v));
        put_u16(out, static_cast<uint16_t>(v >> 16));
    }

    std::vector<uint8_t> bytes_;
};
