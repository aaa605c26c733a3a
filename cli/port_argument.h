#pragma once

#include <string>

// The device path for a PORT argument: "comN" (any case) becomes "\\.\comN",
// which the serial layer resolves like the window's port list does; "\\.\comN"
// and device paths are taken as they are.
std::string port_path_for(const std::string& argument);
