#pragma once

// An X server of the test's own (Xvfb, on a display number it picks itself)
// with a notification area (trayer), and the X tools the window tests look
// with. Everything started is stopped when the object goes.

#include <platform/testing/ChildProcess.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
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

class CDesktopSession {
public:
    CDesktopSession() = default;
    ~CDesktopSession()
    {
        m_tray.reset();
        StopServers();
    }
    CDesktopSession(const CDesktopSession&) = delete;
    CDesktopSession& operator=(const CDesktopSession&) = delete;

    // The programs this needs that are not installed; empty when all are.
    static std::string MissingTools()
    {
        std::string missing;
        for (const char* tool : {"Xvfb", "trayer", "xwininfo", "xdotool"}) {
            if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0)
                missing += std::string(missing.empty() ? "" : ", ") + tool;
        }
        return missing;
    }

    // Starts the server and (unless not `withTray`) the tray and points
    // DISPLAY at them. On failure, Failure() says which and why. A server
    // that does not answer, or on which no tray shows, is left for one on
    // another display: a display just ended and taken again has been seen
    // to refuse its first client.
    bool Start(const std::string& errorDirectory, bool withTray = true)
    {
        m_errorDirectory = errorDirectory;
        const std::string errors = errorDirectory + "/xvfb.err";
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!StartServer(errors)) {
                Fail("Xvfb gave no display: " + FileText(errors));
                continue;
            }
            setenv("DISPLAY", m_display.c_str(), 1);
            unsetenv("WAYLAND_DISPLAY");
            if (!WaitFor([this] { return Answers(); }, std::chrono::seconds(10))) {
                Fail("Xvfb on " + m_display + (ServerEnded() ? " ended: " : " does not answer: ") +
                     FileText(errors));
                continue;
            }
            if (!withTray || StartTray())
                return true;
        }
        return false;
    }

    // Ends the tray and starts a new one, as when the desktop's panel
    // restarts.
    bool RestartTray()
    {
        m_tray.reset();
        WaitFor([this] { return !HasPanel(); });
        return StartTray();
    }

    const std::string& Display() const { return m_display; }
    const std::string& Failure() const { return m_failure; }

    // Starts a tray, as a panel that starts after the programs of the
    // session. A trayer that ends or shows no panel is started once more:
    // it has been seen to lose its start on a loaded machine.
    bool StartTray()
    {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (StartTrayOnce())
                return true;
        }
        return Fail("trayer showed no panel on " + m_display +
                    (Answers() ? "" : ", which no longer answers") + ": " +
                    FileText(m_errorDirectory + "/trayer.err"));
    }

    // Runs a shell command line of X tools on the display; its exit status.
    static int Run(const std::string& command)
    {
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Waits for a window of the process `pid` (its message box) and answers
    // it with Return; false when none showed.
    static bool AnswerBoxOf(pid_t pid)
    {
        const std::string box =
            "xdotool search --onlyvisible --pid " + std::to_string(pid) + " --name vespera";
        if (!WaitFor([&] { return Run(box + " >/dev/null 2>&1") == 0; }))
            return false;
        Run(box + " windowfocus key Return >/dev/null 2>&1");
        return true;
    }

    // The standard output of a command line.
    static std::string Output(const std::string& command)
    {
        std::string text;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[4096];
            std::size_t got = 0;
            while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
                text.append(buffer, got);
            ::pclose(pipe);
        }
        return text;
    }

    // Checks `condition` until it holds or `patience` has passed.
    template <class Condition>
    static bool WaitFor(Condition condition, std::chrono::seconds patience = std::chrono::seconds(30))
    {
        const auto deadline = std::chrono::steady_clock::now() + patience;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

private:
    bool Answers() const { return Run("xwininfo -root -display " + m_display + " >/dev/null 2>&1") == 0; }
    bool ServerEnded() const { return testsupport::ChildHasExited(m_server); }

    bool HasPanel() const
    {
        return Run("xwininfo -name panel -display " + m_display + " >/dev/null 2>&1") == 0;
    }

    bool StartTrayOnce()
    {
        m_tray = std::make_unique<testsupport::CChildProcess>();
        if (!m_tray->Start("/usr/bin/trayer",
                           {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "160",
                            "--heighttype", "pixel", "--height", "28"},
                           m_errorDirectory + "/trayer.err"))
            return false;
        return WaitFor([this] { return HasPanel() || m_tray->HasExited(); }, std::chrono::seconds(15)) &&
               HasPanel();
    }

    bool Fail(const std::string& why)
    {
        m_failure = why;
        return false;
    }

    static std::string FileText(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str().empty() ? "(" + path + " is empty)" : text.str();
    }

    // Xvfb picks a free display and writes its number to the pipe once it
    // accepts connections. A server an earlier try left is kept until the
    // end, so that this one takes another display.
    bool StartServer(const std::string& errorFile)
    {
        if (m_server > 0)
            m_failedServers.push_back(m_server);
        m_server = -1;
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<std::string> args{"Xvfb", "-displayfd",  "3",         "-screen",
                                      "0",    "1024x768x24", "-nolisten", "tcp"};
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const int spawned = posix_spawnp(&m_server, "Xvfb", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        std::string number;
        pollfd item{fds[0], POLLIN, 0};
        char c = 0;
        while (spawned == 0 && ::poll(&item, 1, 30000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (spawned != 0)
            m_server = -1;
        if (number.empty())
            return false;
        m_display = ":" + number;
        return true;
    }

    void StopServers()
    {
        m_failedServers.push_back(m_server);
        for (pid_t server : m_failedServers) {
            if (server > 0) {
                ::kill(server, SIGTERM);
                ::waitpid(server, nullptr, 0);
            }
        }
        m_failedServers.clear();
        m_server = -1;
    }

    pid_t m_server = -1;
    std::vector<pid_t> m_failedServers;
    std::string m_display;
    std::string m_errorDirectory;
    std::string m_failure;
    std::unique_ptr<testsupport::CChildProcess> m_tray;
};

} // namespace vesperaprocess
