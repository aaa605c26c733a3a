#pragma once

#include <cstdint>

#include "job/job_state.h"
#include "platform/win32.h"

// Everything one update run needs. The process holds one such record, all zero
// at start; every frame is built in `frame` and every reply is read into it.
struct UpdateJob {
    const char* port_path;
    HANDLE port;
    int32_t baud_rate;
    uint32_t unit_address;
    int32_t frame_len;
    uint32_t frame_capacity;
    uint8_t* frame;
    JobState state;
    uint8_t* image;
    uint32_t flash_base;
    int32_t offset;
    int32_t image_size;
    int32_t block_len;
    uint32_t sent_at;
    uint32_t reply_timeout;
};

constexpr uint32_t FRAME_CAPACITY = 1040;
constexpr uint32_t UNIT_ADDRESS = 4;
constexpr uint32_t FLASH_BASE = 0x08004000;
constexpr int32_t BLOCK_SIZE = 1024;

// Allocates the frame buffer (once, never freed) and sets the unit address;
// no port is open yet.
void init_update_job(UpdateJob& job);
