#pragma once

#include <cstdint>

#include "job/update_job.h"

// Request frames have the Modbus RTU shape: unit address, function code 0x2B, a
// sub-code, big-endian fields, and the CRC-16/MODBUS of all preceding bytes
// stored low byte first. Builders write at the start of job.frame and set
// job.frame_len; they touch no byte beyond the frame.
constexpr uint8_t FUNCTION_CODE = 0x2B;
constexpr uint8_t SUBCODE_PROGRAM_BLOCK = 0xF5;
constexpr uint8_t SUBCODE_QUERY = 0xF6;
constexpr uint8_t SUBCODE_RESET = 0xF7;

// The checksum of the first frame_len - 2 bytes of the frame; 0xFFFF when
// frame_len is 2 or less.
uint16_t frame_checksum(const UpdateJob& job);

// The 13-byte query: the link probe and the verify request.
void build_query_frame(UpdateJob& job, uint32_t address, uint32_t length);

// The program block frame for the block_len image bytes at offset, addressed to
// flash_base + offset. The caller keeps block_len <= 1024 and
// offset + block_len <= image_size.
void build_block_frame(UpdateJob& job);

// The 5-byte reset frame.
void build_reset_frame(UpdateJob& job);

// A reply is accepted on its length (at least 4 bytes) and its checksum alone.
bool frame_is_valid(const UpdateJob& job);
