#pragma once

#include "platform/win32.h"

// The thread's one message queue. Posted messages come first, then the quit
// message, then a ready timer. While there is none, FLTK handles what the
// display sends (input, redrawing), which may post messages in turn.
//
// Waits for the next message. `stop`, when given, is watched after each round
// of FLTK's event handling: once it is true the wait ends with false (a modal
// loop whose window was closed). A modal loop leaves the quit message queued
// (take_quit false) for the loop that owns it.
bool next_message(MSG* message, const bool* stop, bool take_quit);
