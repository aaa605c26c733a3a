// The fatal error report, run in a child process since it ends the process.
// Without a display the box returns at once and its text goes to standard
// error; with one, an operator dismisses it. The platform log shows the box's
// text and the tone.

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux/platform_log.h"
#include "platform/win32.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_path.h"
#include "tests/support/xvfb_display.h"

static auto* const display = ::testing::AddGlobalTestEnvironment(new XvfbDisplay);

namespace {

const std::string header = "\n\nAn Error has occurred as follows:\n";
const std::string trailer = "\n\n The program will now abort\n\n\n";

std::string system_text(DWORD code) {
    char text[300] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, sizeof text, nullptr);
    return text;
}

std::vector<std::string> log_lines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

struct ChildRun {
    int status;
    double ran_ms;
    std::string output;
    std::vector<std::string> log;
};

// Runs the child to its end with `extra` arguments after code and reason.
ChildRun run_child(const std::string& name, const std::string& code, const std::string& reason,
              const std::vector<std::string>& extra, bool with_display) {
    const std::string log = temp_path("fatal_" + name + ".log");
    std::remove(log.c_str());
    std::vector<std::string> args{DFUT_FATAL_ERROR_CHILD, code, reason};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<std::string> environment{"DFUT_PLATFORM_LOG=" + log};
    if (!with_display) {
        environment.push_back("DISPLAY");
    }
    ChildProcess child(args, environment, true);
    ChildRun run;
    run.status = child.wait();
    run.ran_ms = child.ran_ms();
    run.output = child.output();
    run.log = log_lines(log);
    std::remove(log.c_str());
    return run;
}

struct ReportCase {
    const char* name;
    const char* code;
    const char* reason;
    std::string expected;
};

// Test logs name the case instead of dumping its bytes.
void PrintTo(const ReportCase& c, std::ostream* out) { *out << c.name; }

class FatalReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(FatalReport, ShowsTheExactReportThenTheLowToneAndExits1) {
    const ReportCase& c = GetParam();
    const ChildRun run = run_child(c.name, c.code, c.reason, {}, false);

    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(WEXITSTATUS(run.status), 1);
    // With no display the box's text goes to standard error; the trace text
    // waited in its buffer until the exit flushed it.
    EXPECT_EQ(run.output, "Terminate Program: " + c.expected + "\n" + "trace text before the report\n");
    EXPECT_EQ(run.log, (std::vector<std::string>{
                           "MessageBoxA owner=none caption=\"Terminate Program\" text=" + quoted(c.expected.c_str()),
                           "Beep frequency=200 ms=1000"}));
    EXPECT_GE(run.ran_ms, 1000);
}

INSTANTIATE_TEST_SUITE_P(
    Reports, FatalReport,
    ::testing::Values(
        ReportCase{"no_code", "0", "Could not create dialog", header + "          Could not create dialog\n" + trailer},
        ReportCase{"access_denied", "5", "Unable to open serial port. In use already, or not present",
                   header + "          Unable to open serial port. In use already, or not present\n" +
                       "Error number 5 reported\n" + system_text(ERROR_ACCESS_DENIED) + trailer},
        // A code with its top bit set prints negative; there is no text for it.
        ReportCase{"top_bit", "0x80070005", "Unabled to register window class",
                   header + "          Unabled to register window class\n" + "Error number -2147024891 reported\n" +
                       trailer},
        ReportCase{"per_cent", "0", "100% %s %n done", header + "          100% %s %n done\n" + trailer}),
    [](const ::testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

// The system text goes into the report only when it fits the space left;
// one that fits but leaves the trailer no room is cut back for it.
TEST(FatalReportLimit, TheReportKeepsTo1000BytesWhateverTheSystemTextsLength) {
    const std::string reason = "Unable to open serial port. In use already, or not present";
    const std::string before = header + "          " + reason + "\n" + "Error number 2 reported\n";
    const size_t space = 1000 - before.size();
    struct Case {
        size_t text_length;
        std::string expected;
    };
    const Case cases[] = {
        // Fits with the trailer: unchanged.
        {space - trailer.size() - 1, before + std::string(space - trailer.size() - 3, 'x') + "\r\n" + trailer},
        // Fits the space, not with the trailer: cut so the report has 999 characters.
        {space - 1, before + std::string(999 - before.size() - trailer.size(), 'x') + trailer},
        // Longer than the space: the system stores nothing.
        {5000, before + trailer},
    };
    for (const Case& c : cases) {
        const ChildRun run = run_child("oversize", "2", reason, {std::to_string(c.text_length)}, false);
        ASSERT_TRUE(WIFEXITED(run.status));
        EXPECT_EQ(WEXITSTATUS(run.status), 1);
        ASSERT_FALSE(run.log.empty());
        EXPECT_EQ(run.log.front(), "MessageBoxA owner=none caption=\"Terminate Program\" text=" + quoted(c.expected.c_str()))
            << "system text of " << c.text_length;
    }
}

TEST(FatalReportOnScreen, OwnedBoxKeepsTheTimerGoingAndTheToneFollowsItsDismissal) {
    const std::string log = temp_path("fatal_on_screen.log");
    std::remove(log.c_str());
    ChildProcess child({DFUT_FATAL_ERROR_CHILD, "5", "Unable to open serial port. In use already, or not present",
                        "owned"},
                       {"DFUT_PLATFORM_LOG=" + log});
    // The operator reads the report for a while, then presses Return.
    ChildProcess dismissal(std::vector<std::string>{
        "sh", "-c",
        "xdotool search --sync --onlyvisible --name '^Terminate Program$' >/dev/null && sleep 0.5 && "
        "xdotool search --onlyvisible --name '^Terminate Program$' windowfocus --sync key Return"});
    EXPECT_EQ(dismissal.wait(), 0);
    const auto dismissed_at = std::chrono::steady_clock::now();
    const int status = child.wait();
    const std::chrono::duration<double, std::milli> after_dismissal = std::chrono::steady_clock::now() - dismissed_at;

    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_GE(after_dismissal.count(), 900);  // the 1000 ms tone comes after the box
    const std::vector<std::string> lines = log_lines(log);
    std::remove(log.c_str());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 1], "Beep frequency=200 ms=1000");
    EXPECT_EQ(lines[lines.size() - 2].rfind("MessageBoxA owner=window caption=\"Terminate Program\"", 0), 0u);
    // The ticks went on while the box was up (10 ms apart for at least 500 ms).
    std::istringstream output(child.output());
    std::string line;
    int ticks = 0;
    while (std::getline(output, line)) {
        ticks += line == "tick";
    }
    EXPECT_GE(ticks, 10);
}

}  // namespace
