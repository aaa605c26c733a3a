#pragma once

#include <cstdint>

#include "platform/win32.h"

// The serial ports found at start-up. Slot k holds the k-th port that opened,
// which is also item k of the port list; the table keeps no count, the list's
// item count is that count. Filled once, read-only afterwards, so a pointer to
// a slot's path stays valid for the life of the process.
constexpr int PORT_TABLE_SLOTS = 999;
constexpr int HIGHEST_PROBED_PORT = 998;
constexpr int PORT_PATH_SIZE = 256;

struct PortEntry {
    int32_t number;                // N, from 1 to 998
    char path[PORT_PATH_SIZE];     // "\\.\comN"
};

extern PortEntry PortTable[PORT_TABLE_SLOTS];

// Tries the ports 1 to 998 in order; each one that opens goes into the next
// slot and at the end of the list. Then selects list position 0.
void probe_ports(HWND port_list);

// The path of the slot at the list's selected position, or null when no
// position is selected (an empty list, or text typed into the edit field).
const char* chosen_port_path(HWND port_list);
