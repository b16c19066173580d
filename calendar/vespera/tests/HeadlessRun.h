#pragma once

// One run of the headless agent program in the current environment, for the
// tests that need to know how it ended: with which status, or of which
// signal. Standard output comes through a pipe, read line by line; standard
// error goes to a file, or to a pipe the test may close. Every wait is bounded; a run still alive when the
// object goes is killed.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace vesperaprocess {

class CHeadlessRun {
public:
    // How the run ended.
    struct SEnd {
        bool ended = false;  // false: still running when the wait ran out (it was killed)
        bool exited = false; // ended by exit(), with `status`
        int status = -1;
        int signal = 0; // the signal it died of, when it did not exit
    };

    CHeadlessRun() = default;
    ~CHeadlessRun()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
        CloseErrorPipe();
    }
    CHeadlessRun(const CHeadlessRun&) = delete;
    CHeadlessRun& operator=(const CHeadlessRun&) = delete;

    // Starts `binary --headless` with standard error in `errorFile`; false
    // when it cannot be spawned.
    bool Start(const std::string& binary, const std::string& errorFile)
    {
        m_errorFile = errorFile;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        return Spawn(binary, actions);
    }

    // Starts it with standard error on a pipe nobody reads, which
    // CloseErrorPipe takes away, as when the terminal or the log reader it
    // was started with goes.
    bool StartWithErrorPipe(const std::string& binary)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        m_errors = fds[0];
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        const bool started = Spawn(binary, actions);
        ::close(fds[1]);
        return started;
    }

    void CloseErrorPipe()
    {
        if (m_errors >= 0)
            ::close(m_errors);
        m_errors = -1;
    }

    pid_t Pid() const { return m_pid; }

    // The next line of standard output; false at its end or after waitMs.
    bool ReadLine(std::string& line, int waitMs = 20000)
    {
        line.clear();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd item{m_out, POLLIN, 0};
            char c = 0;
            if (left.count() <= 0 || ::poll(&item, 1, static_cast<int>(left.count())) <= 0 ||
                ::read(m_out, &c, 1) != 1)
                return false;
            if (c == '\n')
                return true;
            line += c;
        }
    }

    void Signal(int signal) const
    {
        if (m_pid > 0)
            ::kill(m_pid, signal);
    }

    // Waits at most waitMs for the run to end; kills it when it has not.
    SEnd Finish(int waitMs = 20000)
    {
        SEnd end;
        if (m_pid <= 0)
            return end;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        int status = 0;
        pid_t waited = 0;
        while ((waited = ::waitpid(m_pid, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waited == 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
        end.ended = waited > 0;
        end.exited = end.ended && WIFEXITED(status);
        end.status = end.exited ? WEXITSTATUS(status) : -1;
        end.signal = end.ended && WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        return end;
    }

    // Standard error so far; empty when it went to the pipe.
    std::string Errors() const
    {
        std::ifstream in(m_errorFile, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    // Spawns with standard output on a pipe of ours; destroys `actions`.
    bool Spawn(const std::string& binary, posix_spawn_file_actions_t& actions)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            posix_spawn_file_actions_destroy(&actions);
            return false;
        }
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        std::string program = binary;
        std::string option = "--headless";
        char* argv[] = {program.data(), option.data(), nullptr};
        const int spawned = posix_spawn(&m_pid, binary.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        m_out = fds[0];
        if (spawned != 0)
            m_pid = -1;
        return spawned == 0;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_errors = -1;
    std::string m_errorFile;
};

} // namespace vesperaprocess
