#include "sim/port_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace sim {

namespace {

bool is_symlink(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

std::string link_target(const std::string& path) {
    char target[4096];
    ssize_t length = readlink(path.c_str(), target, sizeof target);
    return length < 0 ? std::string() : std::string(target, static_cast<size_t>(length));
}

}  // namespace

PortLink::PortLink(const std::string& link_path, const std::string& target) : path_(link_path), target_(target) {
    // A link left behind by an earlier run that did not end cleanly.
    if (is_symlink(path_)) unlink(path_.c_str());
    if (symlink(target_.c_str(), path_.c_str()) != 0) {
        throw std::system_error(errno, std::generic_category(), "symlink " + path_);
    }
}

PortLink::~PortLink() {
    // Leave it alone if someone has put another link in its place since.
    if (is_symlink(path_) && link_target(path_) == target_) unlink(path_.c_str());
}

}  // namespace sim
