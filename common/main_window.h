#pragma once

#include "platform/win32.h"

// The tool's window: null until start-up has created it. Owner of the fatal
// error box and home of the status field.
extern HWND main_window;
