// A full update of the carried image: dfut-cli in a child process against a
// simulated device in this process that paces the line at 115200 8E1 and takes
// 2 ms to write each block. Prints the run's time against the time its bytes
// need on the wire, and the tool's CPU time. Targets are printed, never enforced.

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/simulated_device.h"

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr double kBaud = 115200;
constexpr double kBitsPerCharacter = 11;  // start, 8 data, even parity, stop
constexpr auto kFlashWriteTime = std::chrono::milliseconds(2);
constexpr double kRatioTarget = 1.13;
constexpr double kCpuShareTarget = 0.02;

// Frame lengths in bytes. Requests: a query (link probe or verify) carries
// address and length, a block its 1024 data bytes and a 6-byte header, a reset
// nothing. Replies of the simulated device: a probe is answered with the 4
// bytes asked for, a block with its address and length, a verify query with
// address, length and CRC, a reset with the bare header. Every frame has the
// 3-byte header and the 2-byte checksum.
constexpr double kProbeBytes = 13 + 9;
constexpr double kBlockBytes = 1024 + 11 + 11;
constexpr double kVerifyBytes = 13 + 15;
constexpr double kResetBytes = 5 + 5;

double wire_seconds(double bytes) { return bytes * kBitsPerCharacter / kBaud; }

// The child's standard output, with the time at which each piece came in.
struct TimedOutput {
    std::string text;
    std::vector<std::pair<size_t, Clock::time_point>> pieces;  // end of each piece, time it came

    // When the byte at `position` came in.
    Clock::time_point arrival(size_t position) const {
        for (const auto& piece : pieces) {
            if (position < piece.first) return piece.second;
        }
        return pieces.empty() ? Clock::time_point{} : pieces.back().second;
    }
};

struct ChildRun {
    int status = -1;
    Clock::time_point started{};
    Clock::duration wall{};
    Seconds cpu{};
    TimedOutput output;
};

Seconds seconds_of(const timeval& time) { return Seconds(time.tv_sec + time.tv_usec / 1e6); }

ChildRun run_cli(const std::string& port) {
    int out_pipe[2];
    if (pipe(out_pipe) != 0) return {};
    ChildRun run;
    run.started = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        close(out_pipe[0]);
        close(out_pipe[1]);
        execl(DFUT_CLI_PROGRAM, DFUT_CLI_PROGRAM, port.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out_pipe[1]);
    char chunk[4096];
    ssize_t count;
    while (pid > 0 && (count = read(out_pipe[0], chunk, sizeof chunk)) != 0) {
        if (count < 0) {
            if (errno == EINTR) continue;
            break;
        }
        run.output.text.append(chunk, static_cast<size_t>(count));
        run.output.pieces.emplace_back(run.output.text.size(), Clock::now());
    }
    close(out_pipe[0]);
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        run.wall = Clock::now() - run.started;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.cpu = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
    }
    return run;
}

}  // namespace

int main() {
    sim::DeviceOptions options;
    options.paced = true;
    options.flash_write_time = kFlashWriteTime;
    sim::SimulatedDevice device(options);

    const ChildRun run = run_cli(device.slave_path());
    device.stop();
    if (run.status != 0) {
        std::fprintf(stderr, "full_update: dfut-cli ended with status %d\n%s", run.status, run.output.text.c_str());
        return 1;
    }

    // The update's phases, told by the trace, which is flushed at each block's start and acknowledgement.
    const std::string& trace = run.output.text;
    const Clock::time_point linked = run.output.arrival(trace.find("PROG ADDR"));
    const Clock::time_point programmed = run.output.arrival(trace.rfind("- OK\n"));

    const sim::DeviceStats stats = device.stats();
    const double probe_bytes = kProbeBytes * stats.probes;
    const double block_bytes = kBlockBytes * stats.blocks;
    const double tail_bytes = kVerifyBytes * stats.verifies + kResetBytes * stats.resets;
    const double wire = wire_seconds(probe_bytes + block_bytes + tail_bytes);
    const double total = Seconds(run.wall).count();
    const double blocks = static_cast<double>(stats.blocks);
    const double per_block = Seconds(programmed - linked).count() / blocks;
    const double cpu_share = run.cpu.count() / total;

    std::printf("full update with dfut-cli, device paced at 115200 8E1, %lld ms flash write per block\n",
                static_cast<long long>(kFlashWriteTime.count()));
    std::printf("  total time        %8.3f s   fork to exit\n", total);
    std::printf("    until linked    %8.3f s   %llu probes, wire %.1f ms\n", Seconds(linked - run.started).count(),
                static_cast<unsigned long long>(stats.probes), 1e3 * wire_seconds(probe_bytes));
    std::printf("    programming     %8.3f s   %llu blocks (%llu resent)\n", Seconds(programmed - linked).count(),
                static_cast<unsigned long long>(stats.blocks), static_cast<unsigned long long>(stats.resends));
    std::printf("    verify, reset   %8.3f s   wire %.1f ms\n", Seconds(run.started + run.wall - programmed).count(),
                1e3 * wire_seconds(tail_bytes));
    std::printf("  time per block    %8.2f ms  wire %.2f ms + flash write %lld ms, ratio %.3f\n", 1e3 * per_block,
                1e3 * wire_seconds(kBlockBytes), static_cast<long long>(kFlashWriteTime.count()),
                per_block / wire_seconds(kBlockBytes));
    std::printf("  wire time         %8.3f s   %.0f bytes both ways at 11 bits a character\n", wire,
                probe_bytes + block_bytes + tail_bytes);
    std::printf("  ratio total/wire  %8.3f     target at most %.2f\n", total / wire, kRatioTarget);
    std::printf("  dfut-cli CPU      %8.3f s   %.2f %% of wall time, target at most %.0f %%\n", run.cpu.count(),
                100 * cpu_share, 100 * kCpuShareTarget);
    return 0;
}
