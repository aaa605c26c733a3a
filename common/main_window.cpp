#include "common/main_window.h"

HWND main_window = nullptr;
