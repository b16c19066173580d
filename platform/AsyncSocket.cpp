#include <platform/AsyncSocket.h>

#include <platform/HostAddress.h>
#include <platform/SocketError.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <climits>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kMaxPort = 65535;
constexpr size_t kReadChunk = 4096;

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

bool NameOf(int fd, bool peer, std::string& host, unsigned& port)
{
    sockaddr_in address{};
    socklen_t size = sizeof address;
    sockaddr* raw = reinterpret_cast<sockaddr*>(&address);
    const int rc = peer ? getpeername(fd, raw, &size) : getsockname(fd, raw, &size);
    if (rc != 0 || address.sin_family != AF_INET)
        return false;
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address.sin_addr, text, sizeof text))
        return false;
    host = text;
    port = ntohs(address.sin_port);
    return true;
}

class CDescriptorGuard {
public:
    explicit CDescriptorGuard(int descriptor) : fd(descriptor) {}
    ~CDescriptorGuard()
    {
        if (fd >= 0)
            ::close(fd);
    }
    CDescriptorGuard(const CDescriptorGuard&) = delete;
    CDescriptorGuard& operator=(const CDescriptorGuard&) = delete;

private:
    int fd;
};

} // namespace

CAsyncSocket::CAsyncSocket(CEventLoop* loop) : preferredLoop(loop), alive(std::make_shared<bool>(true)) {}

CAsyncSocket::~CAsyncSocket()
{
    Close();
    *alive = false;
}

