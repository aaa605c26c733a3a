#pragma once

#include <chrono>
#include <cstdio>

#include "job/update_job.h"

// A one-line view of a run for a person at a terminal: block k of n, per cent,
// bytes per second and time left, rewritten in place as blocks are acknowledged.
class ProgressLine {
public:
    explicit ProgressLine(std::FILE* out) : out_(out) {}

    // Called after every tick; redraws only when the job has moved on.
    void update(const UpdateJob& job);

    // Ends the line so that later output starts on a fresh one.
    void finish();

private:
    using Clock = std::chrono::steady_clock;

    std::FILE* out_;
    JobState shown_state_ = Start;
    int32_t shown_offset_ = -1;
    bool drawn_ = false;
    bool programming_seen_ = false;
    Clock::time_point programming_start_{};
};
