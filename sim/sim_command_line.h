#pragma once

#include <string>

#include "sim/simulated_device.h"

namespace sim {

struct SimCommandLine {
    DeviceOptions device;
    std::string link_path;  // empty: no link
    std::string flash_out;  // empty: the flash is not saved
    bool help = false;
};

// Parses dfut-sim's arguments (argv[0] excluded). Throws std::invalid_argument
// with a message that names the offending option.
SimCommandLine parse_sim_command_line(int argc, const char* const* argv);

extern const char* const kSimUsage;

}  // namespace sim
