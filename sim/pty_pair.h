#pragma once

#include <string>

namespace sim {

// The device's end of a serial line: a pseudo-terminal whose slave the tool
// opens like a serial port. Both sides are raw, so every byte passes unaltered.
// The device keeps a slave descriptor of its own, so that the line keeps its
// settings and the master does not report a hang-up between the tool's opens.
class PtyPair {
public:
    // Throws std::system_error when no pty can be had.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // Non-blocking.
    int master() const { return master_; }
    const std::string& slave_path() const { return slave_path_; }
    bool is_open() const { return master_ >= 0; }

    // Closes both descriptors: whoever has the slave open sees a hang-up.
    void close();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slave_path_;
};

}  // namespace sim
