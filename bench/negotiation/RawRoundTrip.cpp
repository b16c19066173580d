#include "RawRoundTrip.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLoopback = "127.0.0.1";
constexpr std::size_t kRawMessageSize = RawMessageSize;
constexpr int kRawRoundTrips = 20000;

bool SendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReceiveAll(int fd, char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void EchoUntilClosed(int listener)
{
    const int fd = ::accept(listener, nullptr, nullptr);
    char buffer[kRawMessageSize];
    while (fd >= 0 && ReceiveAll(fd, buffer, sizeof buffer) && SendAll(fd, buffer, sizeof buffer)) {
    }
    _exit(0);
}

} // namespace

// Seconds per round trip of a 512-byte ping-pong with another process over
// 127.0.0.1, Nagle off as on the agents' connections; negative on failure.
double RawRoundTrip()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, kLoopback, &address.sin_addr);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return -1;
    const pid_t echo = ::fork();
    if (echo == 0)
        EchoUntilClosed(listener);
    ::close(listener);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    double seconds = -1;
    if (echo > 0 && fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        char buffer[kRawMessageSize] = {};
        bool ok = true;
        for (int i = 0; ok && i < kRawRoundTrips / 10; ++i)
            ok = SendAll(fd, buffer, sizeof buffer) && ReceiveAll(fd, buffer, sizeof buffer);
        const auto start = Clock::now();
        for (int i = 0; ok && i < kRawRoundTrips; ++i)
            ok = SendAll(fd, buffer, sizeof buffer) && ReceiveAll(fd, buffer, sizeof buffer);
        if (ok)
            seconds = std::chrono::duration<double>(Clock::now() - start).count() / kRawRoundTrips;
    }
    if (fd >= 0)
        ::close(fd);
    if (echo > 0)
        ::waitpid(echo, nullptr, 0);
    return seconds;
}
