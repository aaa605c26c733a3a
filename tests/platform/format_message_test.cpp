// Message texts for the error codes the layer sets.

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "platform/win32.h"

namespace {

DWORD format(DWORD code, char* buffer, DWORD size) {
    return FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, buffer, size, nullptr);
}

TEST(FormatMessage, EveryCodeTheLayerSetsHasAShortLineEndingInCrLf) {
    const DWORD codes[] = {ERROR_FILE_NOT_FOUND,        ERROR_PATH_NOT_FOUND,         ERROR_ACCESS_DENIED,
                           ERROR_INVALID_HANDLE,        ERROR_NOT_ENOUGH_MEMORY,      ERROR_INVALID_DATA,
                           ERROR_NOT_READY,             ERROR_GEN_FAILURE,            ERROR_SHARING_VIOLATION,
                           ERROR_NOT_SUPPORTED,         ERROR_INVALID_PARAMETER,      ERROR_INSUFFICIENT_BUFFER,
                           ERROR_INVALID_WINDOW_HANDLE, ERROR_CANNOT_FIND_WND_CLASS,  ERROR_CLASS_ALREADY_EXISTS,
                           ERROR_CONTROL_ID_NOT_FOUND,  ERROR_RESOURCE_DATA_NOT_FOUND, ERROR_RESOURCE_TYPE_NOT_FOUND,
                           ERROR_RESOURCE_NAME_NOT_FOUND};
    for (DWORD code : codes) {
        char buffer[200];
        const DWORD stored = format(code, buffer, sizeof buffer);
        const std::string text = buffer;
        EXPECT_EQ(stored, text.size()) << "code " << code;
        EXPECT_GT(text.size(), 2u) << "code " << code;
        EXPECT_LT(text.size(), 80u) << "code " << code;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "code " << code;
        EXPECT_EQ(text.find_first_of("\r\n"), text.size() - 2) << "one line, code " << code;
    }
}

TEST(FormatMessage, ATextThatDoesNotFitIsNotStored) {
    char probe[200];
    const DWORD length = format(ERROR_ACCESS_DENIED, probe, sizeof probe);
    ASSERT_GT(length, 0u);

    char buffer[200];
    std::memset(buffer, '#', sizeof buffer);
    SetLastError(0);
    EXPECT_EQ(format(ERROR_ACCESS_DENIED, buffer, length), 0u);  // no room for the terminator
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));

    EXPECT_EQ(format(ERROR_ACCESS_DENIED, buffer, length + 1), length);
    EXPECT_EQ(std::string(buffer), std::string(probe));
    EXPECT_EQ(buffer[length + 1], '#');
}

TEST(FormatMessage, UnknownCodesAndOtherSourcesGiveNothing) {
    char buffer[200] = "untouched";
    EXPECT_EQ(format(0x80070005u, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    constexpr DWORD allocate_buffer = 0x100;
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | allocate_buffer, nullptr, ERROR_ACCESS_DENIED, 0, buffer,
                             sizeof buffer, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_STREQ(buffer, "untouched");
}

}  // namespace
