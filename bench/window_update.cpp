// A full update of the carried image through the dfut window on Linux, on a
// private X server: from Return on "Update Device" to "Programming Completed"
// in the status field, on a simulated line paced at 115200 8E1 with 2 ms flash
// write per block. Beside it the wire time of the bytes the device received and
// sent, and dfut-cli on a line with the same settings. Prints figures; the
// target (dfut within 3 % of dfut-cli) is printed, never enforced.
//
//   window_update [RUNS]     (default 3; each run updates once with each tool)

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "bench/cli_run.h"
#include "bench/wire_time.h"
#include "platform/linux/platform_log.h"
#include "sim/simulated_device.h"
#include "tests/support/carried_image.h"
#include "tests/support/child_process.h"
#include "tests/support/running_tool.h"
#include "tests/support/x_close_box.h"
#include "tests/support/xvfb_server.h"

namespace {

using bench::Clock;
using bench::Seconds;
using namespace std::chrono_literals;

constexpr auto kFlashWriteTime = 2ms;
constexpr double kWithinCliTarget = 0.03;
constexpr auto kStartLimit = 60s;
constexpr auto kRunLimit = 300s;
const std::string kCaption = "Device Firmware Update Tool";

std::string status_line(const char* text) { return "SetDlgItemTextA id=5 text=" + quoted(text); }

sim::DeviceOptions line_options() {
    sim::DeviceOptions options;
    options.paced = true;
    options.flash_write_time = kFlashWriteTime;
    return options;
}

// The image as the tool sends it: zero-padded to whole 1024-byte blocks.
double seconds_between(Clock::time_point from, Clock::time_point to) { return Seconds(to - from).count(); }

struct WindowRun {
    double press_to_completed = 0;  // the figure
    double press_to_contacting = 0;  // Return to the run's first status
    double contacting_to_ok = 0;     // the state machine's run
    double ok_to_completed = 0;      // the completion tone and the final status
    double cpu = 0;                  // the tool's processor time from the press to completion
    double wire = 0;
    bool flash_ok = false;
};

std::optional<WindowRun> run_window(const std::string& scratch, const std::string& ports) {
    sim::SimulatedDevice device(line_options());
    device.link_as_port(ports, 1);
    RunningTool tool(DFUT_PROGRAM, ports, scratch);
    if (!tool.wait_for_log_line(status_line(" - Idle - "), kStartLimit)) {
        std::fprintf(stderr, "window_update: dfut did not come up\n");
        return std::nullopt;
    }
    const std::string found =
        run_command({"timeout", "60", "xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + kCaption + "$"});
    const std::string window = found.substr(0, found.find('\n'));
    // The focus first, so that the press itself is one key stroke.
    ChildProcess focus({"xdotool", "windowfocus", "--sync", window});
    if (window.empty() || focus.wait() != 0) {
        std::fprintf(stderr, "window_update: the window is not on screen\n");
        return std::nullopt;
    }

    const double cpu_before = tool.cpu_seconds();
    // The press counts from the start of the key stroke's xdotool process.
    const Clock::time_point pressed = Clock::now();
    ChildProcess press({"xdotool", "key", "Return"});
    press.wait();
    if (!tool.wait_for_log_line(status_line("Programming Completed"), kRunLimit)) {
        std::fprintf(stderr, "window_update: no \"Programming Completed\"\n");
        return std::nullopt;
    }
    WindowRun run;
    run.cpu = tool.cpu_seconds() - cpu_before;
    const Clock::time_point contacting = *tool.seen_at(status_line("Contacting Device..."));
    const Clock::time_point completed_ok = *tool.seen_at(status_line("Programming Completed OK"));
    const Clock::time_point completed = *tool.seen_at(status_line("Programming Completed"));
    run.press_to_completed = seconds_between(pressed, completed);
    run.press_to_contacting = seconds_between(pressed, contacting);
    run.contacting_to_ok = seconds_between(contacting, completed_ok);
    run.ok_to_completed = seconds_between(completed_ok, completed);

    click_close_box(window);
    if (tool.wait_for_exit(kStartLimit) != 0) {
        std::fprintf(stderr, "window_update: dfut did not end with status 0 after its window was closed\n");
        return std::nullopt;
    }
    device.stop();
    run.wire = bench::wire_seconds(bench::wire_bytes(device.stats()).total());
    run.flash_ok = device.flash_matches(carried_image());
    return run;
}

struct CliRun {
    double total = 0;
    double wire = 0;
    bool flash_ok = false;
};

std::optional<CliRun> run_cli() {
    sim::SimulatedDevice device(line_options());
    const bench::ChildRun child = bench::run_cli(DFUT_CLI_PROGRAM, device.slave_path());
    device.stop();
    if (child.status != 0) {
        std::fprintf(stderr, "window_update: dfut-cli ended with status %d\n", child.status);
        return std::nullopt;
    }
    return CliRun{Seconds(child.wall).count(), bench::wire_seconds(bench::wire_bytes(device.stats()).total()),
                  device.flash_matches(carried_image())};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    XvfbServer display;
    if (!display.serving()) {
        std::fprintf(stderr, "window_update: Xvfb did not start\n");
        return 1;
    }
    char name[] = "/tmp/dfut-window-update-XXXXXX";
    if (mkdtemp(name) == nullptr) return 1;
    const std::string scratch = name;
    const std::string ports = scratch + "/ports";
    if (mkdir(ports.c_str(), 0700) != 0) return 1;

    std::printf("full update through the dfut window (Linux, Xvfb %s) and with dfut-cli,\n"
                "device paced at 115200 8E1, %lld ms flash write per block\n",
                display.display().c_str(), static_cast<long long>(kFlashWriteTime.count()));
    std::vector<double> window_totals, cli_totals, window_ratios, cli_ratios;
    int status = 0;
    for (int i = 1; i <= runs; ++i) {
        const std::optional<WindowRun> window = run_window(scratch, ports);
        const std::optional<CliRun> cli = run_cli();
        if (!window || !cli || !window->flash_ok || !cli->flash_ok) {
            std::fprintf(stderr, "window_update: run %d did not complete with the image in the device's flash\n", i);
            status = 1;
            break;
        }
        std::printf("  run %d\n", i);
        std::printf("    dfut      %7.3f s  Return to \"Programming Completed\": press %.1f ms, run %.3f s, "
                    "tone and status %.0f ms\n",
                    window->press_to_completed, 1e3 * window->press_to_contacting, window->contacting_to_ok,
                    1e3 * window->ok_to_completed);
        std::printf("              wire %.3f s, ratio %.3f; dfut CPU %.2f %% of the run\n", window->wire,
                    window->press_to_completed / window->wire, 100 * window->cpu / window->press_to_completed);
        std::printf("    dfut-cli  %7.3f s  start to exit; wire %.3f s, ratio %.3f\n", cli->total, cli->wire,
                    cli->total / cli->wire);
        std::printf("    dfut / dfut-cli %.4f\n", window->press_to_completed / cli->total);
        window_totals.push_back(window->press_to_completed);
        cli_totals.push_back(cli->total);
        window_ratios.push_back(window->press_to_completed / window->wire);
        cli_ratios.push_back(cli->total / cli->wire);
    }
    if (!window_totals.empty()) {
        const double window_median = median(window_totals), cli_median = median(cli_totals);
        std::printf("  median of %zu: dfut %.3f s (ratio to wire %.3f), dfut-cli %.3f s (ratio to wire %.3f)\n",
                    window_totals.size(), window_median, median(window_ratios), cli_median, median(cli_ratios));
        std::printf("  dfut against dfut-cli: %+.2f %%, target within %.0f %%\n",
                    100 * (window_median / cli_median - 1), 100 * kWithinCliTarget);
    }
    rmdir(ports.c_str());
    rmdir(scratch.c_str());
    return status;
}
