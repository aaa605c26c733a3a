#include "platform/linux/platform_log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void platform_log(const char* format, ...) {
    // Read on every call: the log is for tests and people, who may point it
    // elsewhere between runs; and the file is opened only for the line, so
    // that lines of several processes interleave whole.
    const char* path = std::getenv("DFUT_PLATFORM_LOG");
    if (path == nullptr || path[0] == '\0') {
        return;
    }
    const int saved_errno = errno;
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length >= 0) {
        std::string line(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(&line[0], line.size(), format, args);
        line.back() = '\n';
        if (FILE* log = std::fopen(path, "a")) {
            std::fwrite(line.data(), 1, line.size(), log);
            std::fclose(log);
        }
    }
    va_end(args);
    errno = saved_errno;
}

std::string quoted(const char* text) {
    if (text == nullptr) {
        return "null";
    }
    std::string out = "\"";
    for (const char* at = text; *at != '\0'; ++at) {
        const unsigned char c = static_cast<unsigned char>(*at);
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escape[5];
                std::snprintf(escape, sizeof escape, "\\x%02x", c);
                out += escape;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}
