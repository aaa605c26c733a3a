// Which device file a serial port name stands for.
#pragma once

#include <string>

// The device file that CreateFileA opens for `name`. "\\.\comN" ("com" in any
// case, N from 1) is the entry "comN" of the folder named by DFUT_COMPORTS
// (usually a link to a tty), and only the entries present there exist; without
// that folder it is looked up in the fixed table of the usual serial devices.
// Any other name is a path and stands for itself. Empty when the fixed table
// has no device for the number.
std::string device_path_for(const char* name);
