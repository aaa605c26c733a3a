#pragma once

#include "platform/win32.h"

// The Windows error code that stands for an errno value, for the cases that the
// layer meets: missing device, access denied, busy port, bad handle.
DWORD win32_error_from_errno(int error_number);

// SetLastError with the code for errno_value.
void set_last_error_from_errno(int error_number);
