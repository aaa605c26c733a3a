// dfut-sim: the simulated device as a program, for trying the tool by hand and
// for tests that run it as a separate process.
#include <signal.h>

#include <cinttypes>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include "protocol/crc16_modbus.h"
#include "sim/sim_command_line.h"
#include "sim/simulated_device.h"

namespace {

// Until SIGINT or SIGTERM, or until the device has died as asked.
void serve_until_stopped(const sim::SimulatedDevice& device, const sigset_t& stop_signals) {
    const timespec poll_interval{0, 100'000'000};
    while (sigtimedwait(&stop_signals, nullptr, &poll_interval) < 0) {
        if (device.hung_up()) return;
    }
}

void print_summary(const sim::DeviceStats& stats, const sim::Bytes& written, bool hung_up) {
    std::printf("frames: %" PRIu64 "\n", stats.frames);
    std::printf("probes: %" PRIu64 "\n", stats.probes);
    std::printf("blocks: %" PRIu64 "\n", stats.blocks);
    std::printf("resends: %" PRIu64 "\n", stats.resends);
    std::printf("out of order: %" PRIu64 "\n", stats.out_of_order);
    std::printf("verifies: %" PRIu64 "\n", stats.verifies);
    std::printf("resets: %" PRIu64 "\n", stats.resets);
    std::printf("out of range: %" PRIu64 "\n", stats.out_of_range);
    std::printf("garbage bytes: %" PRIu64 "\n", stats.garbage_bytes);
    std::printf("unheard bytes: %" PRIu64 "\n", stats.unheard_bytes);
    std::printf("hung up: %s\n", hung_up ? "yes" : "no");
    std::printf("written: %zu bytes from 0x%08x, CRC 0x%04x\n", written.size(), sim::kFlashBase,
                crc16_modbus(written.data(), static_cast<int32_t>(written.size())));
    std::fflush(stdout);
}

bool save_flash(const std::string& path, const sim::Bytes& written) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool saved = std::fwrite(written.data(), 1, written.size(), file) == written.size();
    return std::fclose(file) == 0 && saved;
}

}  // namespace

int main(int argc, char** argv) {
    sim::SimCommandLine line;
    try {
        line = sim::parse_sim_command_line(argc - 1, argv + 1);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "dfut-sim: %s\nTry 'dfut-sim --help'.\n", error.what());
        return 2;
    }
    if (line.help) {
        std::fputs(sim::kSimUsage, stdout);
        return 0;
    }

    // Blocked before the serving thread starts, so that only sigtimedwait takes them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    try {
        sim::SimulatedDevice device(line.device);
        if (!line.link_path.empty()) device.link(line.link_path);
        std::printf("%s\n", device.slave_path().c_str());
        std::fflush(stdout);

        serve_until_stopped(device, stop_signals);
        device.stop();
        sim::Bytes written = device.written_flash();
        print_summary(device.stats(), written, device.hung_up());
        if (!line.flash_out.empty() && !save_flash(line.flash_out, written)) {
            std::perror(("dfut-sim: " + line.flash_out).c_str());
            return 1;
        }
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "dfut-sim: %s\n", error.what());
        return 1;
    }
    return 0;
}
