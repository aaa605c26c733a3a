#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/crc16_modbus.h"
#include "sim/simulated_device.h"

namespace {

using namespace std::chrono_literals;
using sim::Bytes;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kBase = 0x08004000;
constexpr uint8_t kUnit = 4;

uint16_t crc_of(const Bytes& bytes) {
    return crc16_modbus(bytes.data(), static_cast<int32_t>(bytes.size()));
}

// Request frames built by hand: unit, 0x2B, sub-code, big-endian fields, checksum low byte first.
Bytes sealed(Bytes frame) {
    uint16_t crc = crc_of(frame);
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

void put_be(Bytes& frame, uint32_t value, int width) {
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) frame.push_back(static_cast<uint8_t>(value >> shift));
}

Bytes query(uint32_t address, uint32_t length) {
    Bytes frame{kUnit, 0x2B, 0xF6};
    put_be(frame, address, 4);
    put_be(frame, length, 4);
    return sealed(frame);
}

Bytes probe() { return query(kBase, 4); }

Bytes block(uint32_t address, const Bytes& data) {
    Bytes frame{kUnit, 0x2B, 0xF5};
    put_be(frame, address, 4);
    put_be(frame, static_cast<uint32_t>(data.size()), 2);
    frame.insert(frame.end(), data.begin(), data.end());
    return sealed(frame);
}

Bytes reset_request() { return sealed({kUnit, 0x2B, 0xF7}); }

// The tool's test of a reply: at least 4 bytes, ending in the checksum of the rest.
bool is_valid(const Bytes& reply) {
    if (reply.size() < 4) return false;
    Bytes body(reply.begin(), reply.end() - 2);
    return sealed(body) == reply;
}

uint16_t reported_crc(const Bytes& reply) { return static_cast<uint16_t>(reply.at(11) << 8 | reply.at(12)); }

Bytes pattern(size_t size, uint8_t seed) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

// The tool's end of the line: the slave opened as a serial port, read the way
// the tool reads, a read ending 20 ms after the last byte or at its time limit.
class ToolSide {
public:
    explicit ToolSide(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        EXPECT_GE(fd_, 0) << path;
    }
    ~ToolSide() {
        if (fd_ >= 0) close(fd_);
    }

    void send(const Bytes& frame) {
        size_t done = 0;
        while (done < frame.size()) {
            ssize_t count = write(fd_, frame.data() + done, frame.size() - done);
            if (count < 0 && errno == EAGAIN) {
                pollfd fd{fd_, POLLOUT, 0};
                poll(&fd, 1, 100);
                continue;
            }
            ASSERT_GT(count, 0);
            done += static_cast<size_t>(count);
        }
        sent_at_ = Clock::now();
    }

    Bytes read_reply(std::chrono::milliseconds limit = 300ms) {
        Bytes reply;
        Clock::time_point end = Clock::now() + limit;
        for (;;) {
            Clock::time_point now = Clock::now();
            Clock::time_point deadline = reply.empty() ? end : std::min(end, last_byte_at_ + 20ms);
            if (now >= deadline) return reply;
            pollfd fd{fd_, POLLIN, 0};
            poll(&fd, 1, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count()));
            uint8_t buffer[2048];
            ssize_t count = read(fd_, buffer, sizeof buffer);
            if (count > 0) {
                if (reply.empty()) first_byte_at_ = Clock::now();
                last_byte_at_ = Clock::now();
                reply.insert(reply.end(), buffer, buffer + count);
            } else if (count == 0 || (count < 0 && errno == EIO)) {
                hung_up_ = true;
                return reply;
            }
        }
    }

    Bytes exchange(const Bytes& request, std::chrono::milliseconds limit = 300ms) {
        send(request);
        return read_reply(limit);
    }

    bool hung_up() const { return hung_up_; }
    // From the end of the last send to the first byte of the last reply.
    Clock::duration reply_latency() const { return first_byte_at_ - sent_at_; }

private:
    int fd_;
    bool hung_up_ = false;
    Clock::time_point sent_at_{}, first_byte_at_{}, last_byte_at_{};
};

std::string make_temp_folder() {
    char name[] = "/tmp/dfut-sim-test-XXXXXX";
    EXPECT_NE(mkdtemp(name), nullptr);
    return name;
}

bool exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

