#include "protocol/crc16_modbus.h"

#include <array>

namespace {

// One entry per value of the register's low byte: the effect of the eight
// shift/XOR steps, so that a byte costs one lookup.
constexpr std::array<uint16_t, 256> make_table() {
    std::array<uint16_t, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        uint16_t reg = static_cast<uint16_t>(value);
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 1u) ? static_cast<uint16_t>((reg >> 1) ^ 0xA001u) : static_cast<uint16_t>(reg >> 1);
        }
        table[value] = reg;
    }
    return table;
}

constexpr std::array<uint16_t, 256> crc_table = make_table();

}  // namespace

uint16_t crc16_modbus(const uint8_t* data, int32_t count) {
    uint16_t reg = 0xFFFF;
    for (int32_t i = 0; i < count; ++i) {
        reg = static_cast<uint16_t>((reg >> 8) ^ crc_table[(reg ^ data[i]) & 0xFFu]);
    }
    return reg;
}
