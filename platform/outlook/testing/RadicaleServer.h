#pragma once

// A Radicale CalDAV/CardDAV server for the tests: started on 127.0.0.1 at a
// port the system chose, with a temporary storage folder and one user in a
// plain htpasswd file, stopped (and its folder removed) with the object.
// HOME points at a folder whose .netrc holds the user's password, as a
// user's would, for the life of the object.

#include <platform/testing/ChildProcess.h>
#include <platform/testing/TempDir.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

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
        Write(root + "/config", "[server]\nhosts = 127.0.0.1:" + std::to_string(m_port) +
                                    "\n[auth]\ntype = htpasswd\nhtpasswd_filename = " + root +
                                    "/users\nhtpasswd_encryption = plain\n[storage]\nfilesystem_folder = " +
                                    root + "/collections\n");
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

    unsigned Port() const { return m_port; }
    std::string Url(const std::string& path = "/") const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    std::string Errors() const { return m_process ? m_process->Errors() : std::string(); }

private:
    static void Write(const std::string& path, const std::string& text)
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

    static sockaddr_in Loopback(unsigned port)
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        return address;
    }

    static unsigned FreePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(0);
        socklen_t size = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        ::close(fd);
        return ntohs(address.sin_port);
    }

    // The server takes a moment to start Python; it is ready once it
    // accepts a connection.
    bool WaitUntilListening() const
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in address = Loopback(m_port);
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
    std::optional<CChildProcess> m_process;
};

} // namespace testsupport
