// Connecting: the blocking Connect with its time-out, and ConnectAsync,
// which leaves the wait to the event loop.

#include <platform/AsyncSocket.h>

#include <platform/SocketCalls.h>
#include <platform/SocketError.h>

#include <cerrno>
#include <sys/socket.h>

using namespace socketcalls;

namespace {
constexpr unsigned kMaxPort = 65535;
} // namespace

int CAsyncSocket::BeginConnect(const char* host, unsigned port, sockaddr_in& remote)
{
    if (state == State::Listening || state == State::Connected || state == State::PeerClosed ||
        state == State::Connecting)
        return WSAEISCONN;
    if (!host || !*host)
        return WSAEDESTADDRREQ;
    if (port == 0 || port > kMaxPort)
        return WSAEADDRNOTAVAIL;
    const int code = MakeAddress(host, port, remote);
    if (code != 0)
        return code;
    return fd < 0 && !Open() ? lastError : 0;
}

bool CAsyncSocket::Connect(const char* host, unsigned port, unsigned timeout_ms)
{
    sockaddr_in remote{};
    const int code = BeginConnect(host, port, remote);
    if (code != 0)
        return Fail(code);
    return EndConnectAtOnce(ConnectDescriptor(fd, remote, DeadlineAfter(timeout_ms)));
}

// Most connects end at once (on this machine, or refused by the peer's
// host); only those still under way are left to the loop.
bool CAsyncSocket::ConnectAsync(const char* host, unsigned port, unsigned timeout_ms)
{
    sockaddr_in remote{};
    int code = BeginConnect(host, port, remote);
    if (code != 0)
        return Fail(code);
    if (!activeLoop)
        return EndConnectAtOnce(ConnectDescriptor(fd, remote, DeadlineAfter(timeout_ms)));
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0)
        return EndConnectAtOnce(0);
    code = errno == EINPROGRESS || errno == EINTR ? ConnectOutcome(fd) : WsaErrorFromErrno(errno);
    if (code >= 0)
        return EndConnectAtOnce(code);
    state = State::Connecting;
    writeArmed = true;
    UpdateWatch();
    connectTimer = activeLoop->AddTimer(timeout_ms, false, [this, token = alive](CEventLoop::TimerId) {
        if (!*token || state != State::Connecting)
            return;
        connectTimer = CEventLoop::kNoTimer;
        EndConnectLater(WSAETIMEDOUT);
    });
    lastError = 0;
    return true;
}

bool CAsyncSocket::EndConnectAtOnce(int code)
{
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

void CAsyncSocket::EndConnectLater(int code)
{
    if (connectTimer != CEventLoop::kNoTimer && activeLoop)
        activeLoop->KillTimer(connectTimer);
    connectTimer = CEventLoop::kNoTimer;
    if (code != 0) {
        Close();
        lastError = code;
        OnConnect(code);
        return;
    }
    state = State::Connected;
    readArmed = true;
    writeArmed = true;
    lastError = 0;
    UpdateWatch();
    OnConnect(0);
}

void CAsyncSocket::HandleConnectWritable()
{
    const int code = ConnectOutcome(fd);
    if (code >= 0)
        EndConnectLater(code);
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
