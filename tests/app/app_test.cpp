// The whole tool as an operator meets it: the real dfut program on a private
// X server (Xvfb), its ports in a private port folder linked to simulated
// devices, driven with xdotool as a person would (keys, clicks, the close box
// as a window manager sends it), watched through its platform log and trace.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/linux/platform_log.h"
#include "platform/win32.h"
#include "protocol/serial_link.h"
#include "sim/simulated_device.h"
#include "tests/support/carried_image.h"
#include "tests/app/popup_menu.h"
#include "tests/support/child_process.h"
#include "tests/support/running_tool.h"
#include "tests/support/x_close_box.h"
#include "tests/support/xvfb_display.h"

static auto* const display = ::testing::AddGlobalTestEnvironment(new XvfbDisplay);

namespace {

using namespace std::chrono_literals;

// Far beyond what any step takes, also under sanitizers on a busy machine.
constexpr auto start_limit = 60s;
constexpr auto run_limit = 180s;
constexpr auto exit_limit = 30s;
// Long enough for a timer left running to show in the log many times over.
constexpr auto settle_time = 300ms;

const std::string window_caption = "Device Firmware Update Tool";
const std::string idle_status = " - Idle - ";

std::string status_line(const std::string& text) {
    return "SetDlgItemTextA id=5 text=" + quoted(text.c_str());
}

bool is_tick_timer_line(const std::string& line) {
    return line.rfind("SetTimer id=6 ", 0) == 0;
}

std::vector<std::string> status_texts(const std::vector<std::string>& log) {
    const std::string prefix = "SetDlgItemTextA id=5 text=\"";
    std::vector<std::string> texts;
    for (const std::string& line : log) {
        if (line.rfind(prefix, 0) == 0) {
            texts.push_back(line.substr(prefix.size(), line.size() - prefix.size() - 1));
        }
    }
    return texts;
}

// The status texts of a run from the press to completion.
std::vector<std::string> completed_run_statuses() {
    std::vector<std::string> texts{"Contacting Device...", "Establishing Link..."};
    char text[32];
    for (size_t offset = 0; offset < carried_image().size(); offset += 1024) {
        std::snprintf(text, sizeof text, "programming %#zx", 0x08004000 + offset);
        texts.push_back(text);
    }
    texts.insert(texts.end(),
                 {"Verifying...", "Program Verified OK", "Resetting target...", "Programming Completed OK",
                  "Programming Completed"});
    return texts;
}

// From the last "Contacting Device..." on: the statuses of the latest run.
std::vector<std::string> latest_run(const std::vector<std::string>& statuses) {
    const auto start = std::find(statuses.rbegin(), statuses.rend(), "Contacting Device...");
    return std::vector<std::string>(start == statuses.rend() ? statuses.end() : start.base() - 1, statuses.end());
}

size_t count_of(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool ends_with(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Whether the port can be had exclusively right now, i.e. nobody holds it.
bool port_is_free(int number) {
    const HANDLE port = port_open(("\\\\.\\com" + std::to_string(number)).c_str());
    if (port == INVALID_HANDLE_VALUE) {
        return false;
    }
    port_close(port);
    return true;
}

// A point of the dialog in pixels from dialog units (base units 6 x 13).
std::string pixels_x(double x) { return std::to_string(std::lround(x * 6 / 4)); }
std::string pixels_y(double y) { return std::to_string(std::lround(y * 13 / 8)); }

class DfutWindow : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/dfut-app-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        scratch = name;
        ports = scratch + "/ports";
        ASSERT_EQ(mkdir(ports.c_str(), 0700), 0);
        // The test's own opens of "\\.\comN" find the ports the tool finds.
        setenv("DFUT_COMPORTS", ports.c_str(), 1);
    }

    void TearDown() override {
        tool.reset();
        devices.clear();  // their links go with them
        rmdir(ports.c_str());
        rmdir(scratch.c_str());
    }

public:
    // What the operator does.
    void press_return() { xdotool({"windowfocus", "--sync", window, "key", "Return"}); }

    void click_update_button() {
        // The button's middle: at 81, 68 and 100 x 14 dialog units in the template.
        xdotool({"mousemove", "--window", window, "--sync", pixels_x(81 + 50), pixels_y(68 + 7), "click", "1"});
    }

protected:
    sim::SimulatedDevice& add_device(int port_number, const sim::DeviceOptions& options = {}) {
        devices.push_back(std::make_unique<sim::SimulatedDevice>(options));
        devices.back()->link_as_port(ports, port_number);
        return *devices.back();
    }

    // Starts the tool and waits for its idle window.
    void start_tool() {
        tool = std::make_unique<RunningTool>(DFUT_PROGRAM, ports, scratch);
        ASSERT_TRUE(tool->started());
        ASSERT_TRUE(wait_for_status(idle_status, start_limit)) << log_text();
        window = first_line(xdotool({"search", "--sync", "--onlyvisible", "--name", "^" + window_caption + "$"}));
        ASSERT_FALSE(window.empty());
    }

    // Picks the port list's item at `position` from its drop-down list.
    void pick_port(int position) {
        // The list's arrow sits at its right end: the list is at 17, 68 and
        // 56 dialog units wide, its closed box 13 units high.
        xdotool({"mousemove", "--window", window, "--sync", pixels_x(17 + 56 - 2), pixels_y(68 + 6.5), "click", "1"});
        ASSERT_TRUE(wait_until(popup_menu_shown)) << "the port list did not drop down";
        std::vector<std::string> keys{"key", "--delay", "50"};
        keys.insert(keys.end(), static_cast<size_t>(position) + 1, "Down");
        keys.push_back("Return");
        xdotool(keys);
        ASSERT_TRUE(wait_until([] { return !popup_menu_shown(); }));
    }

    void close_window() { ASSERT_TRUE(click_close_box(window)); }

    // Waits until the status field shows `text`; a message box (the fatal
    // error report) ends the wait at once, since the tool is ending then.
    bool wait_for_status(const std::string& text, std::chrono::milliseconds limit) {
        const std::string line = status_line(text);
        bool shown = false;
        tool->wait_for_log(
            [&](const std::vector<std::string>& log) {
                for (const std::string& entry : log) {
                    shown = shown || entry == line;
                    if (shown || entry.rfind("MessageBoxA ", 0) == 0) {
                        return true;
                    }
                }
                return false;
            },
            limit);
        return shown;
    }

    void save_screenshot(const std::string& file_name) {
        const std::string png = std::string(DFUT_SCREENSHOT_DIR) + "/" + file_name;
        std::remove(png.c_str());
        EXPECT_EQ(ChildProcess({"import", "-window", window, png}).wait(), 0);
        // The template's 337 x 210 dialog units.
        EXPECT_EQ(run_command({"identify", "-format", "%wx%h", png}), pixels_x(337) + "x" + pixels_y(210))
            << "screenshot " << png;
    }

    std::string log_text() {
        std::string text;
        for (const std::string& line : tool->log()) {
            text += line + "\n";
        }
        return text.size() > 2000 ? "..." + text.substr(text.size() - 2000) : text;
    }

    std::unique_ptr<RunningTool> tool;
    std::vector<std::unique_ptr<sim::SimulatedDevice>> devices;
    std::string scratch;
    std::string ports;
    std::string window;

private:
    static std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

    static bool wait_until(bool (*condition)()) {
        const auto end = std::chrono::steady_clock::now() + start_limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    // Runs xdotool with `args`; a step that fails or hangs fails the test.
    static std::string xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), {"timeout", "60", "xdotool"});
        ChildProcess command(args);
        EXPECT_EQ(command.wait(), 0) << "xdotool " << args[3];
        return command.output();
    }
};

