// The Windows API subset the tool is written against. On Windows it is the
// system's own header; elsewhere our platform layer declares and implements
// exactly the calls and types the tool uses.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include "platform/linux/win32_api.h"
#endif
