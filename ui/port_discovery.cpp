#include "ui/port_discovery.h"

#include <cstdio>

PortEntry PortTable[PORT_TABLE_SLOTS];

void probe_ports(HWND port_list) {
    int slot = 0;
    for (int number = 1; number <= HIGHEST_PROBED_PORT; ++number) {
        PortEntry& entry = PortTable[slot];
        std::snprintf(entry.path, sizeof entry.path, "\\\\.\\com%d", number);
        // Present means: it can be opened for reading right now.
        FILE* port = std::fopen(entry.path, "r");
        if (port == nullptr) {
            continue;  // the next number's path overwrites this slot's
        }
        std::fclose(port);
        SendMessageA(port_list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.path));
        entry.number = number;
        ++slot;
    }
    SendMessageA(port_list, CB_SETCURSEL, 0, 0);
}

const char* chosen_port_path(HWND port_list) {
    const LRESULT position = SendMessageA(port_list, CB_GETCURSEL, 0, 0);
    // Only positions that a probe filled name a port.
    if (position < 0 || position >= HIGHEST_PROBED_PORT) {
        return nullptr;
    }
    return PortTable[position].path;
}
