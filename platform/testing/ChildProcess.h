#pragma once

// A program started by a test, with its standard output on a pipe that the
// test reads line by line and its standard error in a file. Every wait is
// bounded, so a broken child fails a test instead of hanging it.

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace testsupport {

// Whether the child `pid` (none: -1) has ended, leaving it to be collected.
inline bool ChildHasExited(pid_t pid)
{
    siginfo_t info{};
    return pid <= 0 || (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                        info.si_pid == pid);
}

class CChildProcess {
public:
    static constexpr int kWaitMs = 20000;

    CChildProcess() = default;
    ~CChildProcess()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out >= 0)
            ::close(out);
    }
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Starts `binary` with `args` (the program name is added); its standard
    // error goes to `error_file`.
    bool Start(const std::string& binary, std::vector<std::string> args, const std::string& error_file)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, error_file.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        args.insert(args.begin(), binary);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid, binary.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out = fds[0];
        errors = error_file;
        if (spawned != 0)
            pid = -1;
        return spawned == 0;
    }

    // The next line of standard output without its line feed; false at the
    // end of the output or after the wait.
    bool ReadLine(std::string& line, int wait_ms = kWaitMs)
    {
        line.clear();
        char c = 0;
        for (;;) {
            pollfd item{out, POLLIN, 0};
            const int ready = ::poll(&item, 1, wait_ms);
            timed_out = ready == 0;
            if (ready <= 0 || ::read(out, &c, 1) != 1)
                return false;
            if (c == '\n')
                return true;
            line += c;
        }
    }

    // Reads standard output to its end (the child closing it, normally by
    // exiting) and returns the exit status; -1 when it did not exit
    // normally or in time.
    int Wait(int wait_ms = kWaitMs)
    {
        std::string rest;
        while (ReadLine(rest, wait_ms))
            lines.push_back(rest);
        if (!rest.empty())
            lines.push_back(rest);
        if (pid <= 0)
            return -1;
        if (timed_out)
            ::kill(pid, SIGKILL);
        int status = 0;
        const pid_t waited = ::waitpid(pid, &status, 0);
        pid = -1;
        return waited > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void Signal(int signal)
    {
        if (pid > 0)
            ::kill(pid, signal);
    }

    std::string Errors() const
    {
        std::ifstream in(errors, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    pid_t Pid() const { return pid; }

    // Whether the child has ended; it is left for Wait to collect.
    bool HasExited() const { return ChildHasExited(pid); }

    // The lines Wait read.
    std::vector<std::string> lines;

private:
    pid_t pid = -1;
    int out = -1;
    bool timed_out = false;
    std::string errors;
};

} // namespace testsupport
