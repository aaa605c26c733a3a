// A full update of the carried image: dfut-cli in a child process against a
// simulated device in this process that paces the line at 115200 8E1 and takes
// 2 ms to write each block. Prints the run's time against the time its bytes
// need on the wire, and the tool's CPU time. Targets are printed, never enforced.

#include <chrono>
#include <cstdio>
#include <string>

#include "bench/cli_run.h"
#include "bench/wire_time.h"
#include "sim/simulated_device.h"

namespace {

using bench::Clock;
using bench::Seconds;
using bench::kBlockBytes;
using bench::wire_seconds;

constexpr auto kFlashWriteTime = std::chrono::milliseconds(2);
constexpr double kRatioTarget = 1.13;
constexpr double kCpuShareTarget = 0.02;

}  // namespace

int main() {
    sim::DeviceOptions options;
    options.paced = true;
    options.flash_write_time = kFlashWriteTime;
    sim::SimulatedDevice device(options);

    const bench::ChildRun run = bench::run_cli(DFUT_CLI_PROGRAM, device.slave_path());
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
    const bench::WireBytes bytes = bench::wire_bytes(stats);
    const double probe_bytes = bytes.probes;
    const double tail_bytes = bytes.tail;
    const double wire = wire_seconds(bytes.total());
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
                bytes.total());
    std::printf("  ratio total/wire  %8.3f     target at most %.2f\n", total / wire, kRatioTarget);
    std::printf("  dfut-cli CPU      %8.3f s   %.2f %% of wall time, target at most %.0f %%\n", run.cpu.count(),
                100 * cpu_share, 100 * kCpuShareTarget);
    std::printf("  dfut-cli memory   %8.1f MiB peak resident\n", run.peak_memory_kib / 1024.0);
    return 0;
}
