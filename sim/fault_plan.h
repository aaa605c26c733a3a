#pragma once

#include <chrono>
#include <cstdint>
#include <random>

#include "sim/device_frames.h"

namespace sim {

// Misbehaviour asked of the device. Probabilities are per reply, from 0 to 1.
struct FaultOptions {
    uint64_t seed = 1;
    double drop = 0;                 // send no reply
    double corrupt = 0;              // flip one byte of the reply
    double split = 0;                // send the reply in two parts, kSplitGap apart
    double delay = 0;                // hold the reply back for delay_time
    std::chrono::milliseconds delay_time{0};
    uint64_t delay_block = 0;        // also hold back the reply to this program block (from 1); 0: none
    double exception = 0;            // answer 04 AB 01 (the verify query keeps its CRC reply)
    bool wrong_verify_crc = false;   // the verify reply carries a CRC that is off
    uint64_t wrong_verify_crcs = 0;  // only the first this many verify replies do; 0: every one
    size_t power_on_noise = 0;       // random bytes sent when the device powers on
    uint32_t noise_bursts = 0;       // the first probes are answered with noise instead
    size_t noise_burst_bytes = 0;
    std::chrono::milliseconds power_on_delay{0};  // deaf for this long after the first byte heard
    uint64_t die_after_blocks = 0;   // hang up once this many blocks are answered; 0: never
};

constexpr std::chrono::milliseconds kSplitGap{40};

// A reply after the faults have had their way with it.
struct PlannedReply {
    Bytes first;   // empty: nothing is sent
    Bytes second;  // sent kSplitGap after the first part when the reply was split
    std::chrono::milliseconds delay{0};
};

// Decides, from a seeded generator, which faults strike which reply, so that
// a run with the same options and seed misbehaves the same way again.
class FaultPlan {
public:
    explicit FaultPlan(const FaultOptions& options);

    const FaultOptions& options() const { return options_; }

    Bytes power_on_noise() { return noise(options_.power_on_noise); }

    // What goes out in answer to a request of this kind, whose proper reply is `reply`.
    PlannedReply plan(RequestKind kind, Bytes reply);

private:
    bool strikes(double probability);
    Bytes noise(size_t count);

    FaultOptions options_;
    std::mt19937_64 random_;
    uint32_t noise_bursts_left_;
    uint64_t blocks_planned_ = 0;
    uint64_t verifies_planned_ = 0;
};

}  // namespace sim