TEST(SimulatedDevice, TakesAWholeUpdateThroughAPortFolderLink) {
    std::string folder = make_temp_folder();
    sim::SimulatedDevice device;
    std::string port = device.link_as_port(folder, 3);
    Bytes image = pattern(3 * 1024, 0x11);
    {
        ToolSide tool(port);
        Bytes link_reply = tool.exchange(probe());
        EXPECT_TRUE(is_valid(link_reply));
        for (uint32_t offset = 0; offset < image.size(); offset += 1024) {
            Bytes data(image.begin() + offset, image.begin() + offset + 1024);
            EXPECT_TRUE(is_valid(tool.exchange(block(kBase + offset, data)))) << offset;
        }
        Bytes verify_reply = tool.exchange(query(kBase, static_cast<uint32_t>(image.size())));
        ASSERT_GE(verify_reply.size(), 15u);
        EXPECT_TRUE(is_valid(verify_reply));
        EXPECT_EQ(reported_crc(verify_reply), crc_of(image));
        EXPECT_TRUE(is_valid(tool.exchange(reset_request())));
    }

    sim::DeviceStats stats = device.stats();
    EXPECT_EQ(stats.frames, 6u);
    EXPECT_EQ(stats.probes, 1u);
    EXPECT_EQ(stats.blocks, 3u);
    EXPECT_EQ(stats.verifies, 1u);
    EXPECT_EQ(stats.resets, 1u);
    EXPECT_EQ(stats.resends + stats.out_of_order + stats.garbage_bytes, 0u);
    EXPECT_TRUE(device.flash_matches(image));
    EXPECT_EQ(device.written_flash(), image);

    device.stop();
    EXPECT_FALSE(exists(port));
    rmdir(folder.c_str());
}

TEST(SimulatedDevice, TellsResendsAndBlocksOutOfOrder) {
    sim::SimulatedDevice device;
    ToolSide tool(device.slave_path());
    Bytes data = pattern(16, 1);
    for (const Bytes& request : {block(kBase, data), block(kBase, data), block(kBase + 32, data), reset_request(),
                                 block(kBase, data)}) {
        EXPECT_TRUE(is_valid(tool.exchange(request)));
    }
    sim::DeviceStats stats = device.stats();
    EXPECT_EQ(stats.blocks, 4u);
    EXPECT_EQ(stats.resends, 1u);
    EXPECT_EQ(stats.out_of_order, 1u);  // the jump to +32; the base after the reset is in order
}

TEST(SimulatedDevice, IgnoresABadChecksumAndFindsTheNextRequest) {
    sim::SimulatedDevice device;
    ToolSide tool(device.slave_path());
    Bytes damaged = probe();
    damaged.back() ^= 0x01;
    EXPECT_TRUE(tool.exchange(damaged).empty());

    // Stray bytes, then a probe that arrives in two pieces.
    Bytes stray_then_probe{0x00, 0x2B};
    Bytes whole = probe();
    stray_then_probe.insert(stray_then_probe.end(), whole.begin(), whole.begin() + 5);
    tool.send(stray_then_probe);
    EXPECT_TRUE(tool.read_reply(50ms).empty());
    Bytes reply = tool.exchange(Bytes(whole.begin() + 5, whole.end()));
    EXPECT_TRUE(is_valid(reply));

    sim::DeviceStats stats = device.stats();
    EXPECT_EQ(stats.frames, 1u);
    EXPECT_EQ(stats.probes, 1u);
    EXPECT_EQ(stats.garbage_bytes, damaged.size() + 2);
}

TEST(SimulatedDevice, RefusesRequestsOutsideItsFlash) {
    sim::SimulatedDevice device;
    ToolSide tool(device.slave_path());
    Bytes illegal_address = sealed({kUnit, 0xAB, 0x02});
    EXPECT_EQ(tool.exchange(block(kBase - 1024, pattern(1024, 0))), illegal_address);
    EXPECT_EQ(tool.exchange(query(kBase, sim::kFlashSize + 1)), illegal_address);
    EXPECT_EQ(device.stats().out_of_range, 2u);
    EXPECT_TRUE(device.written_flash().empty());
}

// ---- Faults -------------------------------------------------------------

enum class Asked { Probe, Block, Verify };
enum class Seen { Nothing, Exception, ProperReply, Corrupted, WrongCrc, TwoParts, Late, Noise };

struct FaultCase {
    const char* what;
    sim::FaultOptions faults;
    Asked asked;
    Seen seen;
};

// Test logs name the case instead of dumping its bytes.
void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.what; }

sim::FaultOptions faults(const std::function<void(sim::FaultOptions&)>& set) {
    sim::FaultOptions options;
    set(options);
    return options;
}

