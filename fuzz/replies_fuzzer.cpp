// The reply side of an update. The input chooses the image size and the clock's
// start, then tick by tick how far the clock moves and what the one read of the
// tick returns: silence, raw bytes, a frame with a good checksum, the verify
// reply that carries the image's CRC, or the last request read back. The job
// runs whole updates over the scripted port with a stepped clock, and after
// every tick its state, progress and the frames it wrote are checked against
// the transitions of the update.
//
// Input: [blocks] [tail: 2] [clock start: 4] then per tick [control] [reply bytes...]
//   control bits 0-2: the clock step (CLOCK_STEPS); bits 3-7: the reply (ReplyKind, modulo)

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "fuzz/fuzz_check.h"
#include "job/state_machine.h"
#include "platform/linux/test_hooks.h"
#include "protocol/crc16_modbus.h"
#include "protocol/frames.h"
#include "protocol/serial_link.h"

namespace {

constexpr char PORT_NAME[] = "scripted";
constexpr uint32_t CLOCK_STEPS[8] = {0, 1, 10, 90, 100, 101, 5000, 5001};
constexpr uint32_t LINK_LIMIT_MS = 100;
constexpr uint32_t RESET_LIMIT_MS = 100;
constexpr uint32_t LINKED_LIMIT_MS = 5000;
// Longer than the buffer, so that reads that fill it are reached too.
constexpr uint32_t LONGEST_REPLY = FRAME_CAPACITY + 200;
// The device's CRC is taken from bytes 11 and 12; shorter replies are ignored.
constexpr int32_t VERIFY_REPLY_MIN_LEN = 13;

enum ReplyKind : uint8_t {
    SILENCE,
    RAW_BYTES,         // [count: 1] bytes
    LONG_RAW_BYTES,    // [count: 2] bytes
    CHECKED_FRAME,     // [count: 1] bytes, then their checksum
    MATCHING_VERIFY,   // a verify reply with the image's CRC in bytes 11 and 12
    REQUEST_ECHO,      // the last frame written, read back from the line
    REPLY_KINDS
};

// The input, read from the front; past its end every byte reads as 0.
struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

bool exhausted(const Input& in) {
    return in.pos >= in.size;
}

uint8_t take_byte(Input& in) {
    return exhausted(in) ? 0 : in.data[in.pos++];
}

uint16_t take_u16(Input& in) {
    const uint16_t low = take_byte(in);
    return static_cast<uint16_t>(low | (take_byte(in) << 8));
}

uint32_t take_u32(Input& in) {
    const uint32_t low = take_u16(in);
    return low | (static_cast<uint32_t>(take_u16(in)) << 16);
}

// Copies up to count input bytes to out; returns how many there were.
uint32_t take_bytes(Input& in, uint8_t* out, uint32_t count) {
    const size_t left = in.size - in.pos;
    const uint32_t taken = left < count ? static_cast<uint32_t>(left) : count;
    std::memcpy(out, in.data + in.pos, taken);
    in.pos += taken;
    return taken;
}

bool has_good_checksum(const uint8_t* bytes, uint32_t count) {
    if (count < 4) {
        return false;
    }
    const uint16_t stored = static_cast<uint16_t>(bytes[count - 2] | (bytes[count - 1] << 8));
    return crc16_modbus(bytes, static_cast<int32_t>(count - 2)) == stored;
}

void append_checksum(uint8_t* bytes, uint32_t count) {
    const uint16_t checksum = crc16_modbus(bytes, static_cast<int32_t>(count));
    bytes[count] = static_cast<uint8_t>(checksum);
    bytes[count + 1] = static_cast<uint8_t>(checksum >> 8);
}

uint32_t read_be32(const uint8_t* at) {
    return (static_cast<uint32_t>(at[0]) << 24) | (static_cast<uint32_t>(at[1]) << 16) |
           (static_cast<uint32_t>(at[2]) << 8) | at[3];
}

// Everything the harness knows about the run, shared with the port script and
// the clock, which take no argument.
struct Harness {
    UpdateJob job;
    uint16_t image_crc;
    uint32_t now;
    // The reply that this tick's read returns.
    uint8_t reply[LONGEST_REPLY];
    uint32_t reply_len;
    // What happened on the port during this tick.
    int reads;
    int writes;
    uint32_t delivered;
    bool delivered_valid;
    uint16_t delivered_device_crc;
    uint8_t last_written[FRAME_CAPACITY];
    uint32_t last_written_len;
};

Harness harness;

uint32_t stepped_tick() {
    return harness.now;
}

void stepped_sleep(uint32_t milliseconds) {
    harness.now += milliseconds;
}

uint32_t scripted_read(void*, uint8_t* buffer, uint32_t capacity) {
    ++harness.reads;
    const uint32_t count = harness.reply_len < capacity ? harness.reply_len : capacity;
    std::memcpy(buffer, harness.reply, count);
    harness.delivered = count;
    harness.delivered_valid = has_good_checksum(buffer, count);
    harness.delivered_device_crc =
        count >= VERIFY_REPLY_MIN_LEN ? static_cast<uint16_t>(buffer[11] << 8 | buffer[12]) : 0;
    return count;
}

// A block frame must be the block at the job's offset, whole and unaltered.
void check_block_frame(const uint8_t* frame, uint32_t count) {
    const UpdateJob& job = harness.job;
    require(job.block_len > 0 && job.block_len <= BLOCK_SIZE, "a block is 1 to 1024 bytes long");
    require(job.offset >= 0 && job.offset <= job.image_size - job.block_len, "a block lies inside the image");
    require(count == static_cast<uint32_t>(job.block_len) + 11, "a block frame is block_len + 11 bytes long");
    require(read_be32(frame + 3) == job.flash_base + static_cast<uint32_t>(job.offset),
            "a block goes to flash_base + offset");
    require((frame[7] << 8 | frame[8]) == job.block_len, "a block frame carries block_len");
    require(std::memcmp(frame + 9, job.image + job.offset, static_cast<size_t>(job.block_len)) == 0,
            "a block frame carries the image bytes at its address");
}

void scripted_write(void*, const uint8_t* data, uint32_t count) {
    ++harness.writes;
    require(count <= FRAME_CAPACITY, "a written frame fits the frame buffer");
    require(has_good_checksum(data, count) || count == 0, "every written frame ends in its checksum");
    if (count >= 3 && data[2] == SUBCODE_PROGRAM_BLOCK) {
        check_block_frame(data, count);
    }
    std::memcpy(harness.last_written, data, count);
    harness.last_written_len = count;
}

// Fills harness.reply with what the coming tick's read returns.
void prepare_reply(Input& in, uint8_t kind) {
    uint8_t* reply = harness.reply;
    switch (kind % REPLY_KINDS) {
    case SILENCE:
        harness.reply_len = 0;
        break;
    case RAW_BYTES:
        harness.reply_len = take_bytes(in, reply, take_byte(in));
        break;
    case LONG_RAW_BYTES:
        harness.reply_len = take_bytes(in, reply, take_u16(in) % (LONGEST_REPLY + 1));
        break;
    case CHECKED_FRAME: {
        const uint32_t count = take_bytes(in, reply, take_byte(in));
        append_checksum(reply, count);
        harness.reply_len = count + 2;
        break;
    }
    case MATCHING_VERIFY: {
        const uint8_t head[11] = {0x04, 0x2B, SUBCODE_QUERY, 0x08, 0x00, 0x40, 0x00, 0x00, 0x00, 0x00, 0x00};
        std::memcpy(reply, head, sizeof head);
        reply[11] = static_cast<uint8_t>(harness.image_crc >> 8);
        reply[12] = static_cast<uint8_t>(harness.image_crc);
        append_checksum(reply, 13);
        harness.reply_len = 15;
        break;
    }
    case REQUEST_ECHO:
        std::memcpy(reply, harness.last_written, harness.last_written_len);
        harness.reply_len = harness.last_written_len;
        break;
    }
}

struct JobSnapshot {
    JobState state;
    int32_t offset;
    int32_t block_len;
    uint32_t sent_at;
    uint32_t reply_timeout;
};

JobSnapshot snapshot(const UpdateJob& job) {
    return JobSnapshot{job.state, job.offset, job.block_len, job.sent_at, job.reply_timeout};
}

bool is_waiting_state(JobState state) {
    return state == Linking || state == Programming || state == Verifying || state == Resetting;
}

// What one tick may do, by the transitions of the update: the state it ends
// in, the progress it makes and how many frames it sends and reads.
struct Expected {
    JobState state;
    int32_t offset;
    int32_t block_len;
    int reads;
    int writes;
};

Expected expected_after_tick(const JobSnapshot& before, uint32_t elapsed) {
    const UpdateJob& job = harness.job;
    Expected expected{before.state, before.offset, before.block_len, 0, 0};
    switch (before.state) {
    case Start:
        expected = Expected{Contact, 0, BLOCK_SIZE, 0, 0};
        return expected;
    case Contact:
        expected.state = Linking;
        expected.writes = 1;
        return expected;
    default:
        break;
    }
    if (!is_waiting_state(before.state)) {
        return expected;  // Failed and Completed do nothing at all
    }

    expected.reads = 1;
    const uint32_t limit = before.state == Resetting ? RESET_LIMIT_MS : before.reply_timeout;
    if (elapsed > limit) {
        expected.writes = 1;  // the outstanding frame again, before the read
    }
    if (!harness.delivered_valid) {
        return expected;
    }
    switch (before.state) {
    case Linking:
        expected.state = Programming;
        expected.writes += 1;
        break;
    case Programming:
        expected.offset = before.offset + before.block_len;
        expected.writes += 1;
        if (expected.offset < job.image_size) {
            expected.state = Programming;
            if (job.image_size - expected.offset < expected.block_len) {
                expected.block_len = job.image_size - expected.offset;
            }
        } else {
            expected.state = Verifying;
        }
        break;
    case Verifying:
        if (harness.delivered >= static_cast<uint32_t>(VERIFY_REPLY_MIN_LEN)) {
            if (harness.delivered_device_crc == harness.image_crc) {
                expected.state = Resetting;
                expected.writes += 1;
            } else {
                expected.state = Failed;
            }
        }
        break;
    case Resetting:
        expected.state = Completed;
        break;
    default:
        break;
    }
    return expected;
}

void check_tick(const JobSnapshot& before, uint32_t elapsed) {
    const UpdateJob& job = harness.job;
    require(job.offset >= 0 && job.offset <= job.image_size, "offset stays within the image");
    require(job.frame_len >= 0 && static_cast<uint32_t>(job.frame_len) <= job.frame_capacity,
            "frame_len never exceeds frame_capacity");
    require(harness.reads <= 1, "a tick reads at most once");

    const Expected expected = expected_after_tick(before, elapsed);
    require(job.state == expected.state, "the state changes only along the transitions of the update");
    require(job.offset == expected.offset,
            "offset moves only by a valid reply in Programming, by exactly block_len");
    require(job.block_len == expected.block_len, "block_len shrinks only to the image's remainder");
    require(harness.reads == expected.reads, "every waiting tick reads once, and no other tick reads");
    require(harness.writes == expected.writes,
            "a frame goes out only on entering a state or after the reply limit has passed");
    if (before.state == Start) {
        require(job.reply_timeout == LINK_LIMIT_MS, "a run starts with the 100 ms link reply limit");
    }
    if (before.state == Linking && job.state == Programming) {
        require(job.reply_timeout == LINKED_LIMIT_MS, "the link raises the reply limit to 5000 ms");
    }
}

void tick(Input& in) {
    const uint8_t control = take_byte(in);
    harness.now += CLOCK_STEPS[control & 7];
    prepare_reply(in, static_cast<uint8_t>(control >> 3));

    const JobSnapshot before = snapshot(harness.job);
    const uint32_t elapsed = harness.now - before.sent_at;
    harness.reads = 0;
    harness.writes = 0;
    harness.delivered = 0;
    harness.delivered_valid = false;
    job_tick(harness.job);
    check_tick(before, elapsed);
}

// As a press of "Update Device" does: the port opened and set up, the job in Start.
void start_run() {
    UpdateJob& job = harness.job;
    job.port = port_open(PORT_NAME);
    require(job.port != INVALID_HANDLE_VALUE, "the scripted port opens");
    configure_port(job.port, 115200, 20);
    job.state = Start;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The trace would drown libFuzzer's own report.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        return 1;
    }
    dfut_platform::set_clock(stepped_tick, stepped_sleep);
    const dfut_platform::PortScript script{scripted_read, scripted_write, nullptr};
    dfut_platform::set_port_script(PORT_NAME, &script);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size, 0};
    const int32_t blocks = 1 + take_byte(in) % 3;
    // An image size that is not a multiple of 1024 exercises the short last block.
    const int32_t image_size = blocks * BLOCK_SIZE + take_u16(in) % BLOCK_SIZE;
    harness.now = take_u32(in);

    // Both buffers at their exact size, so that any access beyond them is caught.
    uint8_t* const frame = new uint8_t[FRAME_CAPACITY];
    uint8_t* const image = new uint8_t[static_cast<size_t>(image_size)];
    for (int32_t i = 0; i < image_size; ++i) {
        image[i] = static_cast<uint8_t>(i * 31 + 7);
    }
    std::memset(frame, 0xA5, FRAME_CAPACITY);
    harness.image_crc = crc16_modbus(image, image_size);
    harness.last_written_len = 0;
    harness.job = UpdateJob{};
    harness.job.frame = frame;
    harness.job.frame_capacity = FRAME_CAPACITY;
    harness.job.unit_address = UNIT_ADDRESS;
    harness.job.flash_base = FLASH_BASE;
    harness.job.image = image;
    harness.job.image_size = image_size;

    start_run();
    while (!exhausted(in)) {
        tick(in);
        // Completed and Failed hold until a new press, which starts a fresh run
        // on the same job and image.
        if (harness.job.state == Completed || harness.job.state == Failed) {
            tick(in);
            port_close(harness.job.port);
            start_run();
        }
    }
    port_close(harness.job.port);

    delete[] image;
    delete[] frame;
    return 0;
}
