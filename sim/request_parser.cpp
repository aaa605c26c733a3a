#include "sim/request_parser.h"

namespace sim {

uint32_t Request::length() const {
    switch (kind) {
        case RequestKind::Probe:
        case RequestKind::Verify: return read_be32(&frame[7]);
        case RequestKind::Block: return read_be16(&frame[7]);
        case RequestKind::Reset: return 0;
    }
    return 0;
}

namespace {

RequestKind kind_of(const uint8_t* frame) {
    switch (frame[2]) {
        case kSubcodeBlock: return RequestKind::Block;
        case kSubcodeQuery: return read_be32(&frame[7]) == kProbeLength ? RequestKind::Probe : RequestKind::Verify;
        default: return RequestKind::Reset;
    }
}

}  // namespace

std::vector<Request> RequestParser::push(uint8_t byte) {
    pending_.push_back(byte);
    std::vector<Request> complete;
    while (!pending_.empty()) {
        size_t frame_length = 0;
        Head head = examine_head(frame_length);
        if (head == Head::Incomplete) break;
        if (head == Head::Garbage || !has_valid_checksum(pending_.data(), frame_length)) {
            drop_first_byte();
            continue;
        }
        Request request{kind_of(pending_.data()), Bytes(pending_.begin(), pending_.begin() + frame_length)};
        pending_.erase(pending_.begin(), pending_.begin() + frame_length);
        complete.push_back(std::move(request));
    }
    return complete;
}

RequestParser::Head RequestParser::examine_head(size_t& frame_length) const {
    if (pending_.size() < 3) {
        if (pending_.size() == 2 && pending_[1] != kFunctionCode) return Head::Garbage;
        return Head::Incomplete;
    }
    if (pending_[1] != kFunctionCode) return Head::Garbage;
    switch (pending_[2]) {
        case kSubcodeQuery: frame_length = kQueryFrameLength; break;
        case kSubcodeReset: frame_length = kResetFrameLength; break;
        case kSubcodeBlock: {
            if (pending_.size() < kBlockDataOffset) return Head::Incomplete;
            size_t block_length = read_be16(&pending_[7]);
            if (block_length > kMaxBlockLength) return Head::Garbage;
            frame_length = block_length + kBlockFrameOverhead;
            break;
        }
        default: return Head::Garbage;
    }
    return pending_.size() < frame_length ? Head::Incomplete : Head::Complete;
}

void RequestParser::drop_first_byte() {
    pending_.erase(pending_.begin());
    ++garbage_bytes_;
}

}  // namespace sim
