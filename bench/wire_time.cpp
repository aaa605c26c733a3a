// wire_time < SUMMARY: the wire time of the update that a dfut-sim summary
// (what it prints on exit) counts, as "SECONDS BYTES", for the benchmark scripts.

#include <cstdio>
#include <iostream>
#include <string>

#include "bench/wire_time.h"

int main() {
    sim::DeviceStats stats;
    int counts_found = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        const size_t colon = line.find(": ");
        if (colon == std::string::npos) continue;
        const std::string name = line.substr(0, colon);
        uint64_t* count = name == "probes"     ? &stats.probes
                          : name == "blocks"   ? &stats.blocks
                          : name == "verifies" ? &stats.verifies
                          : name == "resets"   ? &stats.resets
                                               : nullptr;
        if (count == nullptr) continue;
        *count = std::stoull(line.substr(colon + 2));
        ++counts_found;
    }
    if (counts_found != 4) {
        std::fprintf(stderr, "wire_time: not a dfut-sim summary on standard input\n");
        return 1;
    }
    const double bytes = bench::wire_bytes(stats).total();
    std::printf("%.6f %.0f\n", bench::wire_seconds(bytes), bytes);
    return 0;
}