bool CAsyncSocket::Create(unsigned port, const char* address)
{
    if (fd >= 0)
        return Fail(WSAEISCONN);
    if (port > kMaxPort)
        return Fail(WSAEINVAL);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (address && *address) {
        const int code = MakeAddress(address, port, local);
        if (code != 0)
            return Fail(code);
    }
    int descriptor = -1;
    const int code = NewStreamSocket(descriptor);
    if (code != 0)
        return Fail(code);
    if (port != 0) {
        // Lets a restarted agent take its fixed port while old connections
        // linger in TIME_WAIT; two live listeners on one port still fail.
        const int on = 1;
        setsockopt(descriptor, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        const int bind_error = WsaErrorFromErrno(errno);
        ::close(descriptor);
        return Fail(bind_error);
    }
    Attach(descriptor, State::Created);
    lastError = 0;
    return true;
}

bool CAsyncSocket::Listen(int backlog)
{
    if (fd < 0)
        return Fail(WSAENOTSOCK);
    if (state != State::Created)
        return Fail(WSAEISCONN);
    if (::listen(fd, std::max(backlog, 0)) != 0)
        return Fail(WsaErrorFromErrno(errno));
    state = State::Listening;
    readArmed = true;
    UpdateWatch();
    lastError = 0;
    return true;
}

bool CAsyncSocket::Accept(CAsyncSocket& connected)
{
    if (state != State::Listening)
        return Fail(WSAEINVAL);
    if (&connected == this || connected.fd >= 0)
        return Fail(WSAEISCONN);
    acceptTaken = true;
    readArmed = true;
    UpdateWatch();
    const int client = AcceptDescriptor(fd);
    if (client < 0) {
        const int code = WsaErrorFromErrno(errno);
        if (code == WSAEMFILE || code == WSAENOBUFS)
            PauseAccepting();
        return Fail(code);
    }
    connected.Attach(client, State::Connected);
    connected.readArmed = true;
    connected.writeArmed = true;
    connected.UpdateWatch();
    connected.lastError = 0;
    lastError = 0;
    return true;
}

bool CAsyncSocket::Connect(const char* host, unsigned port, unsigned timeout_ms)
{
    if (state == State::Listening || state == State::Connected || state == State::PeerClosed)
        return Fail(WSAEISCONN);
    if (!host || !*host)
        return Fail(WSAEDESTADDRREQ);
    if (port == 0 || port > kMaxPort)
        return Fail(WSAEADDRNOTAVAIL);
    sockaddr_in remote{};
    int code = MakeAddress(host, port, remote);
    if (code != 0)
        return Fail(code);
    if (fd < 0 && !Open())
        return false;
    code = ConnectDescriptor(fd, remote, DeadlineAfter(timeout_ms));
    if (code != 0) {
        Close();
        PostConnectEvent(code);
        return Fail(code);
    }
    state = State::Connected;
    readArmed = true;
    UpdateWatch();
    PostConnectEvent(0);
    lastError = 0;
    return true;
}

int CAsyncSocket::Send(const void* data, size_t length)
{
    if (fd < 0)
        return FailCount(WSAENOTSOCK);
    if (state != State::Connected && state != State::PeerClosed)
        return FailCount(WSAENOTCONN);
    if (sendShut)
        return FailCount(WSAESHUTDOWN);
    if (!data && length > 0)
        return FailCount(WSAEFAULT);
    if (length > static_cast<size_t>(INT_MAX))
        return FailCount(WSAEMSGSIZE);
    size_t sent = 0;
    const int code =
        SendAll(fd, static_cast<const char*>(data), length, sendTimeout, Clock::time_point::max(), sent);
    if (code == WSAETIMEDOUT)
        return SendTimedOut(sent);
    if (code != 0)
        return FailCount(code);
    lastError = 0;
    return static_cast<int>(sent);
}

bool CAsyncSocket::PeerHasClosed() const
{
    if (fd < 0 || state == State::PeerClosed)
        return true;
    if (state != State::Connected)
        return false;
    char byte = 0;
    ssize_t n = -1;
    do {
        n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

int CAsyncSocket::Receive(void* buffer, size_t length)
{
    if (fd < 0)
        return FailCount(WSAENOTSOCK);
    if (state != State::Connected && state != State::PeerClosed)
        return FailCount(WSAENOTCONN);
    if (!buffer && length > 0)
        return FailCount(WSAEFAULT);
    if (state == State::Connected) {
        readArmed = true;
        UpdateWatch();
    }
    if (length == 0) {
        lastError = 0;
        return 0;
    }
    const size_t want = std::min(length, static_cast<size_t>(INT_MAX));
    ssize_t n = -1;
    do {
        n = ::recv(fd, buffer, want, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return FailCount(WsaErrorFromErrno(errno));
    lastError = 0;
    return static_cast<int>(n);
}

void CAsyncSocket::Close()
{
    if (fd < 0)
        return;
    if (activeLoop)
        activeLoop->RemoveWatch(fd);
    ::close(fd);
    fd = -1;
    activeLoop = nullptr;
    state = State::Closed;
    readArmed = writeArmed = acceptTaken = sendShut = false;
    *alive = false;
    alive = std::make_shared<bool>(true);
}

bool CAsyncSocket::GetPeerName(std::string& host, unsigned& port) const
{
    return fd >= 0 && NameOf(fd, true, host, port);
}

bool CAsyncSocket::GetSockName(std::string& host, unsigned& port) const
{
    return fd >= 0 && NameOf(fd, false, host, port);
}

int CAsyncSocket::GetLastError() const
{
    return lastError;
}

int CAsyncSocket::GetSocketHandle() const
{
    return fd;
}

void CAsyncSocket::SetSendTimeout(unsigned timeout_ms)
{
    sendTimeout = timeout_ms;
}

unsigned CAsyncSocket::GetSendTimeout() const
{
    return sendTimeout;
}

bool CAsyncSocket::Exchange(const char* host, unsigned port, const std::string& request, std::string& reply,
                            size_t max_reply, unsigned timeout_ms, int* error)
{
    reply.clear();
    int code = 0;
    sockaddr_in remote{};
    if (!host || !*host)
        code = WSAEDESTADDRREQ;
    else if (port == 0 || port > kMaxPort)
        code = WSAEADDRNOTAVAIL;
    else
        code = MakeAddress(host, port, remote);
    int descriptor = -1;
    if (code == 0)
        code = NewStreamSocket(descriptor);
    CDescriptorGuard guard(descriptor);
    const Clock::time_point deadline = DeadlineAfter(timeout_ms);
    if (code == 0)
        code = ConnectDescriptor(descriptor, remote, deadline);
    size_t sent = 0;
    if (code == 0)
        code = SendAll(descriptor, request.data(), request.size(), timeout_ms, deadline, sent);
    if (code == 0)
        code = ReadUntilClosed(descriptor, reply, max_reply, deadline);
    if (error)
        *error = code;
    return code == 0;
}

void CAsyncSocket::OnAccept(int) {}
void CAsyncSocket::OnReceive(int) {}
void CAsyncSocket::OnConnect(int) {}
void CAsyncSocket::OnClose(int) {}
void CAsyncSocket::OnSend(int) {}

bool CAsyncSocket::Fail(int code)
{
    lastError = code;
    return false;
}

int CAsyncSocket::FailCount(int code)
{
    lastError = code;
    return -1;
}

bool CAsyncSocket::Open()
{
    int descriptor = -1;
    const int code = NewStreamSocket(descriptor);
    if (code != 0)
        return Fail(code);
    Attach(descriptor, State::Created);
    return true;
}

void CAsyncSocket::Attach(int descriptor, State new_state)
{
    fd = descriptor;
    state = new_state;
    readArmed = writeArmed = acceptTaken = sendShut = false;
    activeLoop = preferredLoop ? preferredLoop : CEventLoop::Current();
    if (activeLoop && !activeLoop->AddWatch(fd, 0, [this](int, unsigned events) { OnLoopEvents(events); }))
        activeLoop = nullptr;
}

void CAsyncSocket::UpdateWatch()
{
    if (!activeLoop || fd < 0)
        return;
    unsigned events = 0;
    if (readArmed)
        events |= CEventLoop::kReadable;
    if (writeArmed)
        events |= CEventLoop::kWritable;
    activeLoop->ModifyWatch(fd, events);
}

void CAsyncSocket::OnLoopEvents(unsigned events)
{
    // Any handler below may close or delete this socket.
    const std::shared_ptr<bool> token = alive;
    if ((events & CEventLoop::kWritable) && writeArmed) {
        writeArmed = false;
        UpdateWatch();
        OnSend(0);
        if (!*token)
            return;
    }
    if (!(events & CEventLoop::kReadable) || !readArmed)
        return;
    if (state == State::Listening)
        HandleListenerReadable();
    else if (state == State::Connected)
        HandleConnectionReadable();
}

void CAsyncSocket::HandleListenerReadable()
{
    const std::shared_ptr<bool> token = alive;
    readArmed = false;
    acceptTaken = false;
    UpdateWatch();
    OnAccept(0);
    if (!*token || acceptTaken)
        return;
    RefusePendingConnection();
    readArmed = true;
    UpdateWatch();
}

void CAsyncSocket::HandleConnectionReadable()
{
    char byte = 0;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
        readArmed = false;
        UpdateWatch();
        OnReceive(0);
        return;
    }
    if (n == 0) {
        PeerClosed(0);
        return;
    }
    if (errno == EAGAIN || errno == EINTR)
        return;
    PeerClosed(WsaErrorFromErrno(errno));
}

void CAsyncSocket::PeerClosed(int code)
{
    state = State::PeerClosed;
    readArmed = false;
    writeArmed = false;
    UpdateWatch();
    OnClose(code);
}

int CAsyncSocket::AcceptDescriptor(int listener)
{
    int client = -1;
    do {
        client = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (client < 0 && errno == EINTR);
    return client;
}

// Out of descriptors the waiting connection cannot be taken, so the
// listener would be readable again at once: it stops listening for a moment
// instead of spinning, and the connection waits in the backlog.
void CAsyncSocket::PauseAccepting()
{
    readArmed = false;
    UpdateWatch();
    if (!activeLoop)
        return;
    activeLoop->AddTimer(kAcceptPauseMs, false, [this, token = alive](CEventLoop::TimerId) {
        if (!*token || state != State::Listening)
            return;
        readArmed = true;
        UpdateWatch();
    });
}

void CAsyncSocket::RefusePendingConnection()
{
    const int client = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client >= 0)
        ::close(client);
}

void CAsyncSocket::PostConnectEvent(int code)
{
    CEventLoop* loop = activeLoop ? activeLoop : (preferredLoop ? preferredLoop : CEventLoop::Current());
    if (!loop)
        return;
    loop->Post([this, token = alive, code] {
        if (!*token)
            return;
        if (code == 0 && fd >= 0) {
            // The socket can take data from the start, told after OnConnect.
            writeArmed = true;
            UpdateWatch();
        }
        OnConnect(code);
    });
}

int CAsyncSocket::SendTimedOut(size_t sent)
{
    if (sent > 0) {
        ::shutdown(fd, SHUT_WR);
        sendShut = true;
    } else {
        writeArmed = true;
        UpdateWatch();
    }
    return FailCount(WSAETIMEDOUT);
}
