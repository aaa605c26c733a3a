#include "ui/main_window_proc.h"

#include "common/control_ids.h"
#include "common/status.h"
#include "common/trace.h"
#include "job/state_machine.h"
#include "protocol/serial_link.h"
#include "ui/fatal_error.h"
#include "ui/port_discovery.h"

HINSTANCE app_instance;
UpdateJob update_job;

namespace {

constexpr UINT TICK_INTERVAL_MS = 10;
// Set while a tick runs, so that a long tick cannot queue the next one.
constexpr UINT GUARD_INTERVAL_MS = 10000;
constexpr int32_t LINE_SPEED = 115200;
constexpr uint32_t READ_INTERVAL_MS = 20;
constexpr DWORD COMPLETION_BEEP_HZ = 2000;
constexpr DWORD COMPLETION_BEEP_MS = 100;

void close_held_port() {
    if (update_job.port != INVALID_HANDLE_VALUE) {
        port_close(update_job.port);
        update_job.port = INVALID_HANDLE_VALUE;
    }
}

void start_run(HWND window) {
    const char* path = chosen_port_path(GetDlgItem(window, PORT_LIST_ID));
    if (path == nullptr) {
        set_status("No serial port selected");
        return;
    }
    // A port still held by an earlier run (under way, or failed) would make
    // the exclusive open of the same port fail; the new run replaces that run.
    close_held_port();

    update_job.port_path = path;
    update_job.baud_rate = LINE_SPEED;
    trace(" . Opening serial port %s at %ld baud\n", update_job.port_path, static_cast<long>(update_job.baud_rate));
    update_job.port = port_open(update_job.port_path);
    if (update_job.port == INVALID_HANDLE_VALUE) {
        fatal_error("Unable to open serial port. In use already, or not present");
    }
    configure_port(update_job.port, update_job.baud_rate, READ_INTERVAL_MS);
    update_job.state = Start;
    set_status("Contacting Device...");
    SetTimer(window, TICK_TIMER_ID, TICK_INTERVAL_MS, nullptr);
}

void tick(HWND window) {
    SetTimer(window, TICK_TIMER_ID, GUARD_INTERVAL_MS, nullptr);
    job_tick(update_job);
    // Setting the timer again restarts its count: the next tick falls due
    // 10 ms after this one ended, however long it took.
    SetTimer(window, TICK_TIMER_ID, TICK_INTERVAL_MS, nullptr);
    if (update_job.state == Completed) {
        KillTimer(window, TICK_TIMER_ID);
        Beep(COMPLETION_BEEP_HZ, COMPLETION_BEEP_MS);
        set_status("Programming Completed");
        close_held_port();
    }
}

}  // namespace

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == UPDATE_BUTTON_ID) {
            start_run(window);
            return 0;
        }
        break;
    case WM_TIMER:
        if (wparam == TICK_TIMER_ID) {
            tick(window);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
