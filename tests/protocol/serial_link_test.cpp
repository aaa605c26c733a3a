// The serial link on a real pseudo-terminal: the tool opens the slave side
// and the test plays the device on the master side.

#include "protocol/serial_link.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/port_names.h"
#include "tests/support/pty_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t frame_capacity = 1040;
constexpr double early_margin_ms = 10;
constexpr double late_margin_ms = 40;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A read cannot end before its time, so only thread start-up can make it look
// early; a loaded machine may well wake the reader late.
void expect_returned_at(double ms, double expected_ms) {
    EXPECT_GE(ms, expected_ms - early_margin_ms);
    EXPECT_LE(ms, expected_ms + late_margin_ms);
}

void sleep_until_ms(Clock::time_point start, int ms) {
    std::this_thread::sleep_until(start + std::chrono::milliseconds(ms));
}

Bytes numbered_bytes(size_t count, size_t first = 0) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>((first + i) * 7 + 1);
    }
    return bytes;
}

// Puts the tty back to the line discipline a fresh one has (line editing, echo,
// CR/LF translation, signal characters), so that only the port's own set-up
// can make the line transparent.
void make_cooked(const std::string& tty_path) {
    const int fd = open(tty_path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios line;
    ASSERT_EQ(tcgetattr(fd, &line), 0);
    line.c_iflag |= ICRNL | IXON;
    line.c_oflag |= OPOST | ONLCR;
    line.c_lflag |= ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    ASSERT_EQ(tcsetattr(fd, TCSANOW, &line), 0);
    close(fd);
}

// A pty with the tool's port open and configured on it, as after "Update Device".
class SerialLinkTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(device_.ok());
        make_cooked(device_.slave_path());
        port_ = port_open(device_.slave_path().c_str());
        ASSERT_NE(port_, INVALID_HANDLE_VALUE);
        ASSERT_EQ(configure_port(port_, 115200, 20), 0);
    }
    void TearDown() override {
        if (port_ != INVALID_HANDLE_VALUE) {
            port_close(port_);
        }
    }

    struct TimedRead {
        Bytes bytes;
        double ms;  // from `start` to the read's return
    };

    TimedRead read_frame(Clock::time_point start) {
        Bytes buffer(frame_capacity);
        const int32_t count = port_read(port_, buffer.data(), frame_capacity);
        const double ms = ms_since(start);
        buffer.resize(count > 0 ? count : 0);
        return {buffer, ms};
    }

    PtyPeer device_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
};

// What the device sends while one read runs: `count` bytes at `at_ms` from the
// read's start, or, with `every_ms`, one byte every `every_ms` from `at_ms` on.
struct Burst {
    int at_ms;
    size_t count;
    int every_ms;
};

struct ReadCase {
    const char* name;
    size_t waiting;  // bytes already received when the read begins
    std::vector<Burst> bursts;
    size_t fewest_bytes;
    size_t most_bytes;
    double return_ms;
    std::optional<COMMTIMEOUTS> timeouts = std::nullopt;  // other than configure_port's
};

void PrintTo(const ReadCase& read_case, std::ostream* out) {
    *out << read_case.name;
}

class ReadTimingTest : public SerialLinkTest, public testing::WithParamInterface<ReadCase> {};

TEST_P(ReadTimingTest, ReadEndsAtTheFirstTimeOut) {
    const ReadCase& read_case = GetParam();
    if (read_case.timeouts) {
        COMMTIMEOUTS timeouts = *read_case.timeouts;
        ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
    }
    size_t sent = 0;
    if (read_case.waiting > 0) {
        device_.send(numbered_bytes(read_case.waiting));
        sent = read_case.waiting;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // lets the pty deliver them
    }
    const Clock::time_point start = Clock::now();
    std::thread device_side([&] {
        for (const Burst& burst : read_case.bursts) {
            if (burst.every_ms == 0) {
                sleep_until_ms(start, burst.at_ms);
                device_.send(numbered_bytes(burst.count, sent));
                sent += burst.count;
                continue;
            }
            for (size_t i = 0; i < burst.count; ++i) {
                sleep_until_ms(start, burst.at_ms + static_cast<int>(i) * burst.every_ms);
                device_.send(numbered_bytes(1, sent++));
            }
        }
    });
    const TimedRead result = read_frame(start);
    device_side.join();

    EXPECT_GE(result.bytes.size(), read_case.fewest_bytes);
    EXPECT_LE(result.bytes.size(), read_case.most_bytes);
    EXPECT_EQ(result.bytes, numbered_bytes(result.bytes.size())) << "bytes lost, changed or reordered";
    expect_returned_at(result.ms, read_case.return_ms);
}

