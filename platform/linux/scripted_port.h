// The port of dfut_platform::set_port_script, as the serial calls reach it:
// each call on a handle for which is_scripted_port holds comes here instead of
// going to a tty.
#pragma once

#include "platform/win32.h"

// The scripted port's handle when a script is set and file_name is its name;
// nullptr otherwise.
HANDLE open_scripted_port(LPCSTR file_name);

bool is_scripted_port(HANDLE handle);

BOOL read_scripted_port(LPVOID buffer, DWORD to_read, LPDWORD read);
BOOL write_scripted_port(LPCVOID buffer, DWORD to_write, LPDWORD written);
BOOL get_scripted_port_state(LPDCB dcb);
BOOL set_scripted_port_state(LPDCB dcb);
BOOL get_scripted_port_timeouts(LPCOMMTIMEOUTS timeouts);
BOOL set_scripted_port_timeouts(LPCOMMTIMEOUTS timeouts);