const Bytes kBlockData = pattern(1024, 0x5A);
// The verify query asks for a region never written: 1024 erased bytes.
const uint16_t kErasedCrc = crc_of(Bytes(1024, 0xFF));

Bytes request_for(Asked asked) {
    switch (asked) {
        case Asked::Probe: return probe();
        case Asked::Block: return block(kBase, kBlockData);
        case Asked::Verify: return query(kBase, 1024);
    }
    return {};
}

class DeviceFault : public testing::TestWithParam<FaultCase> {};

TEST_P(DeviceFault, ShowsOnTheLine) {
    const FaultCase& fault = GetParam();
    sim::DeviceOptions options;
    options.faults = fault.faults;
    sim::SimulatedDevice device(options);
    ToolSide tool(device.slave_path());

    Bytes reply = tool.exchange(request_for(fault.asked));
    switch (fault.seen) {
        case Seen::Nothing: EXPECT_TRUE(reply.empty()); break;
        case Seen::Exception: EXPECT_EQ(reply, sealed({kUnit, 0xAB, 0x01})); break;
        case Seen::ProperReply:
            ASSERT_TRUE(is_valid(reply));
            EXPECT_EQ(reported_crc(reply), kErasedCrc);
            break;
        case Seen::Corrupted:
            EXPECT_EQ(reply.size(), 9u);  // the probe reply's length
            EXPECT_FALSE(is_valid(reply));
            break;
        case Seen::WrongCrc:
            ASSERT_TRUE(is_valid(reply));
            EXPECT_NE(reported_crc(reply), kErasedCrc);
            break;
        case Seen::TwoParts: {
            EXPECT_FALSE(is_valid(reply));
            Bytes rest = tool.read_reply();
            EXPECT_FALSE(rest.empty());
            reply.insert(reply.end(), rest.begin(), rest.end());
            EXPECT_TRUE(is_valid(reply));
            break;
        }
        case Seen::Late:
            EXPECT_TRUE(reply.empty());
            EXPECT_TRUE(is_valid(tool.read_reply(2s)));
            break;
        case Seen::Noise:
            EXPECT_EQ(reply.size(), fault.faults.noise_burst_bytes);
            EXPECT_FALSE(is_valid(reply));
            break;
    }

    // Whatever became of the reply, the request itself was carried out.
    EXPECT_TRUE(device.wait_until(
        [](const sim::DeviceStats& stats) { return stats.probes + stats.blocks + stats.verifies == 1; }, 1s));
    if (fault.asked == Asked::Block) {
        EXPECT_TRUE(device.flash_matches(kBlockData));
    }
}

const FaultCase kFaultCases[] = {
    {"dropped probe reply", faults([](auto& f) { f.drop = 1; }), Asked::Probe, Seen::Nothing},
    {"dropped block acknowledgement", faults([](auto& f) { f.drop = 1; }), Asked::Block, Seen::Nothing},
    {"exception for a probe", faults([](auto& f) { f.exception = 1; }), Asked::Probe, Seen::Exception},
    {"exception for a block", faults([](auto& f) { f.exception = 1; }), Asked::Block, Seen::Exception},
    {"verify keeps its reply under exceptions", faults([](auto& f) { f.exception = 1; }), Asked::Verify,
     Seen::ProperReply},
    {"corrupted reply", faults([](auto& f) { f.corrupt = 1; }), Asked::Probe, Seen::Corrupted},
    {"wrong verify crc", faults([](auto& f) { f.wrong_verify_crc = true; }), Asked::Verify, Seen::WrongCrc},
    {"split reply", faults([](auto& f) { f.split = 1; }), Asked::Probe, Seen::TwoParts},
    {"delayed reply",
     faults([](auto& f) {
         f.delay = 1;
         f.delay_time = 500ms;
     }),
     Asked::Probe, Seen::Late},
    {"delayed first block",
     faults([](auto& f) {
         f.delay_block = 1;
         f.delay_time = 500ms;
     }),
     Asked::Block, Seen::Late},
    {"noise for a probe",
     faults([](auto& f) {
         f.noise_bursts = 1;
         f.noise_burst_bytes = 8;
     }),
     Asked::Probe, Seen::Noise},
};

