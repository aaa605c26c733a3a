#pragma once

// A private X server (Xvfb) for the tests of one program. Register it with
//   static auto* const display = ::testing::AddGlobalTestEnvironment(new XvfbDisplay);
// It sets DISPLAY for the program and for the processes it starts.

#include <memory>

#include <gtest/gtest.h>

#include "tests/support/xvfb_server.h"

class XvfbDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        server_ = std::make_unique<XvfbServer>();
        ASSERT_TRUE(server_->serving()) << "Xvfb did not start";
    }

    void TearDown() override { server_.reset(); }

private:
    std::unique_ptr<XvfbServer> server_;
};
