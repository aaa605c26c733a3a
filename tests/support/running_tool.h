#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The real dfut program in a child process, as an operator has it running:
// on the display of DISPLAY, its ports in a port folder, its trace (standard
// output) kept in a file and its window-side calls in a platform log, whose
// lines are followed as they come and stamped with the time they came.
// Killed on destruction if it still runs, so that a failure never leaves a
// window behind.
class RunningTool {
public:
    using Clock = std::chrono::steady_clock;
    using LogCondition = std::function<bool(const std::vector<std::string>& log)>;

    // `scratch` is a folder for the trace and the log. An empty `port_folder`
    // leaves the system's own port names.
    RunningTool(const std::string& program, const std::string& port_folder, const std::string& scratch);
    ~RunningTool();
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Just before the program was started.
    Clock::time_point started_at() const { return started_at_; }
    bool running();
    // Processor time the program has used so far, user and system.
    double cpu_seconds() const;

    // The platform log so far, one entry a line.
    std::vector<std::string> log();
    // When the log's first line equal to `line` came, if it has come.
    std::optional<Clock::time_point> seen_at(const std::string& line);
    // What has reached the trace file: all of it once the program has ended,
    // before that only what the program flushed.
    std::string trace() const;

    // Waits until the condition holds on the log, for at most `limit`; false
    // when the program ended or the time passed first.
    bool wait_for_log(const LogCondition& condition, std::chrono::milliseconds limit);
    bool wait_for_log_line(const std::string& line, std::chrono::milliseconds limit);

    // The exit status once the program has ended by itself within `limit`;
    // nothing when it still runs or was ended by a signal.
    std::optional<int> wait_for_exit(std::chrono::milliseconds limit);

private:
    // Takes the log's new lines, waiting up to `wait` for some to come.
    void follow_log(std::chrono::milliseconds wait);

    std::string log_path_;
    std::string trace_path_;
    int log_watch_ = -1;  // inotify on the scratch folder
    size_t log_read_ = 0;  // bytes of the log taken so far
    std::string partial_line_;
    std::vector<std::pair<std::string, Clock::time_point>> lines_;
    Clock::time_point started_at_;
    pid_t pid_ = -1;
    int wait_status_ = 0;
    bool ended_ = false;
};
