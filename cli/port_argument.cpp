#include "cli/port_argument.h"

#include <cctype>

std::string port_path_for(const std::string& argument) {
    const bool com_name = argument.size() > 3 && std::tolower(static_cast<unsigned char>(argument[0])) == 'c' &&
                          std::tolower(static_cast<unsigned char>(argument[1])) == 'o' &&
                          std::tolower(static_cast<unsigned char>(argument[2])) == 'm' &&
                          argument.find_first_not_of("0123456789", 3) == std::string::npos;
    return com_name ? "\\\\.\\" + argument : argument;
}
