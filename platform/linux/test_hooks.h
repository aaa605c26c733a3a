// Hooks of the Linux platform layer that let tests and fuzzers replace what the
// real system would supply. Production code never calls them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dfut_platform {

// The source of GetTickCount and the implementation of Sleep. Passing nullptrs
// restores the monotonic clock and the real pause.
using TickSource = uint32_t (*)();
using SleepAction = void (*)(uint32_t milliseconds);
void set_clock(TickSource tick_source, SleepAction sleep_action);

// The compiled resource data (.res format) that the resource calls search.
// Passing nullptr restores the program's own embedded resources.
void set_resource_data(const unsigned char* data, size_t size);

// The texts that FormatMessageA gives for error codes: the source returns the
// text for a code, or nullptr for none. Passing nullptr restores our own texts.
using MessageTextSource = const char* (*)(uint32_t code);
void set_message_text_source(MessageTextSource source);

// A serial port with no device behind it, for driving the program from a
// script. While a script is set, CreateFileA of `name` opens this port instead
// of a device: each ReadFile hands out what `read` puts in its buffer (at most
// `capacity` bytes; 0 is a read that timed out empty), each WriteFile passes
// its bytes to `write` and reports them all written, and the line calls
// (settings, time-outs, event mask, purge, flush, close) succeed and keep the
// settings they are given. Passing nullptr removes the port.
struct PortScript {
    uint32_t (*read)(void* context, uint8_t* buffer, uint32_t capacity);
    void (*write)(void* context, const uint8_t* data, uint32_t count);
    void* context;
};
void set_port_script(const char* name, const PortScript* script);

}  // namespace dfut_platform
