#include "tests/support/running_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

// Looks again this often even when no change is reported, so that a program
// that ended is noticed.
constexpr std::chrono::milliseconds longest_quiet_wait{100};

// This process's environment with the tool's two settings in place of any it had.
std::vector<std::string> tool_environment(const std::string& port_folder, const std::string& log_path) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("DFUT_COMPORTS=", 0) != 0 && text.rfind("DFUT_PLATFORM_LOG=", 0) != 0) {
            environment.push_back(text);
        }
    }
    environment.push_back("DFUT_COMPORTS=" + port_folder);
    environment.push_back("DFUT_PLATFORM_LOG=" + log_path);
    return environment;
}

}  // namespace

RunningTool::RunningTool(const std::string& program, const std::string& port_folder, const std::string& scratch)
    : log_path_(scratch + "/platform.log"), trace_path_(scratch + "/trace.txt") {
    std::remove(log_path_.c_str());
    // The log is written a line at a time, each by its own open and close.
    log_watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (log_watch_ >= 0) {
        inotify_add_watch(log_watch_, scratch.c_str(), IN_MODIFY | IN_CLOSE_WRITE);
    }
    const int trace_fd = open(trace_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (trace_fd < 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, trace_fd, STDOUT_FILENO);
    std::vector<std::string> environment = tool_environment(port_folder, log_path_);
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string program_path = program;
    char* argv[] = {program_path.data(), nullptr};
    started_at_ = Clock::now();
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, envp.data()) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(trace_fd);
}

RunningTool::~RunningTool() {
    if (running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &wait_status_, 0);
    }
    if (log_watch_ >= 0) {
        close(log_watch_);
    }
    std::remove(log_path_.c_str());
    std::remove(trace_path_.c_str());
}

bool RunningTool::running() {
    if (pid_ <= 0 || ended_) {
        return false;
    }
    ended_ = waitpid(pid_, &wait_status_, WNOHANG) == pid_;
    return !ended_;
}

double RunningTool::cpu_seconds() const {
    std::ifstream file("/proc/" + std::to_string(pid_) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(file)), {});
    const size_t name_end = stat.rfind(')');
    if (name_end == std::string::npos) {
        return 0;
    }
    // After the name: state, then ten more fields, then user and system time in clock ticks.
    std::istringstream fields(stat.substr(name_end + 1));
    std::string skipped;
    for (int i = 0; i < 11; ++i) {
        fields >> skipped;
    }
    double user_ticks = 0, system_ticks = 0;
    fields >> user_ticks >> system_ticks;
    return (user_ticks + system_ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void RunningTool::follow_log(std::chrono::milliseconds wait) {
    if (log_watch_ < 0) {
        std::this_thread::sleep_for(wait);
    } else {
        pollfd change{log_watch_, POLLIN, 0};
        if (poll(&change, 1, static_cast<int>(wait.count())) > 0) {
            char events[4096];
            while (read(log_watch_, events, sizeof events) > 0) {
            }
        }
    }
    const Clock::time_point now = Clock::now();
    std::ifstream file(log_path_, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(log_read_));
    const std::string added((std::istreambuf_iterator<char>(file)), {});
    log_read_ += added.size();
    partial_line_ += added;
    for (size_t end; (end = partial_line_.find('\n')) != std::string::npos;) {
        lines_.emplace_back(partial_line_.substr(0, end), now);
        partial_line_.erase(0, end + 1);
    }
}

std::vector<std::string> RunningTool::log() {
    follow_log(std::chrono::milliseconds(0));
    std::vector<std::string> texts;
    for (const auto& line : lines_) {
        texts.push_back(line.first);
    }
    return texts;
}

std::optional<RunningTool::Clock::time_point> RunningTool::seen_at(const std::string& line) {
    follow_log(std::chrono::milliseconds(0));
    for (const auto& seen : lines_) {
        if (seen.first == line) {
            return seen.second;
        }
    }
    return std::nullopt;
}

std::string RunningTool::trace() const {
    std::ifstream file(trace_path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

bool RunningTool::wait_for_log(const LogCondition& condition, std::chrono::milliseconds limit) {
    const Clock::time_point end = Clock::now() + limit;
    for (;;) {
        // Asked once more after the program has ended: its last lines count.
        const bool was_running = running();
        if (condition(log())) {
            return true;
        }
        const Clock::time_point now = Clock::now();
        if (!was_running || now >= end) {
            return false;
        }
        follow_log(std::min(longest_quiet_wait, std::chrono::duration_cast<std::chrono::milliseconds>(end - now)));
    }
}

bool RunningTool::wait_for_log_line(const std::string& line, std::chrono::milliseconds limit) {
    return wait_for_log(
        [&](const std::vector<std::string>& log) { return std::find(log.begin(), log.end(), line) != log.end(); },
        limit);
}

std::optional<int> RunningTool::wait_for_exit(std::chrono::milliseconds limit) {
    const Clock::time_point end = Clock::now() + limit;
    while (running() && Clock::now() < end) {
        follow_log(std::chrono::milliseconds(20));
    }
    if (!ended_ || !WIFEXITED(wait_status_)) {
        return std::nullopt;
    }
    return WEXITSTATUS(wait_status_);
}
