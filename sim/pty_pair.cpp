#include "sim/pty_pair.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace sim {

namespace {

[[noreturn]] void throw_errno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void make_raw(int fd, const char* what) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) throw_errno(what);
    cfmakeraw(&settings);
    if (tcsetattr(fd, TCSANOW, &settings) != 0) throw_errno(what);
}

}  // namespace

PtyPair::PtyPair() {
    try {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0) throw_errno("posix_openpt");
        if (grantpt(master_) != 0) throw_errno("grantpt");
        if (unlockpt(master_) != 0) throw_errno("unlockpt");
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0) throw_errno("ptsname_r");
        slave_path_ = name;
        slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slave_ < 0) throw_errno("open pty slave");
        make_raw(master_, "raw mode on the pty master");
        make_raw(slave_, "raw mode on the pty slave");
        int flags = fcntl(master_, F_GETFL);
        if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) throw_errno("non-blocking pty master");
    } catch (...) {
        close();
        throw;
    }
}

PtyPair::~PtyPair() { close(); }

void PtyPair::close() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = -1;
    master_ = -1;
}

}  // namespace sim