INSTANTIATE_TEST_SUITE_P(Table, DeviceFault, testing::ValuesIn(kFaultCases),
                         [](const testing::TestParamInfo<FaultCase>& info) {
                             std::string name = info.param.what;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

TEST(SimulatedDevice, PluggedInLateIsDeafThenChattersThenAnswers) {
    sim::DeviceOptions options;
    options.faults.power_on_delay = 300ms;
    options.faults.power_on_noise = 16;
    sim::SimulatedDevice device(options);
    ToolSide tool(device.slave_path());

    Clock::time_point first_probe = Clock::now();
    EXPECT_TRUE(tool.exchange(probe(), 100ms).empty());
    Bytes noise = tool.read_reply(2s);
    EXPECT_GE(Clock::now() - first_probe, 300ms);
    EXPECT_EQ(noise.size(), 16u);
    EXPECT_TRUE(is_valid(tool.exchange(probe())));

    sim::DeviceStats stats = device.stats();
    EXPECT_EQ(stats.unheard_bytes, 13u);
    EXPECT_EQ(stats.probes, 1u);
}

TEST(SimulatedDevice, DiesAfterItsBlocksAndHangsUp) {
    sim::DeviceOptions options;
    options.faults.die_after_blocks = 2;
    sim::SimulatedDevice device(options);
    ToolSide tool(device.slave_path());
    EXPECT_TRUE(is_valid(tool.exchange(block(kBase, kBlockData), 2s)));
    EXPECT_TRUE(is_valid(tool.exchange(block(kBase + 1024, kBlockData), 2s)));
    EXPECT_TRUE(tool.read_reply(3s).empty());
    EXPECT_TRUE(tool.hung_up());
    EXPECT_TRUE(device.hung_up());
    EXPECT_EQ(device.stats().blocks, 2u);
}

TEST(SimulatedDevice, PacedBlockTakesItsTimeOnTheWire) {
    sim::DeviceOptions options;
    options.paced = true;
    sim::SimulatedDevice device(options);
    ToolSide tool(device.slave_path());
    Bytes reply = tool.exchange(block(kBase, kBlockData), 1s);
    EXPECT_TRUE(is_valid(reply));
    // 1035 bytes of 11 bits at 115200 baud take 98.8 ms.
    EXPECT_GE(tool.reply_latency(), 98ms);
    EXPECT_LT(tool.reply_latency(), 250ms);
}

// ---- The program ----------------------------------------------------------

struct ProgramRun {
    pid_t pid = -1;
    int output = -1;  // the child's standard output
};

ProgramRun start_program(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), DFUT_SIM_PROGRAM);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipe_ends[2];
    EXPECT_EQ(pipe(pipe_ends), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    ProgramRun run;
    EXPECT_EQ(posix_spawn(&run.pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);
    run.output = pipe_ends[0];
    return run;
}

// Up to and without the newline, or everything until the pipe closes.
std::string read_output(int fd, bool first_line_only) {
    std::string text;
    char c;
    while (read(fd, &c, 1) == 1) {
        if (first_line_only && c == '\n') break;
        text += c;
    }
    return text;
}

int exit_status(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(DfutSimProgram, ServesThroughItsLinkUntilTerminated) {
    std::string folder = make_temp_folder();
    std::string port = folder + "/com7";
    std::string flash_out = folder + "/flash.bin";
    ProgramRun run = start_program({"--link", port, "--flash-out", flash_out});
    std::string slave = read_output(run.output, true);
    EXPECT_EQ(slave.rfind("/dev/pts/", 0), 0u) << slave;

    char target[256] = {};
    EXPECT_GT(readlink(port.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(slave, target);
    {
        ToolSide tool(port);
        EXPECT_TRUE(is_valid(tool.exchange(block(kBase, kBlockData))));
    }

    kill(run.pid, SIGTERM);
    std::string summary = read_output(run.output, false);
    EXPECT_EQ(exit_status(run.pid), 0);
    close(run.output);
    EXPECT_NE(summary.find("blocks: 1\n"), std::string::npos) << summary;
    EXPECT_FALSE(exists(port));

    std::ifstream saved(flash_out, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(saved), {}), kBlockData);
    unlink(flash_out.c_str());
    rmdir(folder.c_str());
}

TEST(DfutSimProgram, RejectsABadOptionWithStatus2) {
    for (const char* bad : {"--drop", "--no-such-option"}) {
        ProgramRun run = start_program({bad, "1.5"});
        EXPECT_EQ(read_output(run.output, false), "") << bad;
        EXPECT_EQ(exit_status(run.pid), 2) << bad;
        close(run.output);
    }
}

}  // namespace
