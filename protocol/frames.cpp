#include "protocol/frames.h"

#include <cstring>

#include "protocol/crc16_modbus.h"

namespace {

void put_be32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

void put_header(UpdateJob& job, uint8_t subcode) {
    job.frame[0] = static_cast<uint8_t>(job.unit_address);
    job.frame[1] = FUNCTION_CODE;
    job.frame[2] = subcode;
}

// Sets the length, then stores the checksum of everything before it.
void finish_frame(UpdateJob& job, int32_t total_length) {
    job.frame_len = total_length;
    const uint16_t checksum = frame_checksum(job);
    job.frame[total_length - 2] = static_cast<uint8_t>(checksum);
    job.frame[total_length - 1] = static_cast<uint8_t>(checksum >> 8);
}

}  // namespace

uint16_t frame_checksum(const UpdateJob& job) {
    return crc16_modbus(job.frame, job.frame_len - 2);
}

void build_query_frame(UpdateJob& job, uint32_t address, uint32_t length) {
    put_header(job, SUBCODE_QUERY);
    put_be32(job.frame + 3, address);
    put_be32(job.frame + 7, length);
    finish_frame(job, 13);
}

void build_block_frame(UpdateJob& job) {
    put_header(job, SUBCODE_PROGRAM_BLOCK);
    put_be32(job.frame + 3, job.flash_base + static_cast<uint32_t>(job.offset));
    job.frame[7] = static_cast<uint8_t>(job.block_len >> 8);
    job.frame[8] = static_cast<uint8_t>(job.block_len);
    std::memcpy(job.frame + 9, job.image + job.offset, static_cast<size_t>(job.block_len));
    finish_frame(job, job.block_len + 11);
}

void build_reset_frame(UpdateJob& job) {
    put_header(job, SUBCODE_RESET);
    finish_frame(job, 5);
}

bool frame_is_valid(const UpdateJob& job) {
    const int32_t n = job.frame_len;
    if (n < 4) {
        return false;
    }
    const uint16_t received = static_cast<uint16_t>(job.frame[n - 2] | (job.frame[n - 1] << 8));
    return frame_checksum(job) == received;
}
