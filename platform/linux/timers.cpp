#include "platform/linux/timers.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/linux/platform_log.h"
#include "platform/linux/window_registry.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
    HWND window;
    UINT_PTR id;
    std::chrono::milliseconds interval;
    TIMERPROC procedure;
    Clock::time_point due;
};

std::vector<Timer> timers;

// What FLTK takes for "wait until something happens".
constexpr double forever_seconds = 1e20;

Timer* find_timer(HWND window, UINT_PTR id) {
    for (Timer& timer : timers) {
        if (timer.window == window && timer.id == id) {
            return &timer;
        }
    }
    return nullptr;
}

}  // namespace

UINT_PTR SetTimer(HWND window, UINT_PTR timer_id, UINT elapse_ms, TIMERPROC timer_proc) {
    platform_log("SetTimer id=%lu ms=%u", static_cast<unsigned long>(timer_id), elapse_ms);
    // Timers belong to windows here; the thread timers of the system are not part of this layer.
    if (window_or_error(window) == nullptr) {
        return 0;
    }
    const std::chrono::milliseconds interval(
        std::clamp<UINT>(elapse_ms, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM));
    const Clock::time_point due = Clock::now() + interval;
    // Setting a timer again replaces it and starts its count afresh.
    if (Timer* timer = find_timer(window, timer_id)) {
        timer->interval = interval;
        timer->procedure = timer_proc;
        timer->due = due;
    } else {
        timers.push_back(Timer{window, timer_id, interval, timer_proc, due});
    }
    return 1;
}

BOOL KillTimer(HWND window, UINT_PTR timer_id) {
    platform_log("KillTimer id=%lu", static_cast<unsigned long>(timer_id));
    const auto end = std::remove_if(timers.begin(), timers.end(), [&](const Timer& timer) {
        return timer.window == window && timer.id == timer_id;
    });
    const bool found = end != timers.end();
    timers.erase(end, timers.end());
    return found;
}

void kill_window_timers(HWND window) {
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& timer) { return timer.window == window; }),
                 timers.end());
}

bool take_due_timer(MSG* message) {
    const Clock::time_point now = Clock::now();
    Timer* first = nullptr;
    for (Timer& timer : timers) {
        if (timer.due <= now && (first == nullptr || timer.due < first->due)) {
            first = &timer;
        }
    }
    if (first == nullptr) {
        return false;
    }
    *message = MSG{first->window, WM_TIMER, first->id, reinterpret_cast<LPARAM>(first->procedure),
                   GetTickCount(), POINT{0, 0}};
    // The next count runs from this one's due time; falls that were missed
    // meanwhile are not made up for.
    first->due += first->interval;
    if (first->due <= now) {
        first->due = now + first->interval;
    }
    return true;
}

double seconds_until_next_timer() {
    if (timers.empty()) {
        return forever_seconds;
    }
    Clock::time_point next = timers.front().due;
    for (const Timer& timer : timers) {
        next = std::min(next, timer.due);
    }
    const std::chrono::duration<double> left = next - Clock::now();
    return std::max(0.0, left.count());
}
