#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The byte layouts the simulated device understands and answers with. Requests
// and replies have the Modbus RTU shape: unit address, function code, sub-code,
// big-endian fields, then the CRC-16/MODBUS of everything before it, low byte first.
namespace sim {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFlashBase = 0x08004000;

constexpr uint8_t kFunctionCode = 0x2B;
// The function code with its high bit set, as in a Modbus exception response.
constexpr uint8_t kExceptionFunctionCode = 0xAB;
constexpr uint8_t kSubcodeBlock = 0xF5;
constexpr uint8_t kSubcodeQuery = 0xF6;
constexpr uint8_t kSubcodeReset = 0xF7;

constexpr uint8_t kExceptionIllegalFunction = 0x01;
constexpr uint8_t kExceptionIllegalAddress = 0x02;

constexpr size_t kQueryFrameLength = 13;
constexpr size_t kResetFrameLength = 5;
// A block frame is its data plus this many bytes of header and checksum.
constexpr size_t kBlockFrameOverhead = 11;
constexpr size_t kBlockDataOffset = 9;
// Longer block headers are taken for garbage, so that a corrupt length cannot
// make the device swallow the frames that follow.
constexpr size_t kMaxBlockLength = 1024;

// A query for this many bytes is the link probe; any other length asks for a CRC.
constexpr uint32_t kProbeLength = 4;

// The verify reply carries the region's CRC here, high byte first, and ends in
// its own checksum.
constexpr size_t kVerifyCrcOffset = 11;
constexpr size_t kVerifyReplyLength = 15;

enum class RequestKind { Probe, Verify, Block, Reset };

void append_be16(Bytes& frame, uint16_t value);
void append_be32(Bytes& frame, uint32_t value);
uint16_t read_be16(const uint8_t* bytes);
uint32_t read_be32(const uint8_t* bytes);

// Appends the checksum of every byte already in the frame.
void append_checksum(Bytes& frame);
// Whether the last two bytes are the checksum of the bytes before them.
bool has_valid_checksum(const uint8_t* frame, size_t length);

// The reply a Modbus device gives to a request it refuses: unit, 0xAB, code, checksum.
Bytes exception_reply(uint8_t unit, uint8_t code);

}  // namespace sim
