#include "job/state_machine.h"

#include <cstdio>

#include "common/status.h"
#include "common/trace.h"
#include "protocol/crc16_modbus.h"
#include "protocol/frames.h"
#include "protocol/serial_link.h"

namespace {

constexpr uint32_t LINK_REPLY_TIMEOUT_MS = 100;
constexpr uint32_t REPLY_TIMEOUT_MS = 5000;
constexpr uint32_t RESET_REPLY_TIMEOUT_MS = 100;
constexpr uint32_t PROBE_PAUSE_MS = 100;
constexpr uint32_t PROBE_LENGTH = 4;
// The device's CRC sits in bytes 11 and 12 of its verify reply.
constexpr int32_t VERIFY_REPLY_MIN_LEN = 13;

void send_frame(UpdateJob& job) {
    port_write(job.port, job.frame, job.frame_len);
}

// The Linking dump: every non-empty read, before it is judged.
void trace_received(const UpdateJob& job) {
    trace("RX:");
    for (int32_t i = 0; i < job.frame_len; ++i) {
        trace(" %02x", job.frame[i]);
    }
    trace("\n");
}

void verify(UpdateJob& job) {
    const uint16_t remote = static_cast<uint16_t>(job.frame[11] * 256 + job.frame[12]);
    const uint16_t local = crc16_modbus(job.image, job.image_size);
    trace("Remote CRC %#x\n", remote);
    trace("Local  CRC %#x\n", local);
    if (local == remote) {
        trace("CRCs match\n");
        set_status("Program Verified OK");
        enter_state(job, Resetting);
    } else {
        trace("CRC FAIL\n");
        set_status("FAILED");
        enter_state(job, Failed);
    }
}

void on_valid_reply(UpdateJob& job) {
    switch (job.state) {
    case Linking:
        trace("REMOTE DEVICE LINK ESTABLISHED\n");
        job.reply_timeout = REPLY_TIMEOUT_MS;
        port_purge(job.port);
        enter_state(job, Programming);
        break;
    case Programming:
        trace("- OK\n");
        std::fflush(stdout);
        job.offset += job.block_len;
        if (job.offset < job.image_size) {
            if (job.image_size - job.offset < job.block_len) {
                job.block_len = job.image_size - job.offset;
            }
            enter_state(job, Programming);
        } else {
            enter_state(job, Verifying);
        }
        break;
    case Verifying:
        verify(job);
        break;
    case Resetting:
        trace("frame length %4d bytes received & OK\n", job.frame_len);
        enter_state(job, Completed);
        break;
    default:
        break;
    }
}

// A waiting state: resend on time-out, then read once and judge what came.
void await_reply(UpdateJob& job) {
    const uint32_t limit = job.state == Resetting ? RESET_REPLY_TIMEOUT_MS : job.reply_timeout;
    const uint32_t elapsed = GetTickCount() - job.sent_at;
    if (elapsed > limit) {
        if (job.state == Programming) {
            trace("TIMEOUT\n");
        }
        enter_state(job, job.state);
    }

    job.frame_len = port_read(job.port, job.frame, job.frame_capacity);
    if (job.state == Linking && job.frame_len != 0) {
        trace_received(job);
    }
    if (job.frame_len < 4 || !frame_is_valid(job)) {
        return;
    }
    // A valid reply too short to hold the device's CRC would leave bytes of
    // earlier traffic to compare; it counts as no reply.
    if (job.state == Verifying && job.frame_len < VERIFY_REPLY_MIN_LEN) {
        return;
    }
    on_valid_reply(job);
}

}  // namespace

void enter_state(UpdateJob& job, JobState state) {
    switch (state) {
    case Contact:
        job.block_len = BLOCK_SIZE;
        job.offset = 0;
        job.reply_timeout = LINK_REPLY_TIMEOUT_MS;
        break;
    case Linking:
        job.sent_at = GetTickCount();
        trace("CONTACTING...\n");
        build_query_frame(job, job.flash_base, PROBE_LENGTH);
        send_frame(job);
        Sleep(PROBE_PAUSE_MS);
        break;
    case Programming: {
        job.sent_at = GetTickCount();
        const uint32_t address = job.flash_base + static_cast<uint32_t>(job.offset);
        trace("PROG ADDR %#x, LEN %#x, FROM %#x...", address, job.block_len, job.offset);
        std::fflush(stdout);
        set_status("programming %#x", address);
        build_block_frame(job);
        send_frame(job);
        trace(" - SENT - ");
        std::fflush(stdout);
        break;
    }
    case Verifying:
        job.sent_at = GetTickCount();
        trace("Verifying address %#x, image size %#x bytes\n", job.flash_base, job.image_size);
        set_status("Verifying...");
        build_query_frame(job, job.flash_base, static_cast<uint32_t>(job.image_size));
        send_frame(job);
        trace("frame length %4d bytes sent\n", job.frame_len);
        break;
    case Resetting:
        job.sent_at = GetTickCount();
        trace("Resetting target\n");
        set_status("Resetting target...");
        build_reset_frame(job);
        send_frame(job);
        trace("frame length %4d bytes sent\n", job.frame_len);
        break;
    case Completed:
        set_status("Programming Completed OK");
        break;
    default:
        break;
    }
    job.state = state;
}

void job_tick(UpdateJob& job) {
    switch (job.state) {
    case Start:
        enter_state(job, Contact);
        break;
    case Contact:
        set_status("Establishing Link...");
        enter_state(job, Linking);
        break;
    case Linking:
    case Programming:
    case Verifying:
    case Resetting:
        await_reply(job);
        break;
    default:
        break;
    }
}
