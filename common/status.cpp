#include "common/status.h"

#include <cstdarg>
#include <cstdio>

#include "common/control_ids.h"
#include "common/main_window.h"

char status_text[STATUS_TEXT_SIZE];

void set_status(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(status_text, sizeof status_text, format, args);
    va_end(args);
    SetDlgItemTextA(main_window, STATUS_FIELD_ID, status_text);
}
