#pragma once

// A Radicale CalDAV/CardDAV server for the tests: started on 127.0.0.1 at a
// port the system chose, with a temporary storage folder and one user in a
// plain htpasswd file, stopped (and its folder removed) with the object.
// HOME points at a folder whose .netrc holds the user's password, as a
// user's would, for the life of the object.

#include <outlook/DavClient.h>

#include <platform/testing/ChildProcess.h>
#include <platform/testing/Loopback.h>
#include <platform/testing/TempDir.h>

#include <poll.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace testsupport {

class CRadicaleServer {
public:
    static constexpr const char* Binary = "/usr/bin/radicale";
    static constexpr const char* User = "ann";
    static constexpr const char* Password = "secret";

    CRadicaleServer()
    {
        const char* home = std::getenv("HOME");
        m_oldHome = home ? std::optional<std::string>(home) : std::nullopt;
        const std::string root = m_dir.Path();
        Write(root + "/users", std::string(User) + ":" + Password + "\n");
        Write(root + "/.netrc",
              "machine 127.0.0.1 login " + std::string(User) + " password " + Password + "\n");
        ::chmod((root + "/.netrc").c_str(), 0600);
        ::setenv("HOME", root.c_str(), 1);
    }
    ~CRadicaleServer()
    {
        Stop();
        if (m_oldHome)
            ::setenv("HOME", m_oldHome->c_str(), 1);
        else
            ::unsetenv("HOME");
    }
    CRadicaleServer(const CRadicaleServer&) = delete;
    CRadicaleServer& operator=(const CRadicaleServer&) = delete;

    static bool Available() { return ::access(Binary, X_OK) == 0; }

    // Starts the server (again, on the same port and storage, after Stop);
    // false when it does not listen within the wait.
    bool Start()
    {
        if (m_port == 0)
            m_port = FreePort();
        const std::string root = m_dir.Path();
        Write(root + "/config",
              "[server]\nhosts = 127.0.0.1:" + std::to_string(m_port) +
                  "\n[auth]\ntype = htpasswd\nhtpasswd_filename = " + root +
                  "/users\nhtpasswd_encryption = plain\n[storage]\nfilesystem_folder = " + root +
                  "/collections\n" + (m_logRequests ? "[logging]\nlevel = info\n" : ""));
        m_process.emplace();
        if (!m_process->Start(Binary, {"--config", root + "/config"}, root + "/radicale.err"))
            return false;
        return WaitUntilListening();
    }
    void Stop()
    {
        if (!m_process)
            return;
        m_process->Signal(SIGTERM);
        m_process->Wait();
        m_process.reset();
    }

    // From the next Start, each request and the seconds the server took for
    // it are written to Errors(): "PUT response status for '...' in 0.012
    // seconds: 201 Created".
    void LogRequests() { m_logRequests = true; }

    unsigned Port() const { return m_port; }
    std::string Url(const std::string& path = "/") const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::string Errors() const { return m_process ? m_process->Errors() : std::string(); }

    // What another device of the user's does: writes `text` at `path`
    // whatever is there, and reads every event of the calendar at `path`.
    bool DevicePuts(const std::string& path, const std::string& text) const
    {
        const long status =
            m_device.Request("PUT", Url(path), {"Content-Type: text/calendar; charset=utf-8"}, text).status;
        return status == 201 || status == 204;
    }
    std::string DeviceReads(const std::string& calendarPath) const
    {
        return m_device
            .Report(Url(calendarPath), 1,
                    "<c:calendar-query xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\"><d:prop>"
                    "<c:calendar-data/></d:prop><c:filter><c:comp-filter name=\"VCALENDAR\"/></c:filter>"
                    "</c:calendar-query>")
            .body;
    }

private:
    static void Write(const std::string& path, const std::string& text)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

    static unsigned FreePort()
    {
        unsigned port = 0;
        ::close(BoundLoopbackSocket(port));
        return port;
    }

    // The server takes a moment to start Python; it is ready once it
    // accepts a connection.
    bool WaitUntilListening() const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in address = LoopbackAddress(m_port);
            const bool connected =
                ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
            ::close(fd);
            if (connected)
                return true;
            ::poll(nullptr, 0, 20);
        }
        return false;
    }

    CTempDir m_dir;
    std::optional<std::string> m_oldHome;
    unsigned m_port = 0;
    bool m_logRequests = false;
    std::optional<CChildProcess> m_process;
    outlook::CDavClient m_device{{User, 5000}};
};

} // namespace testsupport
