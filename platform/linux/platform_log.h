#pragma once

#include <string>

// A trace of the window-side calls that a person would notice (texts set,
// timers, message boxes, tones, windows coming and going), so that tests and
// people can follow the window from outside without reading pixels. When the
// environment variable DFUT_PLATFORM_LOG names a file, each call appends one
// line to it; otherwise nothing is written.
void platform_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `text` in double quotes with C escapes (\n, \r, \t, \", \\, \xHH), so that
// any text keeps its line in the log. A null text gives `null`.
std::string quoted(const char* text);
