#pragma once

// The time an update's frames need on a 115200 baud 8E1 line, counted from
// what the simulated device received.

#include "sim/device_model.h"

namespace bench {

constexpr double kBaud = 115200;
constexpr double kBitsPerCharacter = 11;  // start, 8 data, even parity, stop

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

// Bytes both ways, by phase of the update.
struct WireBytes {
    double probes;
    double blocks;
    double tail;  // verify and reset

    double total() const { return probes + blocks + tail; }
};

inline WireBytes wire_bytes(const sim::DeviceStats& stats) {
    return {kProbeBytes * static_cast<double>(stats.probes), kBlockBytes * static_cast<double>(stats.blocks),
            kVerifyBytes * static_cast<double>(stats.verifies) + kResetBytes * static_cast<double>(stats.resets)};
}

inline double wire_seconds(double bytes) { return bytes * kBitsPerCharacter / kBaud; }

}  // namespace bench
