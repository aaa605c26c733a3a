#pragma once

// dfut-cli run to its end in a child process, timed: the benchmarks' yardstick
// for a whole update.

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

// The child's standard output, with the time at which each piece came in.
struct TimedOutput {
    std::string text;
    std::vector<std::pair<size_t, Clock::time_point>> pieces;  // end of each piece, time it came

    // When the byte at `position` came in.
    Clock::time_point arrival(size_t position) const {
        for (const auto& piece : pieces) {
            if (position < piece.first) return piece.second;
        }
        return pieces.empty() ? Clock::time_point{} : pieces.back().second;
    }
};

struct ChildRun {
    int status = -1;
    Clock::time_point started{};
    Clock::duration wall{};  // fork to exit
    Seconds cpu{};
    long peak_memory_kib = 0;  // the child's largest resident set
    TimedOutput output;
};

// Runs `program` (dfut-cli) on `port` to its end, or until its --timeout when
// timeout_seconds is above 0.
ChildRun run_cli(const std::string& program, const std::string& port, double timeout_seconds = 0);

}  // namespace bench
