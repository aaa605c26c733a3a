#include "sim/device_frames.h"

#include "protocol/crc16_modbus.h"

namespace sim {

void append_be16(Bytes& frame, uint16_t value) {
    frame.push_back(static_cast<uint8_t>(value >> 8));
    frame.push_back(static_cast<uint8_t>(value));
}

void append_be32(Bytes& frame, uint32_t value) {
    append_be16(frame, static_cast<uint16_t>(value >> 16));
    append_be16(frame, static_cast<uint16_t>(value));
}

uint16_t read_be16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

uint32_t read_be32(const uint8_t* bytes) {
    return static_cast<uint32_t>(read_be16(bytes)) << 16 | read_be16(bytes + 2);
}

void append_checksum(Bytes& frame) {
    uint16_t crc = crc16_modbus(frame.data(), static_cast<int32_t>(frame.size()));
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

bool has_valid_checksum(const uint8_t* frame, size_t length) {
    if (length < 2) return false;
    uint16_t crc = crc16_modbus(frame, static_cast<int32_t>(length - 2));
    return frame[length - 2] == static_cast<uint8_t>(crc) && frame[length - 1] == static_cast<uint8_t>(crc >> 8);
}

Bytes exception_reply(uint8_t unit, uint8_t code) {
    Bytes reply{unit, kExceptionFunctionCode, code};
    append_checksum(reply);
    return reply;
}

}  // namespace sim
