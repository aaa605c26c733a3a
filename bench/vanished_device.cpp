// A device that vanishes in the middle of a run: the simulated device hangs up
// its line after a few blocks, and dfut-cli goes on as it must, resending and
// waiting, until its --timeout. Prints the tool's processor share while it
// waits on the dead line. The target is printed, never enforced.

#include <cstdio>

#include "bench/cli_run.h"
#include "sim/simulated_device.h"

namespace {

constexpr double kRunSeconds = 15;
constexpr double kCpuShareTarget = 0.02;
constexpr int kTimedOut = 3;

}  // namespace

int main() {
    sim::DeviceOptions options;
    options.faults.die_after_blocks = 5;
    sim::SimulatedDevice device(options);

    const bench::ChildRun run = bench::run_cli(DFUT_CLI_PROGRAM, device.slave_path(), kRunSeconds);
    if (run.status != kTimedOut || !device.hung_up()) {
        std::fprintf(stderr, "vanished_device: expected the device to hang up and dfut-cli to time out (status %d)\n",
                     run.status);
        return 1;
    }
    const double wall = bench::Seconds(run.wall).count();
    std::printf("dfut-cli on a line whose device hung up after 5 blocks, until --timeout %.0f s\n", kRunSeconds);
    std::printf("  wall time         %8.3f s\n", wall);
    std::printf("  dfut-cli CPU      %8.3f s   %.2f %% of wall time, target under %.0f %%\n", run.cpu.count(),
                100 * run.cpu.count() / wall, 100 * kCpuShareTarget);
    return 0;
}