INSTANTIATE_TEST_SUITE_P(
    SerialLinkReplies, ReadTimingTest,
    testing::Values(
        ReadCase{"SilenceEndsAfter100ms", 0, {}, 0, 0, 100},
        ReadCase{"BurstEnds20msAfterItsLastByte", 0, {{30, 15, 0}}, 15, 15, 50},
        ReadCase{"WaitingBurstEnds20msAfterTheReadBegan", 15, {}, 15, 15, 20},
        ReadCase{"BurstsLessThan20msApartComeTogether", 0, {{10, 15, 0}, {20, 15, 0}}, 30, 30, 40},
        ReadCase{"SteadyStreamIsCutAt100ms", 0, {{0, 40, 5}}, 10, 30, 100},
        // The other time-out rules a port can be given.
        ReadCase{"MaxIntervalAloneTakesOnlyWhatIsWaiting", 15, {{10, 15, 0}}, 15, 15, 0,
                 COMMTIMEOUTS{MAXDWORD, 0, 0, 0, 0}},
        ReadCase{"MaxIntervalAndMultiplierEndAtTheFirstBytes", 0, {{30, 15, 0}}, 15, 15, 30,
                 COMMTIMEOUTS{MAXDWORD, MAXDWORD, 100, 0, 0}},
        ReadCase{"TotalAloneWaitsItOut", 0, {{10, 15, 0}}, 15, 15, 60, COMMTIMEOUTS{0, 0, 60, 0, 0}}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST_F(SerialLinkTest, ReplyStillArrivingAt100msIsSplitBetweenReads) {
    const Clock::time_point start = Clock::now();
    std::thread device_side([&] {
        for (size_t i = 0; i < 8; ++i) {  // 85 ms to 120 ms
            sleep_until_ms(start, 85 + static_cast<int>(i) * 5);
            device_.send(numbered_bytes(2, 2 * i));
        }
    });
    const TimedRead first = read_frame(start);
    const TimedRead second = read_frame(start);
    device_side.join();

    expect_returned_at(first.ms, 100);
    EXPECT_GT(first.bytes.size(), 0u);
    EXPECT_LT(first.bytes.size(), 16u);
    Bytes joined = first.bytes;
    joined.insert(joined.end(), second.bytes.begin(), second.bytes.end());
    EXPECT_EQ(joined, numbered_bytes(16));
    expect_returned_at(second.ms, 140);  // 20 ms after the last part
}

TEST_F(SerialLinkTest, FastStreamIsCutAtTheCapacityWithoutWritingPastIt) {
    const Bytes stream = numbered_bytes(frame_capacity + 500);
    device_.send(stream);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    constexpr uint8_t guard = 0xA5;
    Bytes guarded(frame_capacity + 64, guard);
    const Clock::time_point start = Clock::now();
    const int32_t count = port_read(port_, guarded.data(), frame_capacity);
    const double ms = ms_since(start);

    EXPECT_EQ(count, static_cast<int32_t>(frame_capacity));
    EXPECT_LT(ms, 20 + late_margin_ms);  // the full buffer ends it, not a time-out
    EXPECT_TRUE(std::equal(stream.begin(), stream.begin() + frame_capacity, guarded.begin()));
    for (size_t i = frame_capacity; i < guarded.size(); ++i) {
        ASSERT_EQ(guarded[i], guard) << "written past the capacity at " << i;
    }
    const TimedRead rest = read_frame(Clock::now());
    EXPECT_EQ(rest.bytes, Bytes(stream.begin() + frame_capacity, stream.end()));
}

TEST_F(SerialLinkTest, PurgeDiscardsWhatWasWaiting) {
    device_.send(numbered_bytes(15));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    port_purge(port_);
    EXPECT_TRUE(read_frame(Clock::now()).bytes.empty());

    device_.send(numbered_bytes(15));
    EXPECT_EQ(read_frame(Clock::now()).bytes, numbered_bytes(15));
}

TEST_F(SerialLinkTest, EveryByteValuePassesUnchangedBothWays) {
    Bytes all_values(256);
    for (size_t i = 0; i < all_values.size(); ++i) {
        all_values[i] = static_cast<uint8_t>(i);
    }
    all_values.insert(all_values.end(), {0, 0, 0, '\r', '\n', '\r', 0x11, 0x13, 0x03, 0x04, 0xFF, 0});

    device_.send(all_values);
    EXPECT_EQ(read_frame(Clock::now()).bytes, all_values);

    EXPECT_EQ(port_write(port_, all_values.data(), static_cast<int32_t>(all_values.size())),
              static_cast<int32_t>(all_values.size()));
    EXPECT_EQ(device_.receive(), all_values);
}

TEST_F(SerialLinkTest, WriteWaitsUntilTheDeviceHasTakenEverything) {
    // Far more than the pty holds, so the write must wait for the reader.
    const Bytes big = numbered_bytes(256 * 1024);
    Bytes received;
    // A generous quiet time: a loaded machine may pause the writer for a while.
    std::thread device_side([&] { received = device_.receive(500); });
    EXPECT_EQ(port_write(port_, big.data(), static_cast<int32_t>(big.size())),
              static_cast<int32_t>(big.size()));
    device_side.join();
    EXPECT_EQ(received, big);
}

TEST_F(SerialLinkTest, PeerHangUpEndsReadsAndWritesAtOnce) {
    device_.hang_up();
    const Clock::time_point start = Clock::now();
    Bytes buffer(frame_capacity);
    EXPECT_EQ(port_read(port_, buffer.data(), frame_capacity), 0);
    EXPECT_LT(ms_since(start), 50);
    EXPECT_EQ(port_read(port_, buffer.data(), frame_capacity), 0);
    EXPECT_EQ(port_write(port_, buffer.data(), 15), 0);
    port_purge(port_);
    EXPECT_LT(ms_since(start), 50);
}

// Opening

TEST(SerialLinkOpen, SecondOpenIsRefusedWhileTheFirstHoldsThePort) {
    PtyPeer device;
    HANDLE first = port_open(device.slave_path().c_str());
    ASSERT_NE(first, INVALID_HANDLE_VALUE);

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(port_open(device.slave_path().c_str()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    port_close(first);
    HANDLE again = port_open(device.slave_path().c_str());
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    port_close(again);
}

TEST(SerialLinkOpen, SecondOpenIsRefusedWhileAnotherProcessHoldsThePort) {
    PtyPeer device;
    int opened[2];
    int release[2];
    ASSERT_EQ(pipe(opened), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        close(opened[0]);
        close(release[1]);
        const char held = port_open(device.slave_path().c_str()) != INVALID_HANDLE_VALUE ? 'y' : 'n';
        char go;
        // Holds the port until released, or until the test process is gone.
        const bool done = write(opened[1], &held, 1) == 1 && read(release[0], &go, 1) == 1;
        _exit(done ? 0 : 2);
    }
    close(opened[1]);
    close(release[0]);

    char held = 0;
    EXPECT_EQ(read(opened[0], &held, 1), 1);
    EXPECT_EQ(held, 'y');
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(port_open(device.slave_path().c_str()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    EXPECT_EQ(write(release[1], "x", 1), 1);
    int status = 0;
    waitpid(holder, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    HANDLE after_exit = port_open(device.slave_path().c_str());
    EXPECT_NE(after_exit, INVALID_HANDLE_VALUE);
    port_close(after_exit);
    close(opened[0]);
    close(release[1]);
}

// A port folder holding the link com7 to the pty; removed with the fixture.
class SerialLinkPortFolderTest : public testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/dfut_ports_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder_ = name;
        std::filesystem::create_symlink(device_.slave_path().c_str(), folder_ / "com7");
        setenv("DFUT_COMPORTS", folder_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("DFUT_COMPORTS");
        std::filesystem::remove_all(folder_);
    }

    PtyPeer device_;
    std::filesystem::path folder_;
};

TEST_F(SerialLinkPortFolderTest, PortNumberOpensTheLinkedDeviceAndOnlyThat) {
    for (const char* name : {"\\\\.\\com7", "\\\\.\\COM7"}) {
        HANDLE port = port_open(name);
        ASSERT_NE(port, INVALID_HANDLE_VALUE) << name;
        const uint8_t byte = 0x5A;
        EXPECT_EQ(port_write(port, &byte, 1), 1);
        EXPECT_EQ(device_.receive(), Bytes{byte}) << name;
        port_close(port);
    }

    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(port_open("\\\\.\\com8"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(SerialLinkPortNames, FixedTableWithoutAPortFolder) {
    unsetenv("DFUT_COMPORTS");
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"\\\\.\\com1", "/dev/ttyS0"},    {"\\\\.\\com32", "/dev/ttyS31"},
        {"\\\\.\\com33", "/dev/ttyUSB0"}, {"\\\\.\\Com64", "/dev/ttyUSB31"},
        {"\\\\.\\COM65", "/dev/ttyACM0"}, {"\\\\.\\com96", "/dev/ttyACM31"},
        {"\\\\.\\com97", ""},             {"\\\\.\\com998", ""},
        {"/dev/pts/5", "/dev/pts/5"},     {"\\\\.\\com0", "\\\\.\\com0"},
        {"\\\\.\\com1x", "\\\\.\\com1x"},
    };
    for (const auto& port : cases) {
        EXPECT_EQ(device_path_for(port.name), port.path) << port.name;
    }
}

// Configuring

TEST(SerialLinkConfigure, PortWithoutLineSettingsIsReported) {
    char file_name[] = "/tmp/dfut_not_a_port_XXXXXX";
    const int file = mkstemp(file_name);
    ASSERT_GE(file, 0);
    close(file);

    for (const char* path : {"/dev/null", static_cast<const char*>(file_name)}) {
        HANDLE port = port_open(path);
        ASSERT_NE(port, INVALID_HANDLE_VALUE) << path;
        testing::internal::CaptureStderr();
        EXPECT_EQ(configure_port(port, 115200, 20), -1) << path;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not get Port State\n") << path;
        port_close(port);
    }
    unlink(file_name);
}

TEST(SerialLinkConfigure, LineIsSetAndUntouchedMembersReadBackAsStored) {
    PtyPeer device;
    make_cooked(device.slave_path());
    HANDLE port = port_open(device.slave_path().c_str());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    DCB stored;
    ASSERT_TRUE(GetCommState(port, &stored));
    stored.XonLim = 1234;
    stored.EvtChar = '#';
    stored.fDummy2 = 0x15555;
    ASSERT_TRUE(SetCommState(port, &stored));
    ASSERT_EQ(configure_port(port, 115200, 20), 0);
    DCB dcb;
    ASSERT_TRUE(GetCommState(port, &dcb));
    // A pty drops the parity bit, then refuses a repeat that changes nothing else.
    EXPECT_TRUE(SetCommState(port, &dcb));

    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.XonLim, 1234);
    EXPECT_EQ(dcb.EvtChar, '#');
    EXPECT_EQ(dcb.fDummy2, 0x15555u);
    COMMTIMEOUTS timeouts;
    ASSERT_TRUE(GetCommTimeouts(port, &timeouts));
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 20u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 100u);
    port_close(port);

    // The tty keeps its settings after the close.
    termios line;
    const int fd = open(device.slave_path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(tcgetattr(fd, &line), 0);
    close(fd);
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B115200));
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(line.c_iflag & (INPCK | IXON | IXOFF | ICRNL | PARMRK | ISTRIP), 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u);
    EXPECT_EQ(line.c_cflag & (CSTOPB | CRTSCTS), 0u);
}

TEST(SerialLinkHandles, CallsOnNoPortFailWithInvalidHandle) {
    for (HANDLE port : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)}) {
        uint8_t byte = 0;
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(port_read(port, &byte, 1), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        EXPECT_EQ(port_write(port, &byte, 1), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
        testing::internal::CaptureStderr();
        EXPECT_EQ(configure_port(port, 115200, 20), -1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not get Port State\n");
        EXPECT_FALSE(CloseHandle(port));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    }
}

}  // namespace
