#pragma once

// A private X server (Xvfb) for the tests of one program, so that windows can
// be shown headless and without touching anybody's desktop. Register it with
//   static auto* const display = ::testing::AddGlobalTestEnvironment(new XvfbDisplay);
// It sets DISPLAY for the program and for the processes it starts.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

class XvfbDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        server_ = fork();
        ASSERT_GE(server_, 0);
        if (server_ == 0) {
            close(ready[0]);
            const int quiet = open("/dev/null", O_WRONLY);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            const std::string fd = std::to_string(ready[1]);
            // Xvfb picks a free display number and writes it to the pipe once it serves.
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        std::string number;
        char c;
        while (read(ready[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        close(ready[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        setenv("DISPLAY", (":" + number).c_str(), 1);
    }

    void TearDown() override {
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
        }
    }

private:
    pid_t server_ = -1;
};
