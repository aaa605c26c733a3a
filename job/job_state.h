#pragma once

#include <cstdint>

// The states of one update run. The values are fixed: a job record that is all
// zero is in Start.
enum JobState : int32_t {
    Start = 0,
    Contact = 1,
    Linking = 2,
    Programming = 3,
    Verifying = 4,
    Failed = 5,
    Resetting = 6,
    Completed = 7,
};
