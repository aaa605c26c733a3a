#include "sim/line_pacer.h"

#include <algorithm>
#include <cstdint>

namespace sim {

namespace {

constexpr uint64_t kBaudRate = 115200;
constexpr uint64_t kBitsPerCharacter = 11;  // start, 8 data, parity, stop
// Short enough that a reply still trickles out like a UART's, long enough
// that a 1024-byte frame is not a thousand system calls.
constexpr size_t kBytesPerWrite = 8;

}  // namespace

Clock::duration wire_time(size_t bytes) {
    auto nanoseconds = uint64_t{bytes} * kBitsPerCharacter * 1'000'000'000u / kBaudRate;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds));
}

TimePoint LinePacer::arrival(TimePoint read_at) {
    if (!paced_) return read_at;
    TimePoint line_end = incoming_run_start_ + wire_time(incoming_run_bytes_);
    if (incoming_run_bytes_ == 0 || read_at > line_end) {
        incoming_run_start_ = read_at;
        incoming_run_bytes_ = 0;
    }
    ++incoming_run_bytes_;
    return incoming_run_start_ + wire_time(incoming_run_bytes_);
}

std::vector<TimedWrite> LinePacer::schedule(TimePoint earliest, const Bytes& bytes) {
    if (!paced_) return {TimedWrite{earliest, bytes}};
    TimePoint start = std::max(earliest, outgoing_line_free_);
    std::vector<TimedWrite> writes;
    for (size_t first = 0; first < bytes.size(); first += kBytesPerWrite) {
        size_t end = std::min(first + kBytesPerWrite, bytes.size());
        writes.push_back(TimedWrite{start + wire_time(end), Bytes(bytes.begin() + first, bytes.begin() + end)});
    }
    outgoing_line_free_ = start + wire_time(bytes.size());
    return writes;
}

}  // namespace sim
