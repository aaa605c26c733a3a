// Message texts for the error codes that this layer sets. They are our own
// short texts, each ending in CR LF as the system's do.

#include <cstring>

#include "platform/linux/test_hooks.h"
#include "platform/win32.h"

namespace {

struct MessageText {
    DWORD code;
    const char* text;
};

constexpr MessageText message_texts[] = {
    {ERROR_SUCCESS, "No error.\r\n"},
    {ERROR_FILE_NOT_FOUND, "There is no such file or device.\r\n"},
    {ERROR_PATH_NOT_FOUND, "There is no such path.\r\n"},
    {ERROR_ACCESS_DENIED, "Access to it was refused.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle does not stand for an open object.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "There is not enough memory.\r\n"},
    {ERROR_INVALID_DATA, "The data is malformed.\r\n"},
    {ERROR_NOT_READY, "There is no display to show windows on.\r\n"},
    {ERROR_GEN_FAILURE, "The device failed.\r\n"},
    {ERROR_SHARING_VIOLATION, "Another program is using it.\r\n"},
    {ERROR_NOT_SUPPORTED, "That is not supported.\r\n"},
    {ERROR_INVALID_PARAMETER, "A parameter is not valid.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The buffer is too small.\r\n"},
    {ERROR_INVALID_WINDOW_HANDLE, "The window handle does not stand for a window.\r\n"},
    {ERROR_CANNOT_FIND_WND_CLASS, "No window class of that name is registered.\r\n"},
    {ERROR_CLASS_ALREADY_EXISTS, "A window class of that name is already registered.\r\n"},
    {ERROR_CONTROL_ID_NOT_FOUND, "The dialog has no control with that identifier.\r\n"},
    {ERROR_RESOURCE_DATA_NOT_FOUND, "The resource has no data.\r\n"},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, "The program has no resource of that type.\r\n"},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "The program has no resource of that name.\r\n"},
};

dfut_platform::MessageTextSource replaced_texts = nullptr;

const char* text_for(DWORD code) {
    if (replaced_texts != nullptr) {
        return replaced_texts(code);
    }
    for (const MessageText& entry : message_texts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return nullptr;
}

}  // namespace

void dfut_platform::set_message_text_source(MessageTextSource source) {
    replaced_texts = source;
}

// Only texts of the system (FORMAT_MESSAGE_FROM_SYSTEM), in the one language
// there is, into the caller's buffer; inserts are not expanded, so the
// arguments are not used. A text that does not fit with its terminator is
// not stored at all, as on the system.
DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD message_id, DWORD, LPSTR buffer, DWORD size, va_list*) {
    if ((flags & ~static_cast<DWORD>(FORMAT_MESSAGE_IGNORE_INSERTS)) != FORMAT_MESSAGE_FROM_SYSTEM ||
        buffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = text_for(message_id);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const size_t length = std::strlen(text);
    if (length >= size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return static_cast<DWORD>(length);
}
