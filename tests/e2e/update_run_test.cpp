// Whole updates through the real serial layer against the simulated device,
// ticked the way the window's timer ticks the job.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "common/status.h"
#include "job/firmware_image.h"
#include "job/state_machine.h"
#include "platform/linux/test_hooks.h"
#include "protocol/crc16_modbus.h"
#include "protocol/serial_link.h"
#include "sim/simulated_device.h"
#include "tests/support/carried_image.h"
#include "tests/support/temp_path.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// The tool's clock running 20 times faster than the wall clock, so that the
// 5 s reply limit passes in 250 ms and fault runs stay short.
constexpr uint32_t CLOCK_SPEEDUP = 20;
uint32_t fast_tick() {
    const auto since_boot = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since_boot).count() *
                                 CLOCK_SPEEDUP);
}
void fast_sleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms / CLOCK_SPEEDUP));
}

class UpdateRun : public testing::Test {
protected:
    void TearDown() override {
        dfut_platform::set_clock(nullptr, nullptr);
        delete[] job.frame;
        delete[] job.image;
    }

    // Runs an update against `device` as a press of the button would, ticking
    // every 10 ms until the job ends or `limit` passes. Returns the trace.
    std::string run(sim::SimulatedDevice& device, std::chrono::seconds limit = 60s) {
        return run(device.slave_path(), limit);
    }

    // The same on a port given by name; a second run reuses the job record and
    // the image loaded by the first, as the window does.
    std::string run(const std::string& port_path, std::chrono::seconds limit) {
        testing::internal::CaptureStdout();
        if (job.frame == nullptr) {
            init_update_job(job);
            load_firmware_image(job);
        }
        job.port_path = port_path.c_str();
        job.baud_rate = 115200;
        job.port = port_open(job.port_path);
        EXPECT_NE(job.port, INVALID_HANDLE_VALUE);
        configure_port(job.port, job.baud_rate, 20);
        job.state = Start;
        set_status("Contacting Device...");

        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (job.state != Completed && job.state != Failed && std::chrono::steady_clock::now() < deadline) {
            job_tick(job);
            std::this_thread::sleep_for(10ms);
        }
        port_close(job.port);
        return testing::internal::GetCapturedStdout();
    }

    UpdateJob job{};
};

std::string hex_dump(const Bytes& bytes) {
    std::string text = "RX:";
    char piece[4];
    for (uint8_t b : bytes) {
        std::snprintf(piece, sizeof piece, " %02x", b);
        text += piece;
    }
    return text + "\n";
}

Bytes with_crc(Bytes frame) {
    const uint16_t crc = crc16_modbus(frame.data(), static_cast<int32_t>(frame.size()));
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// The status texts of a run, as the platform log records each one set.
std::vector<std::string> status_lines(const std::string& log_path) {
    std::ifstream log(log_path);
    std::vector<std::string> texts;
    const std::string prefix = "SetDlgItemTextA id=5 text=\"";
    for (std::string line; std::getline(log, line);) {
        if (line.rfind(prefix, 0) == 0 && line.size() > prefix.size()) {
            texts.push_back(line.substr(prefix.size(), line.size() - prefix.size() - 1));
        }
    }
    return texts;
}

TEST_F(UpdateRun, FaultFreeRunProgramsEveryBlockAndTracesExactly) {
    const std::string log_path = temp_path("status.log");
    std::remove(log_path.c_str());
    setenv("DFUT_PLATFORM_LOG", log_path.c_str(), 1);
    sim::SimulatedDevice device;
    const std::string trace = run(device);
    unsetenv("DFUT_PLATFORM_LOG");

    ASSERT_EQ(job.state, Completed);
    const Bytes image = carried_image();
    ASSERT_EQ(image.size(), 0x19800u);
    EXPECT_TRUE(device.flash_matches(image));
    const sim::DeviceStats stats = device.stats();
    EXPECT_EQ(stats.blocks, 102u);
    EXPECT_EQ(stats.resends, 0u);
    EXPECT_EQ(stats.out_of_order, 0u);
    EXPECT_EQ(stats.verifies, 1u);
    EXPECT_EQ(stats.resets, 1u);

    // The probe answered while the tool pauses is read together with the next
    // one, which the tool sends first because the pause has used up its limit;
    // the third probe's answer then stands alone and establishes the link.
    const Bytes probe_reply = with_crc({0x04, 0x2B, 0xF6, 0xFF, 0xFF, 0xFF, 0xFF});
    Bytes two_replies = probe_reply;
    two_replies.insert(two_replies.end(), probe_reply.begin(), probe_reply.end());
    std::string expected = "\nFlash Image Base 0x8004000\nFlash Image Size 0x19800 bytes\n"
                           "CONTACTING...\nCONTACTING...\n" +
                           hex_dump(two_replies) + "CONTACTING...\n" + hex_dump(probe_reply) +
                           "REMOTE DEVICE LINK ESTABLISHED\n";
    char line[128];
    for (uint32_t k = 0; k < 102; ++k) {
        std::snprintf(line, sizeof line, "PROG ADDR %#x, LEN 0x400, FROM %#x... - SENT - - OK\n",
                      0x08004000 + k * 1024, k * 1024);
        expected += line;
    }
    const uint16_t crc = crc16_modbus(image.data(), static_cast<int32_t>(image.size()));
    std::snprintf(line, sizeof line, "Remote CRC %#x\nLocal  CRC %#x\n", crc, crc);
    expected += "Verifying address 0x8004000, image size 0x19800 bytes\nframe length   13 bytes sent\n" +
                std::string(line) +
                "CRCs match\nResetting target\nframe length    5 bytes sent\n"
                "frame length    5 bytes received & OK\n";
    EXPECT_EQ(trace, expected);

    std::vector<std::string> statuses = {"Contacting Device...", "Establishing Link..."};
    for (uint32_t k = 0; k < 102; ++k) {
        std::snprintf(line, sizeof line, "programming %#x", 0x08004000 + k * 1024);
        statuses.push_back(line);
    }
    statuses.insert(statuses.end(),
                    {"Verifying...", "Program Verified OK", "Resetting target...", "Programming Completed OK"});
    EXPECT_EQ(status_lines(log_path), statuses);
}

struct FaultCase {
    const char* what;
    sim::FaultOptions faults;
};

// Test logs name the case instead of dumping its bytes.
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.what; }

