#pragma once

// A relay on 127.0.0.1 that passes every connection made to it on to a
// target port and keeps a copy of the bytes going each way: what someone
// on the wire between two programs would see.

#include <platform/testing/Loopback.h>

#include <poll.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class CWireTap {
public:
    explicit CWireTap(unsigned target) : m_target(target)
    {
        m_listener = BoundLoopbackSocket(m_port);
        ::listen(m_listener, 8);
        m_thread = std::thread([this] { Run(); });
    }
    ~CWireTap()
    {
        m_stop = true;
        m_thread.join();
        for (const SPair& pair : m_pairs) {
            ::close(pair.fd[0]);
            ::close(pair.fd[1]);
        }
        ::close(m_listener);
    }
    CWireTap(const CWireTap&) = delete;
    CWireTap& operator=(const CWireTap&) = delete;

    unsigned Port() const { return m_port; }
    // Every byte that crossed, both ways, in the order read.
    std::string Seen() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

private:
    // Side 0 is the connection made to the tap, side 1 the one to the
    // target; a side whose peer has closed is no longer read.
    struct SPair {
        int fd[2];
        bool reading[2];
    };

    void Run()
    {
        while (!m_stop) {
            std::vector<pollfd> items{{m_listener, POLLIN, 0}};
            for (const SPair& pair : m_pairs) {
                for (int side = 0; side < 2; ++side)
                    items.push_back({pair.reading[side] ? pair.fd[side] : -1, POLLIN, 0});
            }
            if (::poll(items.data(), items.size(), 50) <= 0)
                continue;
            for (std::size_t i = 1; i < items.size(); ++i) {
                if (items[i].revents & (POLLIN | POLLHUP | POLLERR))
                    Pass(m_pairs[(i - 1) / 2], static_cast<int>((i - 1) % 2));
            }
            if (items[0].revents & POLLIN)
                Accept();
        }
    }

    void Accept()
    {
        const int from = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        const int to = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in target = LoopbackAddress(m_target);
        if (from < 0 || to < 0 ||
            ::connect(to, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
            ::close(from);
            ::close(to);
            return;
        }
        m_pairs.push_back({{from, to}, {true, true}});
    }

    // A side that closed closes the other side's writing, as its peer did.
    void Pass(SPair& pair, int side)
    {
        char buffer[16384];
        const ssize_t got = ::recv(pair.fd[side], buffer, sizeof buffer, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (got <= 0) {
            pair.reading[side] = false;
            ::shutdown(pair.fd[1 - side], SHUT_WR);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_seen.append(buffer, static_cast<std::size_t>(got));
        }
        ::send(pair.fd[1 - side], buffer, static_cast<std::size_t>(got), MSG_NOSIGNAL);
    }

    unsigned m_target;
    int m_listener = -1;
    unsigned m_port = 0;
    std::vector<SPair> m_pairs;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::string m_seen;
    std::thread m_thread;
};

} // namespace testsupport
