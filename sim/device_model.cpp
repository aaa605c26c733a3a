#include "sim/device_model.h"

#include <algorithm>

#include "protocol/crc16_modbus.h"

namespace sim {

namespace {

constexpr uint8_t kErased = 0xFF;

Bytes reply_header(const Request& request) {
    return Bytes(request.frame.begin(), request.frame.begin() + 3);
}

}  // namespace

DeviceModel::DeviceModel() : flash_(kFlashSize, kErased) {}

std::vector<Request> DeviceModel::receive(uint8_t byte) {
    std::vector<Request> requests = parser_.push(byte);
    stats_.frames += requests.size();
    return requests;
}

Bytes DeviceModel::perform(const Request& request) {
    bool is_reset = request.kind == RequestKind::Reset;
    if (!is_reset && !in_flash(request.address(), request.length())) {
        ++stats_.out_of_range;
        return exception_reply(request.unit(), kExceptionIllegalAddress);
    }
    switch (request.kind) {
        case RequestKind::Probe: return probe_reply(request);
        case RequestKind::Block: return block_reply(request);
        case RequestKind::Verify: return verify_reply(request);
        case RequestKind::Reset: return reset_reply(request);
    }
    return {};
}

DeviceStats DeviceModel::stats() const {
    DeviceStats stats = stats_;
    stats.garbage_bytes = parser_.garbage_bytes();
    return stats;
}

Bytes DeviceModel::written_region() const {
    return Bytes(flash_.begin(), flash_.begin() + static_cast<std::ptrdiff_t>(region_end_));
}

bool DeviceModel::flash_matches(const Bytes& image) const {
    return image.size() <= flash_.size() && std::equal(image.begin(), image.end(), flash_.begin());
}

bool DeviceModel::in_flash(uint32_t address, uint64_t length) const {
    return address >= kFlashBase && address - kFlashBase + length <= flash_.size();
}

Bytes DeviceModel::probe_reply(const Request& request) {
    ++stats_.probes;
    Bytes reply = reply_header(request);
    auto first = flash_.begin() + (request.address() - kFlashBase);
    reply.insert(reply.end(), first, first + kProbeLength);
    append_checksum(reply);
    return reply;
}

Bytes DeviceModel::block_reply(const Request& request) {
    ++stats_.blocks;
    uint32_t offset = request.address() - kFlashBase;
    std::copy_n(request.block_data(), request.length(), flash_.begin() + offset);
    region_end_ = std::max<uint64_t>(region_end_, uint64_t{offset} + request.length());
    count_block_order(request.address(), request.length());

    Bytes reply = reply_header(request);
    append_be32(reply, request.address());
    append_be16(reply, static_cast<uint16_t>(request.length()));
    append_checksum(reply);
    return reply;
}

Bytes DeviceModel::verify_reply(const Request& request) {
    ++stats_.verifies;
    uint32_t offset = request.address() - kFlashBase;
    uint16_t crc = crc16_modbus(&flash_[offset], static_cast<int32_t>(request.length()));
    region_end_ = std::max<uint64_t>(region_end_, uint64_t{offset} + request.length());

    Bytes reply = reply_header(request);
    append_be32(reply, request.address());
    append_be32(reply, request.length());
    append_be16(reply, crc);
    append_checksum(reply);
    return reply;
}

Bytes DeviceModel::reset_reply(const Request& request) {
    ++stats_.resets;
    // The device restarts: a new run begins again at the base.
    has_last_block_ = false;
    Bytes reply = reply_header(request);
    append_checksum(reply);
    return reply;
}

void DeviceModel::count_block_order(uint32_t address, uint32_t length) {
    if (has_last_block_ && address == last_block_address_) {
        ++stats_.resends;
    } else {
        uint32_t expected = has_last_block_ ? last_block_address_ + last_block_length_ : kFlashBase;
        if (address != expected) ++stats_.out_of_order;
    }
    has_last_block_ = true;
    last_block_address_ = address;
    last_block_length_ = length;
}

}  // namespace sim
