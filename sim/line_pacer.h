#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

#include "sim/device_frames.h"

namespace sim {

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC
using TimePoint = Clock::time_point;

// Time on a 115200-baud 8E1 line: 11 bits a character, about 95.49 us.
Clock::duration wire_time(size_t bytes);

// A write to the line, due when its last byte would have left the device.
struct TimedWrite {
    TimePoint due;
    Bytes bytes;
};

// Stands in for the wire's speed on a pty, which has none. Paced, it tells when
// each incoming byte would have finished arriving and splits outgoing bytes
// into small writes against absolute deadlines, so the timing does not drift
// and a reply has no gap inside it. Unpaced, bytes arrive when they are read
// and a reply goes out as one write.
class LinePacer {
public:
    explicit LinePacer(bool paced) : paced_(paced) {}

    // When the next byte, read from the pty at `read_at`, is fully in: one
    // character time after the later of `read_at` and the end of the byte before.
    TimePoint arrival(TimePoint read_at);

    // Plans sending `bytes` no earlier than `earliest` and after anything
    // planned before.
    std::vector<TimedWrite> schedule(TimePoint earliest, const Bytes& bytes);

private:
    bool paced_;
    // Incoming bytes that follow each other with no idle line form a run; each
    // byte's end is computed from the run's start, so rounding cannot add up.
    TimePoint incoming_run_start_{};
    size_t incoming_run_bytes_ = 0;
    TimePoint outgoing_line_free_{};
};

}  // namespace sim
