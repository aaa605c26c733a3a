#include "platform/linux/port_names.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char port_prefix[] = "\\\\.\\com";
constexpr size_t port_prefix_length = sizeof(port_prefix) - 1;
constexpr size_t max_port_digits = 9;  // keeps the number within 32 bits

// Device families of the fixed table, 32 numbers each, in port number order.
constexpr const char* fixed_table_families[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
constexpr unsigned ports_per_family = 32;

bool has_port_prefix(const char* name) {
    for (size_t i = 0; i < port_prefix_length; ++i) {
        if (name[i] == '\0' ||
            std::tolower(static_cast<unsigned char>(name[i])) != port_prefix[i]) {
            return false;
        }
    }
    return true;
}

// N of "\\.\comN", or 0 when the name is not a port name.
unsigned port_number(const char* name) {
    if (!has_port_prefix(name)) {
        return 0;
    }
    const char* digits = name + port_prefix_length;
    const size_t digit_count = std::strlen(digits);
    if (digit_count == 0 || digit_count > max_port_digits) {
        return 0;
    }
    unsigned number = 0;
    for (size_t i = 0; i < digit_count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(digits[i]))) {
            return 0;
        }
        number = number * 10 + static_cast<unsigned>(digits[i] - '0');
    }
    return number;
}

std::string fixed_table_path(unsigned number) {
    const unsigned index = number - 1;
    const unsigned family = index / ports_per_family;
    if (family >= sizeof(fixed_table_families) / sizeof(fixed_table_families[0])) {
        return {};
    }
    return fixed_table_families[family] + std::to_string(index % ports_per_family);
}

}  // namespace

std::string device_path_for(const char* name) {
    // A name that only looks like a port ("\\.\com0", "\\.\comX") is a path like any other.
    const unsigned number = port_number(name);
    if (number == 0) {
        return name;
    }
    const char* port_folder = std::getenv("DFUT_COMPORTS");
    if (port_folder != nullptr && port_folder[0] != '\0') {
        return std::string(port_folder) + "/com" + std::to_string(number);
    }
    return fixed_table_path(number);
}
