#include <cerrno>
#include <ctime>

#include "platform/linux/test_hooks.h"
#include "platform/win32.h"

namespace {

uint32_t monotonic_tick() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);  // wraps after 2^32 ms, like the system's count
}

void real_sleep(uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

dfut_platform::TickSource tick_source = monotonic_tick;
dfut_platform::SleepAction sleep_action = real_sleep;

}  // namespace

void dfut_platform::set_clock(TickSource source, SleepAction action) {
    tick_source = source ? source : monotonic_tick;
    sleep_action = action ? action : real_sleep;
}

DWORD GetTickCount(void) {
    return tick_source();
}

void Sleep(DWORD milliseconds) {
    sleep_action(milliseconds);
}
