// How a DCB maps onto a terminal's settings.
#pragma once

#include <termios.h>

#include "platform/win32.h"

// No line discipline, as a Windows port has none: bytes pass unchanged, no echo,
// modem status ignored, and a read returns whatever is waiting (VMIN 1, VTIME 0).
// The character format, speed and hardware flow control are left as they are.
void make_raw(termios& settings);

// The DCB that describes the terminal's line. BaudRate is 0 for a speed with no
// number of its own.
DCB dcb_from_termios(const termios& settings);

// Sets `settings` raw, to the speed, character format and flow control that
// `dcb` asks for. False, with `settings` untouched, when the DCB asks for
// something a terminal cannot do: an unknown speed, byte size, parity or stop bits.
bool apply_dcb(const DCB& dcb, termios& settings);

// True when `applied` holds what `requested` asked for, apart from the character
// format (size and parity), which a pseudo-terminal drops without a word.
bool same_apart_from_character_format(const termios& requested, const termios& applied);
