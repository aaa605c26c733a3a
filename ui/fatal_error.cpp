#include "ui/fatal_error.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/main_window.h"
#include "platform/win32.h"

namespace {

constexpr size_t REPORT_SIZE = 1000;
constexpr char TRAILER[] = "\n\n The program will now abort\n\n\n";
// The trailer and its terminator always fit: every piece before it stops
// short of this room.
constexpr size_t TRAILER_ROOM = sizeof TRAILER;

// The report under construction: pieces go on at `length`, the terminator
// always sits right after them.
struct Report {
    char text[REPORT_SIZE];
    size_t length;
};

// Appends what fits before `limit` (the end of the room for the piece); a
// longer piece is cut.
void append(Report& report, size_t limit, const char* format, ...) __attribute__((format(printf, 3, 4)));

void append(Report& report, size_t limit, const char* format, ...) {
    if (report.length + 1 >= limit) {
        return;
    }
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(report.text + report.length, limit - report.length, format, args);
    va_end(args);
    if (written > 0) {
        report.length += std::min(static_cast<size_t>(written), limit - report.length - 1);
    }
}

}  // namespace

void fatal_error(const char* reason) {
    Report report;
    report.length = 0;
    report.text[0] = '\0';
    const size_t before_trailer = REPORT_SIZE - TRAILER_ROOM + 1;

    append(report, before_trailer, "\n\nAn Error has occurred as follows:\n");
    append(report, before_trailer, "          %s\n", reason);
    const DWORD code = GetLastError();
    if (code != 0) {
        append(report, before_trailer, "Error number %ld reported\n", static_cast<long>(static_cast<int32_t>(code)));
        // The system's text goes straight into the report, offered all the
        // space to the end; it is then cut back to leave the trailer its room.
        const DWORD stored = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, report.text + report.length,
                                            static_cast<DWORD>(REPORT_SIZE - report.length), nullptr);
        report.length = std::min(report.length + stored, before_trailer - 1);
        report.text[report.length] = '\0';
    }
    append(report, REPORT_SIZE, "%s", TRAILER);

    MessageBoxA(main_window, report.text, "Terminate Program", MB_OK | MB_ICONWARNING);
    Beep(200, 1000);
    std::exit(1);
}
