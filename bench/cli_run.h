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
    TimedOutput output;
};

// Runs `program` (dfut-cli) on `port` to its end.
ChildRun run_cli(const std::string& program, const std::string& port);

}  // namespace bench
