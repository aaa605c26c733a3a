// The C library's fopen as the program's code calls it, given the meaning
// that the Windows C runtime gives a serial port name: "\\.\comN" opens that
// port's device, found as CreateFileA finds it, and a port that is held open
// elsewhere (this process included) does not open, since a serial port is
// never shared. Any other name goes to the C library unchanged. The linker
// sends every call of fopen here (--wrap=fopen, set where the layer is built).

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/linux/port_names.h"

extern "C" FILE* __real_fopen(const char* path, const char* mode);

namespace {

int open_flags_for(const char* mode) {
    const bool update = std::string(mode).find('+') != std::string::npos;
    if (update) {
        return O_RDWR;
    }
    return mode[0] == 'r' ? O_RDONLY : O_WRONLY;
}

}  // namespace

extern "C" FILE* __wrap_fopen(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr) {
        return __real_fopen(path, mode);
    }
    const std::string device = device_path_for(path);
    if (device == path) {
        return __real_fopen(path, mode);
    }
    if (device.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    // Not blocking: a serial line without carrier would hold the open.
    const int fd = open(device.c_str(), open_flags_for(mode) | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    // The same lock that CreateFileA takes; held by the stream until fclose.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error_number = errno;
        close(fd);
        errno = error_number == EWOULDBLOCK ? EACCES : error_number;
        return nullptr;
    }
    // From here on the stream waits for data like any other.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* stream = fdopen(fd, mode);
    if (stream == nullptr) {
        const int error_number = errno;
        close(fd);
        errno = error_number;
    }
    return stream;
}
