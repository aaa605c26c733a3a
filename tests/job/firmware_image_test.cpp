#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "job/firmware_image.h"
#include "platform/linux/test_hooks.h"
#include "tests/support/res_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t RCDATA = 10;

class FirmwareImage : public testing::Test {
protected:
    void TearDown() override { dfut_platform::set_resource_data(nullptr, 0); }

    // Loads the image from the given resources into a fresh job, capturing the trace.
    UpdateJob load_from(const Bytes& resources) {
        dfut_platform::set_resource_data(resources.data(), resources.size());
        return load();
    }

    UpdateJob load() {
        UpdateJob job{};
        testing::internal::CaptureStdout();
        load_firmware_image(job);
        trace_text = testing::internal::GetCapturedStdout();
        return job;
    }

    std::string trace_text;
};

Bytes counting_bytes(size_t length) {
    Bytes bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i % 251 + 1);
    return bytes;
}

TEST_F(FirmwareImage, PadsToWholeBlocksWithZeros) {
    const struct {
        size_t length;
        int32_t image_size;
    } cases[] = {{1, 1024}, {1024, 1024}, {1025, 2048}};
    for (const auto& c : cases) {
        const Bytes data = counting_bytes(c.length);
        // Other resources around BINFILE must not confuse the lookup.
        ResBuilder res;
        res.add(RCDATA, "OTHER", {9, 9, 9}).add(RCDATA, "BINFILE", data).add(5, "BINFILE", {7});
        UpdateJob job = load_from(res.bytes());

        ASSERT_EQ(job.image_size, c.image_size) << "length " << c.length;
        ASSERT_NE(job.image, nullptr);
        EXPECT_EQ(Bytes(job.image, job.image + c.length), data);
        EXPECT_EQ(Bytes(job.image + c.length, job.image + job.image_size), Bytes(job.image_size - c.length, 0));
        EXPECT_EQ(job.flash_base, 0x08004000u);
        delete[] job.image;
    }
}

TEST_F(FirmwareImage, CarriedImageIsTheEmbeddedFileWithZeroTail) {
    std::ifstream file(DFUT_FIRMWARE_FILE, std::ios::binary);
    const Bytes expected((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(expected.empty());
    const int32_t padded = static_cast<int32_t>((expected.size() + 1023) / 1024 * 1024);

    UpdateJob job = load();
    ASSERT_EQ(job.image_size, padded);
    EXPECT_EQ(Bytes(job.image, job.image + expected.size()), expected);
    EXPECT_EQ(Bytes(job.image + expected.size(), job.image + job.image_size), Bytes(padded - expected.size(), 0));
    char size_line[64];
    std::snprintf(size_line, sizeof size_line, "Flash Image Size %#x bytes\n", padded);
    EXPECT_EQ(trace_text, std::string("\nFlash Image Base 0x8004000\n") + size_line);
    delete[] job.image;
}

TEST_F(FirmwareImage, MissingOrEmptyResourceLeavesNoImage) {
    const Bytes empty = ResBuilder().add(RCDATA, "BINFILE", {}).bytes();
    const Bytes other_name = ResBuilder().add(RCDATA, "FIRMWARE", {1, 2}).bytes();
    const Bytes garbage = {0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0, 0, 0, 0xFF};
    for (const Bytes* resources : {&empty, &other_name, &garbage}) {
        UpdateJob job = load_from(*resources);
        EXPECT_EQ(job.image, nullptr);
        EXPECT_EQ(job.image_size, 0);
        EXPECT_EQ(trace_text, "");
    }
}

}  // namespace
