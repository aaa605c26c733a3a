#pragma once

#include <cstdint>

// CRC-16/MODBUS (reflected polynomial 0xA001, initial 0xFFFF, no final XOR).
// A count of 0 or less gives 0xFFFF.
uint16_t crc16_modbus(const uint8_t* data, int32_t count);