struct Press {
    const char* name;
    void (DfutWindow::*press)();
};

// Names the case in test listings.
void PrintTo(const Press& press, std::ostream* out) { *out << press.name; }

class UpdateByPress : public DfutWindow, public ::testing::WithParamInterface<Press> {};

TEST_P(UpdateByPress, WritesTheImageBeepsAndEndsWithStatus0WhenClosed) {
    sim::SimulatedDevice& device = add_device(1);
    ASSERT_NO_FATAL_FAILURE(start_tool());
    save_screenshot(std::string("dfut_idle_window_") + GetParam().name + ".png");

    (this->*GetParam().press)();
    ASSERT_TRUE(wait_for_status("Programming Completed", run_limit)) << log_text();
    std::this_thread::sleep_for(settle_time);

    const sim::Bytes image = carried_image();
    EXPECT_TRUE(device.flash_matches(image));
    EXPECT_EQ(device.stats().blocks, image.size() / 1024);
    EXPECT_EQ(device.stats().verifies, 1u);
    EXPECT_EQ(device.stats().resets, 1u);
    EXPECT_TRUE(port_is_free(1)) << "the tool still holds the port of its completed run";

    std::vector<std::string> expected_statuses{idle_status};
    const std::vector<std::string> run = completed_run_statuses();
    expected_statuses.insert(expected_statuses.end(), run.begin(), run.end());
    EXPECT_EQ(status_texts(tool->log()), expected_statuses);
    // The tick that completes the run: the timer is set back, then stopped,
    // the tone sounds, the status changes; after that the timer stays quiet.
    const std::vector<std::string> log = tool->log();
    const auto completed_ok = std::find(log.begin(), log.end(), status_line("Programming Completed OK"));
    ASSERT_NE(completed_ok, log.end());
    EXPECT_EQ(std::vector<std::string>(completed_ok + 1, log.end()),
              (std::vector<std::string>{"SetTimer id=6 ms=10", "KillTimer id=6", "Beep frequency=2000 ms=100",
                                        status_line("Programming Completed")}));

    close_window();
    EXPECT_EQ(tool->wait_for_exit(exit_limit), 0);
    EXPECT_EQ(tool->log().back(), "window destroyed " + quoted(window_caption.c_str()));
    const std::string trace = tool->trace();
    EXPECT_EQ(trace.rfind("Running on windows version: a00\n", 0), 0u) << trace.substr(0, 200);
    EXPECT_EQ(count_of(trace, " . Opening serial port \\\\.\\com1 at 115200 baud\n"), 1u);
    EXPECT_TRUE(ends_with(trace, "CRCs match\nResetting target\nframe length    5 bytes sent\n"
                                 "frame length    5 bytes received & OK\n"))
        << trace.substr(trace.size() - std::min<size_t>(trace.size(), 300));
}

