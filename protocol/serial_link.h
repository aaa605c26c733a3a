#pragma once

#include <cstdint>

#include "platform/win32.h"

// The serial line to the device, through the system's file interface.
// Reads and writes return the byte count the system reports; a failed call
// shows as 0 bytes, which the state machine treats like silence.

// Exclusive, synchronous read/write open; INVALID_HANDLE_VALUE on failure.
HANDLE port_open(const char* path);

// 8 data bits, even parity, one stop bit, no flow control, DTR and RTS off;
// a read ends interval_ms after the last byte or 100 ms after it began.
// Returns 0, or -1 (with a message on standard error) when the current
// settings or time-outs cannot be read; nothing is changed then.
int configure_port(HANDLE port, int32_t baud_rate, uint32_t interval_ms);

int32_t port_write(HANDLE port, const uint8_t* data, int32_t count);
int32_t port_read(HANDLE port, uint8_t* buffer, uint32_t capacity);

// Discards whatever waits in either direction, then flushes.
void port_purge(HANDLE port);

void port_close(HANDLE port);
