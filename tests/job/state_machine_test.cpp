#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "common/status.h"
#include "job/state_machine.h"
#include "platform/linux/test_hooks.h"
#include "protocol/crc16_modbus.h"
#include "protocol/serial_link.h"
#include "tests/support/pty_peer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A stepped clock: GetTickCount reads `now`, Sleep advances it without waiting.
uint32_t now;
uint32_t stepped_tick() { return now; }
void stepped_sleep(uint32_t ms) { now += ms; }

Bytes with_crc(Bytes frame) {
    const uint16_t crc = crc16_modbus(frame.data(), static_cast<int32_t>(frame.size()));
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

const Bytes ACK = with_crc({0x04, 0x2B, 0xF5});
const Bytes EXCEPTION_REPLY = with_crc({0x04, 0xAB, 0x01});

Bytes verify_reply(uint8_t byte11, uint8_t byte12) {
    return with_crc({0x04, 0x2B, 0xF6, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0x04, 0x00, byte11, byte12});
}

// A job on a real pty with a scripted device at the other end and a stepped clock.
class StateMachine : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        dfut_platform::set_clock(stepped_tick, stepped_sleep);
        now = 1000;
        std::memset(frame, 0xA5, sizeof frame);
        job.frame = frame;
        job.frame_capacity = FRAME_CAPACITY;
        job.unit_address = UNIT_ADDRESS;
        job.flash_base = FLASH_BASE;
        use_image(4096);
        job.port = port_open(peer.slave_path().c_str());
        ASSERT_NE(job.port, INVALID_HANDLE_VALUE);
        ASSERT_EQ(configure_port(job.port, 115200, 20), 0);
    }

    void TearDown() override {
        port_close(job.port);
        dfut_platform::set_clock(nullptr, nullptr);
    }

    void use_image(int32_t size) {
        image.resize(static_cast<size_t>(size));
        for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + 5);
        job.image = image.data();
        job.image_size = size;
    }

    // Puts the job in a waiting state as if its frame had gone out at sent_at.
    void waiting_in(JobState state, uint32_t sent_at, uint32_t reply_timeout = 5000) {
        job.state = state;
        job.sent_at = sent_at;
        job.reply_timeout = reply_timeout;
        job.offset = 0;
        job.block_len = 1024;
    }

    // One tick with its trace captured.
    std::string tick() {
        testing::internal::CaptureStdout();
        job_tick(job);
        return testing::internal::GetCapturedStdout();
    }

    PtyPeer peer;
    uint8_t frame[FRAME_CAPACITY];
    Bytes image;
    UpdateJob job{};
};

struct TimeoutCase {
    const char* what;
    JobState state;
    uint32_t reply_timeout;
    uint32_t limit;   // the resend fires only past this many ms
    uint32_t sent_at; // near the top of the tick count to cross the wrap
    uint8_t subcode;  // what a resend carries
};

// Test logs name the case instead of dumping its bytes.
void PrintTo(const TimeoutCase& c, std::ostream* out) { *out << c.what; }

class ReplyLimit : public StateMachine, public testing::WithParamInterface<TimeoutCase> {};

TEST_P(ReplyLimit, ResendsOnlyWhenElapsedExceedsTheLimit) {
    const TimeoutCase& c = GetParam();
    waiting_in(c.state, c.sent_at, c.reply_timeout);

    now = c.sent_at + c.limit;  // exactly the limit, modulo 2^32
    tick();
    EXPECT_TRUE(peer.receive().empty()) << "resent at elapsed == limit";
    EXPECT_EQ(job.sent_at, c.sent_at);

    now = c.sent_at + c.limit + 1;
    tick();
    const Bytes resent = peer.receive();
    ASSERT_GE(resent.size(), 5u) << "no resend one millisecond past the limit";
    EXPECT_EQ(resent[2], c.subcode);
    EXPECT_EQ(job.state, c.state);
    EXPECT_EQ(job.offset, 0);
}