sim::FaultOptions faults(void (*set)(sim::FaultOptions&)) {
    sim::FaultOptions options;
    options.seed = 7;
    set(options);
    return options;
}

class FaultyLine : public UpdateRun, public testing::WithParamInterface<FaultCase> {};

TEST_P(FaultyLine, RunStillCompletesWithTheImageInFlash) {
    dfut_platform::set_clock(fast_tick, fast_sleep);
    sim::DeviceOptions options;
    options.faults = GetParam().faults;
    sim::SimulatedDevice device(options);
    run(device, 120s);

    EXPECT_EQ(job.state, Completed);
    EXPECT_TRUE(device.flash_matches(carried_image()));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultyLine,
    testing::Values(FaultCase{"Drop20Percent", faults([](sim::FaultOptions& o) { o.drop = 0.2; })},
                    FaultCase{"Corrupt10Percent", faults([](sim::FaultOptions& o) { o.corrupt = 0.1; })},
                    FaultCase{"SplitReplies", faults([](sim::FaultOptions& o) { o.split = 0.2; })},
                    FaultCase{"ExceptionShapedReplies", faults([](sim::FaultOptions& o) { o.exception = 0.3; })},
                    FaultCase{"NoiseBeforeLink",
                              faults([](sim::FaultOptions& o) {
                                  o.power_on_noise = 40;
                                  o.noise_bursts = 3;
                                  o.noise_burst_bytes = 17;
                              })}),
    [](const testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.what); });

// Faults whose times are the wall clock's: run on the real clock.
TEST_F(UpdateRun, ReplyDelayedPastTheLimitAndLatePowerOn) {
    sim::DeviceOptions options;
    options.faults.seed = 3;
    options.faults.power_on_delay = 2000ms;
    options.faults.delay_block = 40;
    options.faults.delay_time = 5500ms;
    sim::SimulatedDevice device(options);
    const std::string trace = run(device, 120s);

    EXPECT_EQ(job.state, Completed);
    EXPECT_TRUE(device.flash_matches(carried_image()));
    EXPECT_NE(trace.find("TIMEOUT\n"), std::string::npos) << "no reply was held past 5 s";
}

TEST_F(UpdateRun, WrongDeviceCrcFailsAndSendsNothingMore) {
    sim::DeviceOptions options;
    options.faults.wrong_verify_crc = true;
    sim::SimulatedDevice device(options);
    const std::string trace = run(device);

    ASSERT_EQ(job.state, Failed);
    EXPECT_NE(trace.find("CRC FAIL\n"), std::string::npos);
    EXPECT_STREQ(status_text, "FAILED");
    EXPECT_EQ(trace.find("Resetting"), std::string::npos);
    const uint64_t frames = device.stats().frames;
    for (int i = 0; i < 5; ++i) job_tick(job);
    EXPECT_EQ(device.stats().frames, frames);
}

TEST_F(UpdateRun, DeviceThatVanishesLeavesTheRunWaitingAndAFreshRunCompletes) {
    const std::string folder = temp_path("ports");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    setenv("DFUT_COMPORTS", folder.c_str(), 1);
    {
        sim::DeviceOptions options;
        options.faults.die_after_blocks = 5;
        sim::SimulatedDevice device(options);
        device.link_as_port(folder, 1);
        // Its side of the line is gone after five blocks: reads return at
        // once, the block goes out again on each time-out, the run waits.
        dfut_platform::set_clock(fast_tick, fast_sleep);
        const std::string trace = run("\\\\.\\com1", 4s);
        dfut_platform::set_clock(nullptr, nullptr);
        EXPECT_TRUE(device.hung_up());
        EXPECT_NE(trace.find("TIMEOUT\nPROG ADDR 0x8005400, LEN 0x400, FROM 0x1400... - SENT - TIMEOUT\n"),
                  std::string::npos);
        EXPECT_EQ(job.state, Programming);
        EXPECT_EQ(job.offset, 5 * 1024);
    }
    // The device is back (a new line under the same port name): a new start completes.
    sim::SimulatedDevice device;
    device.link_as_port(folder, 1);
    run("\\\\.\\com1", 60s);
    unsetenv("DFUT_COMPORTS");
    rmdir(folder.c_str());

    EXPECT_EQ(job.state, Completed);
    EXPECT_TRUE(device.flash_matches(carried_image()));
}

}  // namespace
