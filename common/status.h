#pragma once

// The one line of progress text in the window's status field. The buffer holds
// the longest status line, "Programming Completed OK", and its terminator, with
// room to spare; longer text is cut, never written past the buffer.
constexpr int STATUS_TEXT_SIZE = 64;
extern char status_text[STATUS_TEXT_SIZE];

// Formats into status_text and makes it the status field's text.
void set_status(const char* format, ...) __attribute__((format(printf, 1, 2)));
