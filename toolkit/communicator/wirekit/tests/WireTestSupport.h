#pragma once

// Shared by the socket tests: a window that records notifications, a loop
// driver that runs until a condition holds, a log read back line by line,
// and a plain blocking peer on 127.0.0.1.

#include <basekit/Debug.h>
#include <platform/EventLoop.h>
#include <platform/testing/LoopWait.h>
#include <platform/Wnd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace wiretest {

constexpr const char* kLoopback = "127.0.0.1";
using loopwait::kDeadline;

struct Notification {
    unsigned msg;
    uintptr_t wparam;
    intptr_t lparam;
};

// Records every socket notification it receives.
class CRecordingWnd : public CWnd {
public:
    using CWnd::CWnd;

    std::vector<Notification> notifications;
    std::function<void(const Notification&)> on_notify;

protected:
    intptr_t WindowProc(unsigned msg, uintptr_t wparam, intptr_t lparam) override
    {
        if (msg == WM_SOCKET_NOTIFY) {
            notifications.push_back({msg, wparam, lparam});
            if (on_notify)
                on_notify(notifications.back());
        }
        return CWnd::WindowProc(msg, wparam, lparam);
    }
};

using loopwait::DeliverPosted;
using loopwait::RunUntil;

// A debug log in a private file, read back without the line prefixes.
class CLogFile {
public:
    CLogFile()
    {
        char pattern[] = "/tmp/wirekit-log-XXXXXX";
        const char* dir = mkdtemp(pattern);
        if (dir)
            path = std::string(dir) + "/debug.txt";
        logger.Create(path.c_str());
    }
    ~CLogFile()
    {
        logger.close();
        std::remove(path.c_str());
        rmdir(path.substr(0, path.rfind('/')).c_str());
    }

    // The texts of all lines so far, without "[counter] [time] ".
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) {
            const size_t counter_end = line.find("] ");
            const size_t time_end =
                counter_end == std::string::npos ? counter_end : line.find("] ", counter_end + 2);
            out.push_back(time_end == std::string::npos ? line : line.substr(time_end + 2));
        }
        return out;
    }

    int count(const std::string& text) const
    {
        const std::vector<std::string> all = lines();
        return static_cast<int>(std::count(all.begin(), all.end(), text));
    }

    CDebug logger;
    std::string path;
};

// A blocking TCP peer on 127.0.0.1 that the loop does not serve. Its reads
// and writes give up after a few seconds, so a test never hangs on it.
class CPeer {
public:
    CPeer() = default;
    ~CPeer() { close_now(); }
    CPeer(const CPeer&) = delete;
    CPeer& operator=(const CPeer&) = delete;

    bool connect_to(unsigned port)
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval limit{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, kLoopback, &address.sin_addr);
        return ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    // Writes all of `data` unless the connection fails; the bytes written.
    size_t send_all(const std::string& data) const
    {
        size_t sent = 0;
        while (sent < data.size()) {
            const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
        return sent;
    }

    // Reads exactly `size` bytes, or what came before the peer closed.
    std::string receive(size_t size) const
    {
        std::string out(size, '\0');
        size_t got = 0;
        while (got < size) {
            const ssize_t n = ::recv(fd, &out[got], size - got, 0);
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        out.resize(got);
        return out;
    }

    // 0 once the other side has closed, -1 on a read error or time-out.
    ssize_t read_once(char* buffer, size_t size) const { return ::recv(fd, buffer, size, 0); }

    unsigned local_port() const
    {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        return ntohs(address.sin_port);
    }

    // Ends the connection with a reset rather than an orderly close.
    void reset()
    {
        linger hard{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        close_now();
    }

    void close_now()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    int fd = -1;
};

} // namespace wiretest
