#pragma once

// Runs a program as a child process: its standard output (and, if asked,
// standard error) collected, its exit status and how long it ran reported.

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

class ChildProcess {
public:
    // Starts `args` (args[0] looked up in PATH) with this process's
    // environment changed by `environment`: "NAME=value" sets, "NAME" removes.
    // With `with_standard_error`, standard error joins standard output.
    explicit ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& environment = {},
                          bool with_standard_error = false) {
        std::vector<std::string> env_strings;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            bool replaced = false;
            for (const std::string& change : environment) {
                replaced = replaced || text.substr(0, text.find('=')) == change.substr(0, change.find('='));
            }
            if (!replaced) {
                env_strings.push_back(text);
            }
        }
        for (const std::string& change : environment) {
            if (change.find('=') != std::string::npos) {
                env_strings.push_back(change);
            }
        }

        int out[2];
        if (pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (with_standard_error) {
            posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        }
        posix_spawn_file_actions_addclose(&actions, out[0]);
        std::vector<char*> argv = pointers(args);
        std::vector<char*> envp = pointers(env_strings);
        started_at_ = std::chrono::steady_clock::now();
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        output_fd_ = out[0];
    }

    ~ChildProcess() { wait(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // Collects the output to its end and waits for the exit; returns the wait status.
    int wait() {
        if (output_fd_ >= 0) {
            char chunk[4096];
            ssize_t n;
            while ((n = read(output_fd_, chunk, sizeof chunk)) > 0) {
                output_.append(chunk, static_cast<size_t>(n));
            }
            close(output_fd_);
            output_fd_ = -1;
        }
        if (pid_ > 0) {
            waitpid(pid_, &status_, 0);
            pid_ = -1;
            ran_ms_ = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started_at_).count();
        }
        return status_;
    }

    const std::string& output() const { return output_; }
    double ran_ms() const { return ran_ms_; }

private:
    static std::vector<char*> pointers(const std::vector<std::string>& strings) {
        std::vector<char*> result;
        for (const std::string& s : strings) {
            result.push_back(const_cast<char*>(s.c_str()));
        }
        result.push_back(nullptr);
        return result;
    }

    pid_t pid_ = -1;
    int output_fd_ = -1;
    int status_ = -1;
    std::string output_;
    std::chrono::steady_clock::time_point started_at_;
    double ran_ms_ = 0;
};

// Runs a command to its end; its standard output.
inline std::string run_command(const std::vector<std::string>& args) {
    ChildProcess child(args);
    child.wait();
    return child.output();
}
