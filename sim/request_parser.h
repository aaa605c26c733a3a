#pragma once

#include <cstdint>
#include <vector>

#include "sim/device_frames.h"

namespace sim {

// One request taken off the line, checksum verified.
struct Request {
    RequestKind kind;
    Bytes frame;

    uint8_t unit() const { return frame[0]; }
    uint32_t address() const { return read_be32(&frame[3]); }
    // Bytes asked for (query) or carried (block); 0 for a reset.
    uint32_t length() const;
    const uint8_t* block_data() const { return &frame[kBlockDataOffset]; }
};

// Cuts requests out of the incoming byte stream. No frame carries an end
// marker, so the sub-code decides the length. A byte that cannot start a
// request, or that starts one whose checksum fails, is dropped and the search
// starts again at the next byte.
class RequestParser {
public:
    // Takes one byte; returns the requests it completes, usually none.
    std::vector<Request> push(uint8_t byte);

    uint64_t garbage_bytes() const { return garbage_bytes_; }

private:
    enum class Head { Garbage, Incomplete, Complete };

    // Judges the request that would start at the first pending byte.
    Head examine_head(size_t& frame_length) const;
    void drop_first_byte();

    Bytes pending_;
    uint64_t garbage_bytes_ = 0;
};

}  // namespace sim
