#pragma once

#include <string>

#include "platform/win32.h"

// The window procedure of the registered class of that name, compared
// without regard to case as the system does; null when there is none.
WNDPROC find_class_procedure(const std::string& class_name);
