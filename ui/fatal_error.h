#pragma once

// Ends the tool when it cannot go on: shows a report of `reason` and the
// thread's last system error in a message box owned by the main window (none
// while there is no main window), then sounds a low tone and exits with
// status 1. Call it directly after the failing platform call, so that the
// last error is that call's. Never returns.
[[noreturn]] void fatal_error(const char* reason);
