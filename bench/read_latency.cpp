// How late port_read returns against the time-out that ends it, on a pty:
// silence (the 100 ms total), a reply already waiting (20 ms after the read
// began) and a reply arriving mid-read (20 ms after its last byte).
// Prints figures; the targets are a median within 1 ms and a worst case within 5 ms.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "protocol/serial_link.h"
#include "tests/support/pty_peer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int reads_per_case = 200;
constexpr uint32_t frame_capacity = 1040;
constexpr int interval_ms = 20;
const std::vector<uint8_t> reply(15, 0x5A);

double ms_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Milliseconds from `expected_at` to the return of one read.
double read_lateness(HANDLE port, Clock::time_point expected_at) {
    uint8_t frame[frame_capacity];
    port_read(port, frame, frame_capacity);
    return ms_between(expected_at, Clock::now());
}

double silence(HANDLE port, PtyPeer&) {
    const Clock::time_point began = Clock::now();
    return read_lateness(port, began + std::chrono::milliseconds(100));
}

double reply_waiting(HANDLE port, PtyPeer& device) {
    device.send(reply);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // lets the pty deliver it
    const Clock::time_point began = Clock::now();
    return read_lateness(port, began + std::chrono::milliseconds(interval_ms));
}

double reply_mid_read(HANDLE port, PtyPeer& device) {
    Clock::time_point sent_at;
    const Clock::time_point began = Clock::now();
    std::thread device_side([&] {
        std::this_thread::sleep_until(began + std::chrono::milliseconds(30));
        device.send(reply);
        sent_at = Clock::now();
    });
    uint8_t frame[frame_capacity];
    port_read(port, frame, frame_capacity);
    const Clock::time_point returned = Clock::now();
    device_side.join();
    return ms_between(sent_at + std::chrono::milliseconds(interval_ms), returned);
}

struct Case {
    const char* name;
    const char* expected;
    double (*measure)(HANDLE port, PtyPeer& device);
};

}  // namespace

int main() {
    PtyPeer device;
    if (!device.ok()) {
        std::fprintf(stderr, "read_latency: no pseudo-terminal\n");
        return 1;
    }
    HANDLE port = port_open(device.slave_path().c_str());
    if (port == INVALID_HANDLE_VALUE || configure_port(port, 115200, interval_ms) != 0) {
        std::fprintf(stderr, "read_latency: could not open %s\n", device.slave_path().c_str());
        return 1;
    }

    const Case cases[] = {
        {"silence", "100 ms after the start", silence},
        {"15 bytes waiting", "20 ms after the start", reply_waiting},
        {"15 bytes at 30 ms", "20 ms after the last byte", reply_mid_read},
    };
    std::printf("port_read return against its expected time, %d reads per case (ms)\n", reads_per_case);
    std::printf("%-18s %-26s %9s %9s\n", "case", "expected return", "median", "worst");
    for (const Case& c : cases) {
        std::vector<double> lateness;
        for (int i = 0; i < reads_per_case; ++i) {
            lateness.push_back(c.measure(port, device));
        }
        std::sort(lateness.begin(), lateness.end());
        const double median = lateness[lateness.size() / 2];
        const double worst =
            std::fabs(lateness.front()) > std::fabs(lateness.back()) ? lateness.front() : lateness.back();
        std::printf("%-18s %-26s %+9.3f %+9.3f\n", c.name, c.expected, median, worst);
    }
    std::printf("target: median within 1 ms, worst within 5 ms\n");
    port_close(port);
    return 0;
}
