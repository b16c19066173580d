#include <platform/SocketCalls.h>

#include <platform/HostAddress.h>
#include <platform/SocketError.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace socketcalls {
namespace {
constexpr size_t kReadChunk = 4096;
} // namespace

Clock::time_point DeadlineAfter(unsigned timeout_ms)
{
    return Clock::now() + std::chrono::milliseconds(timeout_ms);
}

int MillisecondsUntil(Clock::time_point deadline)
{
    const Clock::time_point now = Clock::now();
    if (deadline <= now)
        return 0;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    return static_cast<int>(std::min<decltype(left)>(left, INT_MAX));
}

// Waits until fd is ready for `events`: 0, WSAETIMEDOUT, or another code.
// An error or hang-up counts as ready, so the next call on fd reports it.
int WaitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd item{};
        item.fd = fd;
        item.events = events;
        const int ready = ::poll(&item, 1, MillisecondsUntil(deadline));
        if (ready > 0)
            return 0;
        if (ready == 0)
            return WSAETIMEDOUT;
        if (errno != EINTR)
            return WsaErrorFromErrno(errno);
    }
}

int MakeAddress(const char* host, unsigned port, sockaddr_in& address)
{
    std::string text;
    const int code = ResolveIPv4(host, text);
    if (code != 0)
        return code;
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, text.c_str(), &address.sin_addr) != 1)
        return WSAHOST_NOT_FOUND;
    return 0;
}

int NewStreamSocket(int& fd)
{
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return fd < 0 ? WsaErrorFromErrno(errno) : 0;
}

int ConnectDescriptor(int fd, const sockaddr_in& address, Clock::time_point deadline)
{
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return 0;
    if (errno != EINPROGRESS && errno != EINTR)
        return WsaErrorFromErrno(errno);
    const int waited = WaitFor(fd, POLLOUT, deadline);
    if (waited != 0)
        return waited;
    int pending = 0;
    socklen_t size = sizeof pending;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) != 0)
        return WsaErrorFromErrno(errno);
    return WsaErrorFromErrno(pending);
}

// Writes all of data, waiting at most idle_ms for the socket to take more,
// and never past `deadline`. `sent` tells how much went out.
int SendAll(int fd, const char* data, size_t length, unsigned idle_ms, Clock::time_point deadline,
            size_t& sent)
{
    sent = 0;
    while (sent < length) {
        const ssize_t n = ::send(fd, data + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            // Linux reports a connection the peer has reset as EPIPE after
            // the first failure; to the caller it is the same broken link.
            return errno == EPIPE ? WSAECONNRESET : WsaErrorFromErrno(errno);
        const int waited = WaitFor(fd, POLLOUT, std::min(DeadlineAfter(idle_ms), deadline));
        if (waited != 0)
            return waited;
    }
    return 0;
}

int ReadUntilClosed(int fd, std::string& reply, size_t max_reply, Clock::time_point deadline)
{
    char chunk[kReadChunk];
    while (reply.size() < max_reply) {
        const int waited = WaitFor(fd, POLLIN, deadline);
        if (waited != 0)
            return waited;
        const size_t want = std::min(sizeof chunk, max_reply - reply.size());
        const ssize_t n = ::recv(fd, chunk, want, MSG_DONTWAIT);
        if (n == 0)
            return 0;
        if (n > 0) {
            reply.append(chunk, static_cast<size_t>(n));
            continue;
        }
        if (errno != EAGAIN && errno != EINTR)
            return WsaErrorFromErrno(errno);
    }
    return 0;
}

int ConnectOutcome(int fd)
{
    pollfd item{};
    item.fd = fd;
    item.events = POLLOUT;
    if (::poll(&item, 1, 0) <= 0)
        return -1;
    int pending = 0;
    socklen_t size = sizeof pending;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &size) != 0)
        return WsaErrorFromErrno(errno);
    return WsaErrorFromErrno(pending);
}

} // namespace socketcalls
