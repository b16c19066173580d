#pragma once

// Shared by the socket tests: a window that records notifications, a loop
// driver that runs until a condition holds, a log read back line by line,
// and a plain blocking peer on 127.0.0.1.

#include <basekit/Debug.h>
#include <platform/EventLoop.h>
#include <platform/Wnd.h>
#include <platform/testing/LoopWait.h>
#include <platform/testing/Peer.h>

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

using testsupport::CPeer;

} // namespace wiretest
