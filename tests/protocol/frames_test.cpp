#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/crc16_modbus.h"
#include "protocol/frames.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Test names from the cases' descriptions.
template <typename Case>
std::string case_name(const testing::TestParamInfo<Case>& info) {
    std::string name = info.param.what;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

// A job with its own frame buffer, filled with a marker so that untouched bytes show.
struct JobFixture {
    uint8_t frame[FRAME_CAPACITY];
    Bytes image;
    UpdateJob job{};

    explicit JobFixture(uint32_t unit_address = UNIT_ADDRESS) {
        std::memset(frame, 0xA5, sizeof frame);
        job.frame = frame;
        job.frame_capacity = FRAME_CAPACITY;
        job.unit_address = unit_address;
        job.flash_base = FLASH_BASE;
    }

    Bytes sent() const { return Bytes(frame, frame + job.frame_len); }

    void receive(const Bytes& reply) {
        std::copy(reply.begin(), reply.end(), frame);
        job.frame_len = static_cast<int32_t>(reply.size());
    }
};

TEST(Crc16Modbus, KnownValues) {
    const std::string check = "123456789";
    EXPECT_EQ(crc16_modbus(reinterpret_cast<const uint8_t*>(check.data()), 9), 0x4B37);
    const uint8_t any = 0x55;
    EXPECT_EQ(crc16_modbus(&any, 0), 0xFFFF);
    EXPECT_EQ(crc16_modbus(&any, -3), 0xFFFF);
}

TEST(FrameChecksum, ShortFramesGiveInitialValue) {
    JobFixture f;
    for (int32_t len : {0, 1, 2}) {
        f.job.frame_len = len;
        EXPECT_EQ(frame_checksum(f.job), 0xFFFF) << "frame_len " << len;
    }
}

struct BuiltFrame {
    const char* what;
    uint32_t unit_address;
    void (*build)(JobFixture&);
    Bytes expected;
};

// Test logs name the case instead of dumping its bytes.
void PrintTo(const BuiltFrame& c, std::ostream* out) { *out << c.what; }

class WorkedExamples : public testing::TestWithParam<BuiltFrame> {};

TEST_P(WorkedExamples, BuildByteForByte) {
    const BuiltFrame& c = GetParam();
    JobFixture f(c.unit_address);
    c.build(f);
    EXPECT_EQ(f.sent(), c.expected);
    EXPECT_EQ(f.frame[c.expected.size()], 0xA5) << "wrote past the frame";
}

INSTANTIATE_TEST_SUITE_P(
    Frames, WorkedExamples,
    testing::Values(
        BuiltFrame{"link probe", 4, [](JobFixture& f) { build_query_frame(f.job, 0x08004000, 4); },
                   {0x04, 0x2B, 0xF6, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x04, 0x42, 0x5A}},
        BuiltFrame{"link probe, unit 1", 1, [](JobFixture& f) { build_query_frame(f.job, 0x08004000, 4); },
                   {0x01, 0x2B, 0xF6, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x04, 0x53, 0x96}},
        BuiltFrame{"verify request", 4, [](JobFixture& f) { build_query_frame(f.job, 0x08004000, 0x19800); },
                   {0x04, 0x2B, 0xF6, 0x08, 0x00, 0x40, 0x00, 0x00, 0x01, 0x98, 0x00, 0x79, 0x99}},
        BuiltFrame{"block at base", 4,
                   [](JobFixture& f) {
                       f.image = {0xDE, 0xAD, 0xBE, 0xEF};
                       f.job.image = f.image.data();
                       f.job.image_size = 4;
                       f.job.offset = 0;
                       f.job.block_len = 4;
                       build_block_frame(f.job);
                   },
                   {0x04, 0x2B, 0xF5, 0x08, 0x00, 0x40, 0x00, 0x00, 0x04, 0xDE, 0xAD, 0xBE, 0xEF, 0x94, 0x3B}},
        BuiltFrame{"block at 0x400", 4,
                   [](JobFixture& f) {
                       f.image.assign(0x404, 0);
                       const uint8_t tail[] = {0x01, 0x02, 0x03, 0x04};
                       std::memcpy(f.image.data() + 0x400, tail, 4);
                       f.job.image = f.image.data();
                       f.job.image_size = 0x404;
                       f.job.offset = 0x400;
                       f.job.block_len = 4;
                       build_block_frame(f.job);
                   },
                   {0x04, 0x2B, 0xF5, 0x08, 0x00, 0x44, 0x00, 0x00, 0x04, 0x01, 0x02, 0x03, 0x04, 0xAF, 0x22}},
        BuiltFrame{"reset", 4, [](JobFixture& f) { build_reset_frame(f.job); }, {0x04, 0x2B, 0xF7, 0x6F, 0x77}}),
    case_name<BuiltFrame>);

TEST(BlockFrame, FullBlockCarriesImageAndLeavesBufferTailUntouched) {
    JobFixture f;
    f.image.resize(2048);
    for (size_t i = 0; i < f.image.size(); ++i) f.image[i] = static_cast<uint8_t>(i * 7 + 3);
    f.job.image = f.image.data();
    f.job.image_size = 2048;
    f.job.offset = 1024;
    f.job.block_len = 1024;
    build_block_frame(f.job);

    ASSERT_EQ(f.job.frame_len, 1035);
    EXPECT_EQ(Bytes(f.frame + 3, f.frame + 9), (Bytes{0x08, 0x00, 0x44, 0x00, 0x04, 0x00}));
    EXPECT_EQ(0, std::memcmp(f.frame + 9, f.image.data() + 1024, 1024));
    EXPECT_EQ(crc16_modbus(f.frame, 1033), f.frame[1033] | (f.frame[1034] << 8));
    EXPECT_EQ(Bytes(f.frame + 1035, f.frame + 1040), Bytes(5, 0xA5));
}

struct ReplyCase {
    const char* what;
    Bytes reply;
    bool valid;
};

// Test logs name the case instead of dumping its bytes.
void PrintTo(const ReplyCase& c, std::ostream* out) { *out << c.what; }

class ReplyTest : public testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyTest, JudgedOnLengthAndChecksumAlone) {
    JobFixture f;
    f.receive(GetParam().reply);
    const Bytes before(f.frame, f.frame + FRAME_CAPACITY);
    EXPECT_EQ(frame_is_valid(f.job), GetParam().valid);
    EXPECT_EQ(Bytes(f.frame, f.frame + FRAME_CAPACITY), before) << "the test changed the buffer";
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyTest,
    testing::Values(ReplyCase{"nothing", {}, false},
                    ReplyCase{"one byte", {0xFF}, false},
                    // 2 and 3 bytes whose last two bytes are the checksum of what precedes them
                    ReplyCase{"two bytes", {0xFF, 0xFF}, false},
                    ReplyCase{"three bytes", {0x00, 0xBF, 0x40}, false},
                    ReplyCase{"shortest valid", {0x04, 0x2B, 0x43, 0x6F}, true},
                    ReplyCase{"exception shape", {0x04, 0xAB, 0x01, 0x8E, 0xF1}, true},
                    ReplyCase{"checksum bytes swapped", {0x04, 0xAB, 0x01, 0xF1, 0x8E}, false},
                    ReplyCase{"own probe echoed",
                              {0x04, 0x2B, 0xF6, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x04, 0x42, 0x5A},
                              true},
                    ReplyCase{"probe with one bit flipped",
                              {0x04, 0x2B, 0xF6, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0x01, 0x04, 0x42, 0x5A},
                              false},
                    ReplyCase{"two frames in one read",
                              {0x04, 0x2B, 0x43, 0x6F, 0x04, 0x2B, 0x43, 0x6F},
                              false}),
    case_name<ReplyCase>);

}  // namespace
