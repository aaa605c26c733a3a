#include "common/trace.h"

#include <cstdarg>
#include <cstdio>

void trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
}
