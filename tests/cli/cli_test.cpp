// dfut-cli as a script would use it: the real program in a child process,
// talking to a simulated device in this process through a port folder.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sim/simulated_device.h"
#include "tests/support/carried_image.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Far beyond any run here; a program that outlives it is killed so that the test fails instead of hanging.
constexpr auto kRunLimit = 120s;

struct CliRun {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
    Clock::duration took{};
};

std::string read_available(int fd, bool& open) {
    char chunk[4096];
    const ssize_t count = read(fd, chunk, sizeof chunk);
    open = count > 0 || (count < 0 && errno == EINTR);
    return count > 0 ? std::string(chunk, static_cast<size_t>(count)) : std::string();
}

// Runs dfut-cli with the port folder in its environment and collects both streams.
CliRun run_cli(std::vector<std::string> arguments, const std::string& port_folder) {
    arguments.insert(arguments.begin(), DFUT_CLI_PROGRAM);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    std::string comports = "DFUT_COMPORTS=" + port_folder;
    std::vector<char*> envp;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "DFUT_COMPORTS=", 14) != 0) envp.push_back(*variable);
    }
    envp.push_back(comports.data());
    envp.push_back(nullptr);

    int out_pipe[2], err_pipe[2];
    EXPECT_EQ(pipe2(out_pipe, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(err_pipe, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
    CliRun run;
    const Clock::time_point started = Clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out_pipe[1]);
    close(err_pipe[1]);
    EXPECT_EQ(spawned, 0) << DFUT_CLI_PROGRAM;

    bool out_open = spawned == 0, err_open = spawned == 0;
    while (out_open || err_open) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(started + kRunLimit - Clock::now());
        if (left <= 0ms) {
            ADD_FAILURE() << "dfut-cli still running after " << kRunLimit.count() << " s; killed";
            kill(pid, SIGKILL);
            break;
        }
        pollfd fds[2] = {{out_open ? out_pipe[0] : -1, POLLIN, 0}, {err_open ? err_pipe[0] : -1, POLLIN, 0}};
        poll(fds, 2, static_cast<int>(left.count()));
        if (fds[0].revents != 0) run.out += read_available(out_pipe[0], out_open);
        if (fds[1].revents != 0) run.err += read_available(err_pipe[0], err_open);
    }
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (spawned == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    run.took = Clock::now() - started;
    return run;
}

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string tail(const std::string& trace) { return trace.substr(trace.size() - std::min<size_t>(trace.size(), 300)); }

class DfutCli : public testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/dfut-cli-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        port_folder = name;
    }
    // The devices, and with them their links, are gone by now.
    void TearDown() override { rmdir(port_folder.c_str()); }

    std::string port_folder;
};

TEST_F(DfutCli, Exits0WhenTheDeviceHoldsTheImage) {
    sim::SimulatedDevice device;
    device.link_as_port(port_folder, 4);

    const CliRun run = run_cli({"com4"}, port_folder);

    EXPECT_EQ(run.status, 0) << run.err;
    const sim::Bytes image = carried_image();
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(device.written_flash().size(), image.size());
    EXPECT_TRUE(device.flash_matches(image));
    EXPECT_NE(run.out.find("CRCs match\n"), std::string::npos);
    EXPECT_TRUE(ends_with(run.out, "frame length    5 bytes received & OK\n")) << tail(run.out);
    EXPECT_EQ(run.err, "");  // no progress line when standard error is not a terminal
}

TEST_F(DfutCli, Exits1WhenTheDeviceReportsAnotherCrc) {
    sim::DeviceOptions options;
    options.faults.wrong_verify_crc = true;
    sim::SimulatedDevice device(options);
    device.link_as_port(port_folder, 4);

    const CliRun run = run_cli({"\\\\.\\com4"}, port_folder);

    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(ends_with(run.out, "CRC FAIL\n")) << tail(run.out);
    EXPECT_EQ(device.stats().verifies, 1u);
    EXPECT_EQ(device.stats().resets, 0u);
}

TEST_F(DfutCli, Exits2WithAOneLineReasonWhenThePortIsNotThere) {
    sim::SimulatedDevice device;
    device.link_as_port(port_folder, 4);

    const CliRun run = run_cli({"com9"}, port_folder);

    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find(" . Opening serial port \\\\.\\com9 at 115200 baud\n"), std::string::npos) << run.out;
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.back(), '\n');
    EXPECT_EQ(device.stats().frames, 0u);
}

TEST_F(DfutCli, Exits3WhenTheTimeoutPassesFirst) {
    sim::DeviceOptions options;
    options.faults.drop = 1.0;
    sim::SimulatedDevice device(options);

    const CliRun run = run_cli({"--timeout", "1", device.slave_path()}, port_folder);

    EXPECT_EQ(run.status, 3) << run.err;
    EXPECT_GE(run.took, 1s);
    // The device path opened: the probes reached the device.
    EXPECT_GE(device.stats().probes, 1u);
    EXPECT_EQ(device.stats().blocks, 0u);
}

}  // namespace
