#pragma once

// A plain blocking TCP client on 127.0.0.1 for tests: it sends and reads
// exact bytes, outside any event loop, with five-second time-outs.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport {

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
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        return ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    // Writes `data` until the connection fails; the bytes written.
    size_t send(const std::string& data) const
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
    // Whether all of `data` went out.
    bool send_all(const std::string& data) const { return send(data) == data.size(); }

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

    // Everything up to the peer's close (or the read time-out).
    std::string receive_all() const
    {
        std::string out;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            out.append(buffer, static_cast<size_t>(n));
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

} // namespace testsupport
