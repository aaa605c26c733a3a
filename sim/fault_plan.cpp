#include "sim/fault_plan.h"

namespace sim {

FaultPlan::FaultPlan(const FaultOptions& options)
    : options_(options), random_(options.seed), noise_bursts_left_(options.noise_bursts) {}

PlannedReply FaultPlan::plan(RequestKind kind, Bytes reply) {
    PlannedReply planned;
    const bool delayed_block = kind == RequestKind::Block && ++blocks_planned_ == options_.delay_block;
    if (kind == RequestKind::Probe && noise_bursts_left_ > 0) {
        --noise_bursts_left_;
        planned.first = noise(options_.noise_burst_bytes);
        return planned;
    }
    if (strikes(options_.drop)) return planned;

    if (kind == RequestKind::Verify) {
        ++verifies_planned_;
        const bool wrong_crc = options_.wrong_verify_crc &&
                               (options_.wrong_verify_crcs == 0 || verifies_planned_ <= options_.wrong_verify_crcs);
        if (wrong_crc && reply.size() == kVerifyReplyLength) {
            reply[kVerifyCrcOffset] ^= 0xFF;
            reply.resize(reply.size() - 2);
            append_checksum(reply);
        }
    } else if (strikes(options_.exception)) {
        reply = exception_reply(reply[0], kExceptionIllegalFunction);
    }
    if (strikes(options_.corrupt)) {
        // One changed byte is always caught by the checksum.
        size_t position = random_() % reply.size();
        reply[position] ^= static_cast<uint8_t>(1 + random_() % 255);
    }
    if (strikes(options_.split)) {
        size_t half = reply.size() / 2;
        planned.second.assign(reply.begin() + static_cast<std::ptrdiff_t>(half), reply.end());
        reply.resize(half);
    }
    if (strikes(options_.delay) || delayed_block) planned.delay = options_.delay_time;
    planned.first = std::move(reply);
    return planned;
}

bool FaultPlan::strikes(double probability) {
    if (probability <= 0) return false;
    // 53 random bits make a uniform double in [0, 1), the same on every platform.
    double draw = static_cast<double>(random_() >> 11) * 0x1.0p-53;
    return draw < probability;
}

Bytes FaultPlan::noise(size_t count) {
    Bytes bytes(count);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random_());
    return bytes;
}

}  // namespace sim
