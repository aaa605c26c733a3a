// Start-up of the dfut window on Linux, on a private X server, with its 998
// port probes: from the process start to the "window created" line of the
// platform log, to the window being mapped, and to the first painted idle
// window; then the processor share of the idle window. "Painted" means that the
// X server holds the window's pixels with " - Idle - " drawn: the status
// field's rectangle, read back with XGetImage about every millisecond, shows
// ink. Two sets of ports: a port folder with one simulated device (997 names
// absent), and the system's own device names. Prints figures; the targets (at
// most 150 ms to the painted idle window, under 0.5 % idle processor time) are
// printed, never enforced.
//
//   window_startup [STARTS [IDLE_SECONDS]]     (default 10 starts, 10 s idle)

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/simulated_device.h"
#include "tests/support/running_tool.h"
#include "tests/support/x_close_box.h"
#include "tests/support/xvfb_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double kPaintedTargetMs = 150;
constexpr double kIdleShareTarget = 0.005;
constexpr auto kStartLimit = 10s;
const char* const kCaption = "Device Firmware Update Tool";
const std::string kCreatedLine = std::string("window created \"") + kCaption + "\"";

// The status field's rectangle in pixels: 185, 71 and 148 x 12 dialog units,
// with base units 6 x 13.
int pixels_x(double x) { return static_cast<int>(std::lround(x * 6 / 4)); }
int pixels_y(double y) { return static_cast<int>(std::lround(y * 13 / 8)); }
const int kStatusX = pixels_x(185), kStatusY = pixels_y(71), kStatusW = pixels_x(148), kStatusH = pixels_y(12);

// A window that goes away between two requests is no reason to stop.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

Window find_window(Display* x, const char* caption) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && found == 0; ++i) {
            char* name = nullptr;
            if (XFetchName(x, children[i], &name) && name != nullptr) {
                found = std::string(name) == caption ? children[i] : 0;
                XFree(name);
            }
        }
        XFree(children);
    }
    return found;
}

bool mapped(Display* x, Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(x, window, &attributes) && attributes.map_state == IsViewable;
}

// Dark pixels, as text is drawn, in a rectangle of the window.
bool has_ink(Display* x, Window window, int left, int top, int width, int height) {
    XImage* image = XGetImage(x, window, left, top, static_cast<unsigned>(width), static_cast<unsigned>(height),
                              AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    bool ink = false;
    for (int y = 0; y < height && !ink; ++y) {
        for (int px = 0; px < width && !ink; ++px) {
            const unsigned long pixel = XGetPixel(image, px, y);
            const unsigned long sum = ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF);
            ink = sum < 3 * 100;
        }
    }
    XDestroyImage(image);
    return ink;
}

// The status field shows ink, and a corner that no control covers shows the
// window's light face, so that a window not yet drawn (of whatever background
// the server gives it) does not count.
bool idle_window_painted(Display* x, Window window) {
    return !has_ink(x, window, 2, 2, 4, 4) && has_ink(x, window, kStatusX, kStatusY, kStatusW, kStatusH);
}

struct Start {
    double created_ms = 0;
    double mapped_ms = 0;
    double painted_ms = 0;
};

