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

}  // namespace dfut_platform
