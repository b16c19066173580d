#include <platform/AsyncSocket.h>

#include <platform/SocketCalls.h>
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

using namespace socketcalls;

namespace {

constexpr unsigned kMaxPort = 65535;

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
    if (activeLoop && connectTimer != CEventLoop::kNoTimer)
        activeLoop->KillTimer(connectTimer);
    connectTimer = CEventLoop::kNoTimer;
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
    if (state == State::Connecting) {
        if (events & CEventLoop::kWritable)
            HandleConnectWritable();
        return;
    }
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
