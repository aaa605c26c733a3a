#pragma once

// A path for a test's scratch file that no other process uses, so that the
// same test can run in several builds at once.

#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

inline std::string temp_path(const std::string& name) {
    return ::testing::TempDir() + "dfut_" + std::to_string(getpid()) + "_" + name;
}
