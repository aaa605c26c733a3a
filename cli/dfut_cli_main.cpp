// dfut-cli: the update without a window, for scripted production use and as the
// driver of end-to-end tests. It runs the same job record, image and state
// machine as the window, ticked the same way, and writes the same trace.
//
//   dfut-cli [--timeout SECONDS] PORT
//
// Exit status: 0 completed, 1 the device's CRC differed, 2 could not start
// (bad arguments, no image, the port does not open), 3 --timeout passed first.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/port_argument.h"
#include "cli/progress_line.h"
#include "common/status.h"
#include "common/trace.h"
#include "job/firmware_image.h"
#include "job/state_machine.h"
#include "protocol/serial_link.h"

namespace {

enum ExitStatus { COMPLETED = 0, CRC_FAILED = 1, NOT_STARTED = 2, TIMED_OUT = 3 };

constexpr int32_t BAUD_RATE = 115200;
constexpr uint32_t READ_INTERVAL_MS = 20;
constexpr DWORD TICK_INTERVAL_MS = 10;

int usage(const char* message) {
    std::fprintf(stderr, "dfut-cli: %s\nusage: dfut-cli [--timeout SECONDS] PORT\n"
                         "  PORT is comN, \\\\.\\comN or a serial device path\n",
                 message);
    return NOT_STARTED;
}

struct Arguments {
    std::string port;
    double timeout_seconds = 0;  // 0: none
};

bool parse_arguments(int argc, char** argv, Arguments& args, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--timeout") == 0) {
            char* end = nullptr;
            args.timeout_seconds = i + 1 < argc ? std::strtod(argv[++i], &end) : 0;
            if (end == nullptr || *end != '\0' || !(args.timeout_seconds > 0)) {
                error = "--timeout needs a positive number of seconds";
                return false;
            }
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            error = std::string("unknown option ") + argv[i];
            return false;
        } else if (args.port.empty()) {
            args.port = argv[i];
        } else {
            error = "only one PORT";
            return false;
        }
    }
    if (args.port.empty()) {
        error = "no PORT given";
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    std::string error;
    if (!parse_arguments(argc, argv, args, error)) {
        return usage(error.c_str());
    }

    static UpdateJob job;
    init_update_job(job);
    load_firmware_image(job);
    if (job.image == nullptr) {
        std::fprintf(stderr, "dfut-cli: this program carries no firmware image\n");
        return NOT_STARTED;
    }

    const std::string path = port_path_for(args.port);
    job.port_path = path.c_str();
    job.baud_rate = BAUD_RATE;
    trace(" . Opening serial port %s at %ld baud\n", job.port_path, static_cast<long>(job.baud_rate));
    job.port = port_open(job.port_path);
    if (job.port == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        std::fflush(stdout);
        std::fprintf(stderr, "dfut-cli: cannot open %s: %s (error %lu)\n", job.port_path,
                     code == ERROR_ACCESS_DENIED ? "in use already" : "not present",
                     static_cast<unsigned long>(code));
        return NOT_STARTED;
    }
    configure_port(job.port, job.baud_rate, READ_INTERVAL_MS);
    job.state = Start;
    set_status("Contacting Device...");

    ProgressLine progress(stderr);
    const bool show_progress = isatty(STDERR_FILENO);
    const auto started = std::chrono::steady_clock::now();
    const auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(args.timeout_seconds));
    for (;;) {
        job_tick(job);
        if (show_progress) {
            progress.update(job);
        }
        if (job.state == Completed) {
            set_status("Programming Completed");
            port_close(job.port);
            progress.finish();
            return COMPLETED;
        }
        if (job.state == Failed) {
            progress.finish();
            return CRC_FAILED;
        }
        if (args.timeout_seconds > 0 && std::chrono::steady_clock::now() >= deadline) {
            std::fflush(stdout);
            progress.finish();
            std::fprintf(stderr, "dfut-cli: no completed update within %g s (status: %s)\n",
                         args.timeout_seconds, status_text);
            return TIMED_OUT;
        }
        Sleep(TICK_INTERVAL_MS);
    }
}