INSTANTIATE_TEST_SUITE_P(Presses, UpdateByPress,
                         ::testing::Values(Press{"return", &DfutWindow::press_return},
                                           Press{"click", &DfutWindow::click_update_button}),
                         [](const ::testing::TestParamInfo<Press>& info) { return std::string(info.param.name); });

// A device that takes 115200 8E1 time on the line: a run lasts long enough
// for an operator to act in the middle of it.
sim::DeviceOptions paced_device() {
    sim::DeviceOptions options;
    options.paced = true;
    options.flash_write_time = 2ms;
    return options;
}

bool programming_under_way(const sim::DeviceStats& stats) { return stats.blocks >= 3; }

TEST_F(DfutWindow, ClosingTheWindowInTheMiddleOfARunEndsWithStatus0) {
    sim::SimulatedDevice& device = add_device(1, paced_device());
    ASSERT_NO_FATAL_FAILURE(start_tool());
    press_return();
    ASSERT_TRUE(device.wait_until(programming_under_way, run_limit)) << log_text();

    close_window();
    EXPECT_EQ(tool->wait_for_exit(exit_limit), 0);
    EXPECT_EQ(tool->log().back(), "window destroyed " + quoted(window_caption.c_str()));
    const sim::DeviceStats stats = device.stats();
    EXPECT_LT(stats.blocks, carried_image().size() / 1024);
    EXPECT_EQ(stats.verifies, 0u);
}

TEST_F(DfutWindow, APortThatDoesNotOpenEndsInTheOwnedReportAndStatus1) {
    sim::SimulatedDevice& device = add_device(1);
    ASSERT_NO_FATAL_FAILURE(start_tool());
    // Listed at start-up, taken by another program before the press.
    const HANDLE taken = port_open("\\\\.\\com1");
    ASSERT_NE(taken, INVALID_HANDLE_VALUE);

    press_return();
    char system_text[300] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, system_text, sizeof system_text,
                   nullptr);
    const std::string report = "\n\nAn Error has occurred as follows:\n"
                               "          Unable to open serial port. In use already, or not present\n"
                               "Error number 5 reported\n" +
                               std::string(system_text) + "\n\n The program will now abort\n\n\n";
    const std::string box_line =
        "MessageBoxA owner=window caption=\"Terminate Program\" text=" + quoted(report.c_str());
    EXPECT_TRUE(tool->wait_for_log_line(box_line, start_limit)) << log_text();

    // The operator reads the report, then dismisses it.
    ChildProcess dismissal({"timeout", "60", "xdotool", "search", "--sync", "--onlyvisible", "--name",
                            "^Terminate Program$", "windowfocus", "--sync", "key", "Return"});
    EXPECT_EQ(dismissal.wait(), 0);
    EXPECT_EQ(tool->wait_for_exit(exit_limit), 1);
    EXPECT_EQ(tool->log().back(), "Beep frequency=200 ms=1000");
    EXPECT_TRUE(ends_with(tool->trace(), "\n . Opening serial port \\\\.\\com1 at 115200 baud\n")) << tool->trace();
    EXPECT_EQ(device.stats().frames, 0u);
    port_close(taken);
}

