#pragma once

#include <cstdint>
#include <vector>

#include "sim/device_frames.h"
#include "sim/request_parser.h"

namespace sim {

// Flash from kFlashBase up; erased to 0xFF at start.
constexpr uint32_t kFlashSize = 1u << 20;

// What the device has received since it was made.
struct DeviceStats {
    uint64_t frames = 0;          // requests with a good checksum, of any kind
    uint64_t probes = 0;
    uint64_t blocks = 0;          // every block written, resends included
    uint64_t resends = 0;         // blocks to the same address as the block before
    uint64_t out_of_order = 0;    // blocks anywhere but the next address (or the base after a start or reset)
    uint64_t verifies = 0;
    uint64_t resets = 0;
    uint64_t out_of_range = 0;    // requests outside the flash, refused with an exception reply
    uint64_t garbage_bytes = 0;   // bytes that belonged to no request
    uint64_t unheard_bytes = 0;   // bytes that came while the device was not yet powered on
};

// The device without its line: takes bytes, performs requests on its flash and
// builds the replies. No I/O and no clock, so it can be driven directly.
class DeviceModel {
public:
    DeviceModel();

    // One byte from the line; returns the requests it completes.
    std::vector<Request> receive(uint8_t byte);
    // Bytes lost to the line before the device could hear them.
    void count_unheard(uint64_t count) { stats_.unheard_bytes += count; }

    // Carries out a request and returns the reply to it.
    Bytes perform(const Request& request);

    DeviceStats stats() const;

    // The flash from the base up to the end of the highest byte written or of
    // the last region asked for a CRC, whichever reaches further.
    Bytes written_region() const;
    // Whether the flash from the base holds exactly these bytes.
    bool flash_matches(const Bytes& image) const;

private:
    bool in_flash(uint32_t address, uint64_t length) const;
    Bytes probe_reply(const Request& request);
    Bytes block_reply(const Request& request);
    Bytes verify_reply(const Request& request);
    Bytes reset_reply(const Request& request);
    void count_block_order(uint32_t address, uint32_t length);

    RequestParser parser_;
    DeviceStats stats_;
    Bytes flash_;
    uint64_t region_end_ = 0;  // offset from the base, see written_region()
    // The block before, to tell resends and gaps; none after a start or reset.
    bool has_last_block_ = false;
    uint32_t last_block_address_ = 0;
    uint32_t last_block_length_ = 0;
};

}  // namespace sim