INSTANTIATE_TEST_SUITE_P(
    States, ReplyLimit,
    testing::Values(TimeoutCase{"Linking", Linking, 100, 100, 5000, 0xF6},
                    TimeoutCase{"LinkingAcrossWrap", Linking, 100, 100, 0xFFFFFFC0u, 0xF6},
                    TimeoutCase{"Programming", Programming, 5000, 5000, 5000, 0xF5},
                    TimeoutCase{"ProgrammingAcrossWrap", Programming, 5000, 5000, 0xFFFFF000u, 0xF5},
                    TimeoutCase{"Verifying", Verifying, 5000, 5000, 5000, 0xF6},
                    // Resetting waits a fixed 100 ms whatever reply_timeout holds.
                    TimeoutCase{"Resetting", Resetting, 5000, 100, 5000, 0xF7},
                    TimeoutCase{"ResettingAcrossWrap", Resetting, 5000, 100, 0xFFFFFFFFu, 0xF7}),
    [](const testing::TestParamInfo<TimeoutCase>& info) { return std::string(info.param.what); });

TEST_F(StateMachine, WrapDoesNotFakeATimeout) {
    // sent_at just below 2^32, now just above 0: 32 ms have passed, not ~4 billion.
    waiting_in(Programming, 0xFFFFFFF0u, 5000);
    now = 0x10;
    const std::string trace = tick();
    EXPECT_TRUE(peer.receive().empty());
    EXPECT_EQ(trace, "");
}

TEST_F(StateMachine, ResendAndValidReplyInTheSameTick) {
    waiting_in(Programming, 1000);
    now = 1000 + 5001;
    peer.send(ACK);  // already waiting when the tick reads
    const std::string trace = tick();

    EXPECT_EQ(trace,
              "TIMEOUT\n"
              "PROG ADDR 0x8004000, LEN 0x400, FROM 0... - SENT - - OK\n"
              "PROG ADDR 0x8004400, LEN 0x400, FROM 0x400... - SENT - ");
    EXPECT_EQ(job.offset, 1024);
    EXPECT_EQ(job.state, Programming);
    EXPECT_EQ(job.sent_at, now);
    const Bytes sent = peer.receive();
    ASSERT_EQ(sent.size(), 2u * 1035);
    EXPECT_EQ(Bytes(sent.begin() + 3, sent.begin() + 7), (Bytes{0x08, 0x00, 0x40, 0x00}));
    EXPECT_EQ(Bytes(sent.begin() + 1035 + 3, sent.begin() + 1035 + 7), (Bytes{0x08, 0x00, 0x44, 0x00}));
}

TEST_F(StateMachine, AnyValidFrameAcknowledgesABlock) {
    const Bytes replies[] = {ACK, EXCEPTION_REPLY, with_crc({0x00, 0x00}),
                             with_crc({0x04, 0x2B, 0xF6, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x04})};
    waiting_in(Programming, now);
    int32_t expected_offset = 0;
    for (const Bytes& reply : replies) {
        peer.send(reply);
        tick();
        expected_offset += 1024;
        EXPECT_EQ(job.offset, expected_offset);
        peer.receive();
    }
}

TEST_F(StateMachine, InvalidRepliesChangeNothing) {
    Bytes corrupt = ACK;
    corrupt[1] ^= 0x01;
    const Bytes replies[] = {{}, {0x04}, {0x04, 0x2B, 0xF5}, corrupt};
    waiting_in(Programming, now);
    for (const Bytes& reply : replies) {
        peer.send(reply);
        EXPECT_EQ(tick(), "");
        EXPECT_EQ(job.state, Programming);
        EXPECT_EQ(job.offset, 0);
        EXPECT_EQ(job.sent_at, now);
        EXPECT_EQ(job.frame_len, static_cast<int32_t>(reply.size()));
    }
    EXPECT_TRUE(peer.receive().empty());
}

TEST_F(StateMachine, LinkingDumpsEveryNonEmptyRead) {
    waiting_in(Linking, now, 100);
    peer.send({0x00, 0xff, 0x1a});
    EXPECT_EQ(tick(), "RX: 00 ff 1a\n");
    EXPECT_EQ(job.state, Linking);
    EXPECT_EQ(tick(), "");  // silence: no dump
}