TEST_F(DfutWindow, AfterAWrongCrcTheTimerRunsOnAndASecondPressOnTheSamePortCompletes) {
    sim::DeviceOptions options;
    options.faults.wrong_verify_crc = true;
    options.faults.wrong_verify_crcs = 1;  // then the device behaves
    sim::SimulatedDevice& device = add_device(1, options);
    ASSERT_NO_FATAL_FAILURE(start_tool());

    press_return();
    ASSERT_TRUE(wait_for_status("FAILED", run_limit)) << log_text();
    // The run is over, but its timer keeps ticking: many more timer settings, no stop.
    const auto after_failure = [](const std::vector<std::string>& log) {
        return std::vector<std::string>(std::find(log.begin(), log.end(), status_line("FAILED")), log.end());
    };
    EXPECT_TRUE(tool->wait_for_log(
        [&](const std::vector<std::string>& log) {
            const std::vector<std::string> lines = after_failure(log);
            return std::count_if(lines.begin(), lines.end(), is_tick_timer_line) >= 20;
        },
        start_limit));
    const std::vector<std::string> failed_tail = after_failure(tool->log());
    EXPECT_EQ(std::count(failed_tail.begin(), failed_tail.end(), "KillTimer id=6"), 0);
    EXPECT_EQ(status_texts(failed_tail), std::vector<std::string>{"FAILED"});
    EXPECT_EQ(device.stats().resets, 0u);

    press_return();
    ASSERT_TRUE(wait_for_status("Programming Completed", run_limit)) << log_text();
    EXPECT_EQ(latest_run(status_texts(tool->log())), completed_run_statuses());
    EXPECT_TRUE(device.flash_matches(carried_image()));
    EXPECT_EQ(device.stats().verifies, 2u);
    EXPECT_EQ(device.stats().resets, 1u);

    close_window();
    EXPECT_EQ(tool->wait_for_exit(exit_limit), 0);
    const std::string trace = tool->trace();
    EXPECT_EQ(count_of(trace, " . Opening serial port \\\\.\\com1 at 115200 baud\n"), 2u);
    EXPECT_LT(trace.find("CRC FAIL\n"), trace.find("CRCs match\n"));
}

TEST_F(DfutWindow, APressDuringARunWithAnotherPortSelectedRestartsOnThatPort) {
    sim::SimulatedDevice& first = add_device(1, paced_device());
    sim::SimulatedDevice& second = add_device(2);
    ASSERT_NO_FATAL_FAILURE(start_tool());
    press_return();
    ASSERT_TRUE(first.wait_until(programming_under_way, run_limit)) << log_text();

    ASSERT_NO_FATAL_FAILURE(pick_port(1));
    press_return();
    ASSERT_TRUE(wait_for_status("Programming Completed", run_limit)) << log_text();

    EXPECT_TRUE(second.flash_matches(carried_image()));
    EXPECT_EQ(latest_run(status_texts(tool->log())), completed_run_statuses());
    // The run left behind is over: its device hears no more, its port is free.
    const uint64_t first_blocks = first.stats().blocks;
    EXPECT_LT(first_blocks, carried_image().size() / 1024);
    EXPECT_TRUE(port_is_free(1));
    EXPECT_TRUE(port_is_free(2));
    std::this_thread::sleep_for(settle_time);
    EXPECT_EQ(first.stats().blocks, first_blocks);

    close_window();
    EXPECT_EQ(tool->wait_for_exit(exit_limit), 0);
    const std::string trace = tool->trace();
    EXPECT_LT(trace.find(" . Opening serial port \\\\.\\com1 at 115200 baud\n"),
              trace.find(" . Opening serial port \\\\.\\com2 at 115200 baud\n"));
}

struct NoSelection {
    const char* name;
    bool port_present;
    const char* typed;  // typed into the port list's edit field; null: nothing
};

void PrintTo(const NoSelection& selection, std::ostream* out) { *out << selection.name; }

class PressWithoutSelection : public DfutWindow, public ::testing::WithParamInterface<NoSelection> {};

TEST_P(PressWithoutSelection, OnlySaysSoAndTheToolRunsOn) {
    if (GetParam().port_present) {
        add_device(3);
    }
    ASSERT_NO_FATAL_FAILURE(start_tool());
    if (GetParam().typed != nullptr) {
        // The port list has the focus when the window opens.
        ChildProcess typing({"timeout", "60", "xdotool", "windowfocus", "--sync", window, "type", "--delay", "50",
                             GetParam().typed});
        EXPECT_EQ(typing.wait(), 0);
    }
    const size_t lines_before = tool->log().size();

    press_return();
    ASSERT_TRUE(wait_for_status("No serial port selected", start_limit)) << log_text();
    std::this_thread::sleep_for(settle_time);
    const std::vector<std::string> log = tool->log();
    EXPECT_EQ(std::vector<std::string>(log.begin() + static_cast<std::ptrdiff_t>(lines_before), log.end()),
              std::vector<std::string>{status_line("No serial port selected")});
    if (GetParam().port_present) {
        EXPECT_TRUE(port_is_free(3));
    }

    close_window();
    EXPECT_EQ(tool->wait_for_exit(exit_limit), 0);
    EXPECT_EQ(tool->trace().find("Opening serial port"), std::string::npos) << tool->trace();
}

INSTANTIATE_TEST_SUITE_P(Cases, PressWithoutSelection,
                         ::testing::Values(NoSelection{"empty_port_list", false, nullptr},
                                           NoSelection{"typed_text", true, "com3"}),
                         [](const ::testing::TestParamInfo<NoSelection>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