double ms_since(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// One start of the tool, watched until its idle window is painted. With
// `idle_seconds`, the window is then left idle that long and its processor
// share measured.
std::optional<Start> start_once(Display* x, const std::string& ports, const std::string& scratch,
                                double idle_seconds, double* idle_share) {
    RunningTool tool(DFUT_PROGRAM, ports, scratch);
    std::optional<Clock::time_point> created, shown, painted;
    Window window = 0;
    while (!painted && tool.running() && Clock::now() - tool.started_at() < kStartLimit) {
        if (!created) created = tool.seen_at(kCreatedLine);
        if (window == 0) window = find_window(x, kCaption);
        if (window != 0 && !shown && mapped(x, window)) shown = Clock::now();
        if (shown && idle_window_painted(x, window)) painted = Clock::now();
        if (!painted) std::this_thread::sleep_for(1ms);
    }
    if (!painted || !created) {
        std::fprintf(stderr, "window_startup: no painted idle window within %lld s\n",
                     static_cast<long long>(kStartLimit.count()));
        return std::nullopt;
    }
    if (idle_seconds > 0) {
        std::this_thread::sleep_for(500ms);  // past the first paint
        const double cpu_before = tool.cpu_seconds();
        const Clock::time_point idle_from = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(idle_seconds));
        const std::chrono::duration<double> idle = Clock::now() - idle_from;
        *idle_share = (tool.cpu_seconds() - cpu_before) / idle.count();
    }
    click_close_box(std::to_string(window));
    if (tool.wait_for_exit(kStartLimit) != 0) {
        std::fprintf(stderr, "window_startup: dfut did not end with status 0 after its window was closed\n");
        return std::nullopt;
    }
    return Start{ms_since(tool.started_at(), *created), ms_since(tool.started_at(), *shown),
                 ms_since(tool.started_at(), *painted)};
}

struct Spread {
    double min, median, max;
};

Spread spread_of(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return {values.front(), n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2, values.back()};
}

void print_spread(const char* what, const Spread& spread) {
    std::printf("    %-28s %7.1f ms  (min %.1f, max %.1f)\n", what, spread.median, spread.min, spread.max);
}

// Starts the tool `starts` times with the ports of `ports` and prints the figures.
bool measure(Display* x, const char* what, const std::string& ports, const std::string& scratch, int starts,
             double idle_seconds) {
    std::vector<double> created, shown, painted;
    double idle_share = 0;
    for (int i = 0; i < starts; ++i) {
        const bool last = i == starts - 1;
        const std::optional<Start> start = start_once(x, ports, scratch, last ? idle_seconds : 0, &idle_share);
        if (!start) return false;
        created.push_back(start->created_ms);
        shown.push_back(start->mapped_ms);
        painted.push_back(start->painted_ms);
    }
    std::printf("  %s, median of %d starts, from the process start:\n", what, starts);
    print_spread("to \"window created\" logged", spread_of(created));
    print_spread("to the window mapped", spread_of(shown));
    const Spread painted_spread = spread_of(painted);
    print_spread("to the idle window painted", painted_spread);
    std::printf("    target at most %.0f ms: median %s\n", kPaintedTargetMs,
                painted_spread.median <= kPaintedTargetMs ? "within" : "beyond");
    if (idle_seconds > 0) {
        std::printf("    idle processor share        %7.3f %%   over %.0f s (clock tick %.0f ms), "
                    "target under %.1f %%\n",
                    100 * idle_share, idle_seconds, 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK)),
                    100 * kIdleShareTarget);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int starts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const double idle_seconds = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 10;
    XvfbServer display;
    if (!display.serving()) {
        std::fprintf(stderr, "window_startup: Xvfb did not start\n");
        return 1;
    }
    XSetErrorHandler(ignore_x_error);
    Display* x = XOpenDisplay(nullptr);
    char name[] = "/tmp/dfut-window-startup-XXXXXX";
    if (x == nullptr || mkdtemp(name) == nullptr) return 1;
    const std::string scratch = name;
    const std::string ports = scratch + "/ports";
    if (mkdir(ports.c_str(), 0700) != 0) return 1;

    std::printf("start-up of the dfut window (Linux, Xvfb %s), ports \\\\.\\com1 to \\\\.\\com998 probed\n",
                display.display().c_str());
    bool measured;
    {
        sim::SimulatedDevice device;
        device.link_as_port(ports, 1);
        measured = measure(x, "port folder with one simulated device", ports, scratch, starts, idle_seconds);
    }
    measured = measured && measure(x, "the system's own device names", "", scratch, starts, 0);

    XCloseDisplay(x);
    rmdir(ports.c_str());
    rmdir(scratch.c_str());
    return measured ? 0 : 1;
}