TEST_F(StateMachine, TerminalStatesDoNothing) {
    for (JobState state : {Failed, Completed, static_cast<JobState>(8), static_cast<JobState>(-1)}) {
        waiting_in(state, 0);
        now = 100000;
        peer.send(ACK);
        const Bytes frame_before(frame, frame + FRAME_CAPACITY);
        const UpdateJob job_before = job;

        EXPECT_EQ(tick(), "");
        EXPECT_EQ(std::memcmp(&job, &job_before, sizeof job), 0) << "state " << state;
        EXPECT_EQ(Bytes(frame, frame + FRAME_CAPACITY), frame_before);
        EXPECT_TRUE(peer.receive().empty()) << "sent something in state " << state;

        // The reply is still waiting: nothing was read.
        uint8_t left[16];
        EXPECT_EQ(port_read(job.port, left, sizeof left), static_cast<int32_t>(ACK.size()));
    }
}

TEST_F(StateMachine, SingleBlockImageGoesStraightToVerifying) {
    use_image(1024);
    waiting_in(Programming, now);
    peer.send(ACK);
    const std::string trace = tick();

    EXPECT_EQ(job.state, Verifying);
    EXPECT_EQ(job.offset, 1024);
    EXPECT_EQ(trace,
              "- OK\nVerifying address 0x8004000, image size 0x400 bytes\nframe length   13 bytes sent\n");
    EXPECT_EQ(peer.receive(), with_crc({0x04, 0x2B, 0xF6, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0x04, 0x00}));
    EXPECT_STREQ(status_text, "Verifying...");
}

TEST_F(StateMachine, ShortLastBlockEndsExactlyAtImageSize) {
    use_image(2500);
    waiting_in(Programming, now);
    std::vector<size_t> frame_lengths;
    for (int block = 0; block < 3 && job.state == Programming; ++block) {
        peer.send(ACK);
        tick();
        if (job.state == Programming) frame_lengths.push_back(peer.receive().size());
    }
    EXPECT_EQ(frame_lengths, (std::vector<size_t>{1035, 452 + 11}));
    EXPECT_EQ(job.offset, 2500);
    EXPECT_EQ(job.state, Verifying);
}

struct VerifyCase {
    const char* what;
    Bytes reply;
    JobState after;
    const char* trace;
};

// Test logs name the case instead of dumping its bytes.
void PrintTo(const VerifyCase& c, std::ostream* out) { *out << c.what; }

class Verification : public StateMachine, public testing::WithParamInterface<VerifyCase> {};

TEST_P(Verification, ComparesTheDeviceCrcHighByteFirst) {
    use_image(1024);
    // The local CRC of this image, for the replies below.
    ASSERT_EQ(crc16_modbus(image.data(), 1024), 0x4796);
    waiting_in(Verifying, now);
    peer.send(GetParam().reply);
    EXPECT_EQ(tick(), GetParam().trace);
    EXPECT_EQ(job.state, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Verification,
    testing::Values(
        VerifyCase{"Match", verify_reply(0x47, 0x96), Resetting,
                   "Remote CRC 0x4796\nLocal  CRC 0x4796\nCRCs match\nResetting target\nframe length    5 bytes sent\n"},
        VerifyCase{"LowByteFirstIsAMismatch", verify_reply(0x96, 0x47), Failed,
                   "Remote CRC 0x9647\nLocal  CRC 0x4796\nCRC FAIL\n"},
        // Too short to carry the device's CRC: ignored like an invalid reply.
        VerifyCase{"ValidButShorterThan13Bytes", with_crc({0x04, 0x2B, 0xF6, 0x47, 0x96}), Verifying, ""}),
    [](const testing::TestParamInfo<VerifyCase>& info) { return std::string(info.param.what); });

TEST_F(StateMachine, FailedRunSendsNothingMore) {
    use_image(1024);
    waiting_in(Verifying, now);
    peer.send(verify_reply(0, 0));
    tick();
    ASSERT_EQ(job.state, Failed);
    EXPECT_STREQ(status_text, "FAILED");
    peer.receive();
    now += 100000;
    tick();
    EXPECT_TRUE(peer.receive().empty());
}

}  // namespace
