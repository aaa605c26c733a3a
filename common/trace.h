#pragma once

// Diagnostic trace on standard output: printf-style, no prefix, no time stamp.
// Lines carry their own "\n"; nothing is flushed here.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
