#pragma once

#include <string>

namespace sim {

// A symbolic link to the device's tty, such as comN in a port folder, which
// goes away with this object.
class PortLink {
public:
    // Replaces a symbolic link already at `link_path`, never another kind of
    // file. Throws std::system_error on failure.
    PortLink(const std::string& link_path, const std::string& target);
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::string target_;
};

}  // namespace sim
