#pragma once

// The device's end of a pseudo-terminal, played by a test: the tool opens the
// slave path through the serial layer, the test writes replies into the master
// and reads what the tool sent.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class PtyPeer {
public:
    PtyPeer() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) {
            termios raw;
            tcgetattr(master_, &raw);
            cfmakeraw(&raw);
            tcsetattr(master_, TCSANOW, &raw);
            slave_path_ = ptsname(master_);
        }
    }
    ~PtyPeer() { hang_up(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0 && !slave_path_.empty(); }
    const std::string& slave_path() const { return slave_path_; }

    void send(const std::vector<uint8_t>& bytes) const {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }

    // Everything the tool sent, collected until the line has been quiet for quiet_ms.
    std::vector<uint8_t> receive(int quiet_ms = 30) const {
        std::vector<uint8_t> bytes;
        pollfd p{master_, POLLIN, 0};
        while (poll(&p, 1, quiet_ms) > 0 && (p.revents & POLLIN)) {
            uint8_t chunk[4096];
            const ssize_t n = read(master_, chunk, sizeof chunk);
            if (n <= 0) break;
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        return bytes;
    }

    // Closes the device's side: the tool sees a hang-up.
    void hang_up() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

private:
    int master_ = -1;
    std::string slave_path_;
};

// Milliseconds taken by a call, on the monotonic clock.
template <typename F>
double elapsed_ms(F&& call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}
