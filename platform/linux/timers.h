#pragma once

#include "platform/win32.h"

// Window timers, kept as the system keeps them: a timer that falls due marks
// itself ready and yields one WM_TIMER when the queue is asked for a message
// and holds nothing posted; however often it fell due meanwhile, there is at
// most one such message per timer.

// The WM_TIMER of the ready timer that fell due first; false when none is.
bool take_due_timer(MSG* message);

// Seconds until the next timer falls due; a very long time when there is none.
double seconds_until_next_timer();

// Stops the timers of a window that goes away.
void kill_window_timers(HWND window);
