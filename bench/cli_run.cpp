#include "bench/cli_run.h"

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace bench {

namespace {

Seconds seconds_of(const timeval& time) { return Seconds(time.tv_sec + time.tv_usec / 1e6); }

}  // namespace

ChildRun run_cli(const std::string& program, const std::string& port, double timeout_seconds) {
    const std::string timeout = std::to_string(timeout_seconds);
    int out_pipe[2];
    if (pipe(out_pipe) != 0) return {};
    ChildRun run;
    run.started = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        close(out_pipe[0]);
        close(out_pipe[1]);
        if (timeout_seconds > 0) {
            execl(program.c_str(), program.c_str(), "--timeout", timeout.c_str(), port.c_str(),
                  static_cast<char*>(nullptr));
        } else {
            execl(program.c_str(), program.c_str(), port.c_str(), static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    close(out_pipe[1]);
    char chunk[4096];
    ssize_t count;
    while (pid > 0 && (count = read(out_pipe[0], chunk, sizeof chunk)) != 0) {
        if (count < 0) {
            if (errno == EINTR) continue;
            break;
        }
        run.output.text.append(chunk, static_cast<size_t>(count));
        run.output.pieces.emplace_back(run.output.text.size(), Clock::now());
    }
    close(out_pipe[0]);
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        run.wall = Clock::now() - run.started;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.cpu = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
        run.peak_memory_kib = usage.ru_maxrss;
    }
    return run;
}

}  // namespace bench
