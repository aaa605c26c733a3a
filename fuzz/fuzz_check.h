// What a fuzz target does when the code under test breaks a rule it checks:
// name the rule and abort, so that libFuzzer keeps the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void require(bool holds, const char* rule) {
    if (!holds) {
        std::fprintf(stderr, "rule broken: %s\n", rule);
        std::abort();
    }
}
