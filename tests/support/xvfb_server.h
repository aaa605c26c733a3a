#pragma once

// A private X server (Xvfb) on a display number that it picks itself, so that
// windows can be shown headless and without touching anybody's desktop; for
// tests (xvfb_display.h) and benchmarks alike.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

class XvfbServer {
public:
    // Starts the server and, once it serves, sets DISPLAY for this process
    // and the processes it starts.
    XvfbServer() {
        int ready[2];
        if (pipe(ready) != 0) {
            return;
        }
        server_ = fork();
        if (server_ == 0) {
            close(ready[0]);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            const std::string fd = std::to_string(ready[1]);
            // Xvfb writes the display number to the pipe once it serves.
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        std::string number;
        char c;
        while (server_ > 0 && read(ready[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(ready[0]);
        if (!number.empty()) {
            display_ = ":" + number;
            setenv("DISPLAY", display_.c_str(), 1);
        }
    }

    ~XvfbServer() {
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
        }
    }

    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool serving() const { return !display_.empty(); }
    const std::string& display() const { return display_; }

private:
    pid_t server_ = -1;
    std::string display_;
};
