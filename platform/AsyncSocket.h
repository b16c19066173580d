#pragma once

#include <platform/EventLoop.h>

#include <cstddef>
#include <memory>
#include <string>
#include <netinet/in.h>
#include <sys/socket.h>

// A non-blocking IPv4 TCP socket whose events run as virtual handlers on an
// event loop: OnAccept when a connection waits on a listening socket,
// OnReceive when data waits, OnClose when the peer has closed or reset the
// connection, OnConnect when Connect has finished, OnSend when the socket can
// take data again. Error arguments and GetLastError() are Windows Sockets
// codes (<platform/SocketError.h>).
//
// Events re-arm the way Windows Sockets re-enables them: after OnReceive the
// next one comes only once Receive has been called, after OnAccept only once
// Accept has been called. A connection that OnAccept leaves unaccepted is
// refused (accepted and closed at once), so the listener never stalls on it.
// An Accept that fails for want of descriptors (WSAEMFILE, WSAENOBUFS)
// pauses the listener for kAcceptPauseMs rather than letting it spin.
//
// Connect and Send block the thread, with time-outs, so that a caller gets a
// definite result and a dead peer cannot freeze it; ConnectAsync leaves the
// wait for a slow peer to the loop. Send never raises SIGPIPE.
//
// A handler may delete its own socket. The loop must outlive the socket.
class CAsyncSocket {
public:
    static constexpr unsigned kDefaultTimeoutMs = 5000;
    // How long a listener waits after running out of descriptors before it
    // accepts again.
    static constexpr unsigned kAcceptPauseMs = 250;

    // Events run on `loop`, or on CEventLoop::Current() at the time the
    // socket gets its descriptor (Create, Connect or Accept) when null.
    // Without any loop the socket works, without events.
    explicit CAsyncSocket(CEventLoop* loop = nullptr);
    virtual ~CAsyncSocket();

    CAsyncSocket(const CAsyncSocket&) = delete;
    CAsyncSocket& operator=(const CAsyncSocket&) = delete;

    // Makes the socket and binds it to `port` (0: the system chooses, see
    // GetSockName) on `address` (null or empty: every local address).
    bool Create(unsigned port = 0, const char* address = nullptr);
    // The queue of connections not yet accepted; the system maximum unless told.
    bool Listen(int backlog = SOMAXCONN);
    // Takes a waiting connection into `connected`, which must not be open.
    // False with WSAEWOULDBLOCK when none waits.
    bool Accept(CAsyncSocket& connected);
    // Connects to host:port, waiting at most timeout_ms; creates the socket
    // first when Create was not called. The socket stays non-blocking
    // afterwards. A failed attempt closes the socket, so a retry starts
    // afresh. OnConnect follows on the loop either way.
    bool Connect(const char* host, unsigned port, unsigned timeout_ms = kDefaultTimeoutMs);
    // Connects without waiting: true when the connection is made or under
    // way (IsConnecting), false with the error when it failed at once. A
    // connect under way ends on the loop with OnConnect: 0, the error, or
    // WSAETIMEDOUT after timeout_ms, the socket then closed. Without a loop
    // it waits as Connect does.
    bool ConnectAsync(const char* host, unsigned port, unsigned timeout_ms = kDefaultTimeoutMs);
    bool IsConnecting() const { return state == State::Connecting; }

    // Writes the whole buffer, waiting while the peer is not reading; gives
    // up when the socket takes nothing for the send time-out. Returns the
    // length, or -1 with the last error set. A time-out after part of the
    // buffer went out shuts the sending side down, so that no later data is
    // glued to the cut message; later sends fail with WSAESHUTDOWN.
    int Send(const void* data, size_t length);
    // One read of at most `length` bytes: the count, 0 when the peer has
    // closed, -1 with the last error set (WSAEWOULDBLOCK: nothing waits).
    int Receive(void* buffer, size_t length);
    // Whether the peer has closed or reset a connection whose close the loop
    // has not reported yet: a write into it succeeds once and is lost.
    // Looks without taking data; false while the connection stands or data
    // still waits to be read.
    bool PeerHasClosed() const;
    // Closes the descriptor; pending events are dropped. No OnClose follows.
    void Close();

    bool GetPeerName(std::string& host, unsigned& port) const;
    bool GetSockName(std::string& host, unsigned& port) const;

    // The code of the last failed operation, 0 after a successful one.
    int GetLastError() const;
    // The descriptor, -1 when closed.
    int GetSocketHandle() const;

    void SetSendTimeout(unsigned timeout_ms);
    unsigned GetSendTimeout() const;

    // Request and reply over one new connection, for line-protocol clients:
    // connects, sends the request, then reads until the peer closes or
    // max_reply bytes have arrived. The whole exchange takes at most
    // timeout_ms. True on a complete reply; otherwise false with `reply`
    // holding what did arrive and *error (when given) the code.
    static bool Exchange(const char* host, unsigned port, const std::string& request, std::string& reply,
                         size_t max_reply, unsigned timeout_ms = kDefaultTimeoutMs, int* error = nullptr);

protected:
    virtual void OnAccept(int error);
    virtual void OnReceive(int error);
    virtual void OnConnect(int error);
    virtual void OnClose(int error);
    virtual void OnSend(int error);
    // Takes one waiting connection off the listening descriptor: the new,
    // non-blocking descriptor, or -1 with errno set. Tests stand in a
    // system that is short of descriptors here.
    virtual int AcceptDescriptor(int listener);

private:
    enum class State { Closed, Created, Listening, Connecting, Connected, PeerClosed };

    bool Fail(int code);
    int FailCount(int code);
    bool Open();
    void Attach(int descriptor, State new_state);
    void UpdateWatch();
    void OnLoopEvents(unsigned events);
    void HandleListenerReadable();
    void HandleConnectionReadable();
    void PeerClosed(int code);
    void RefusePendingConnection();
    void PauseAccepting();
    int BeginConnect(const char* host, unsigned port, sockaddr_in& remote);
    // A connect that ended before its call returned: OnConnect is posted.
    bool EndConnectAtOnce(int code);
    // A connect that ended on the loop: OnConnect is called.
    void EndConnectLater(int code);
    void HandleConnectWritable();
    void PostConnectEvent(int code);
    int SendTimedOut(size_t sent);

    CEventLoop* preferredLoop;
    CEventLoop* activeLoop = nullptr;
    int fd = -1;
    State state = State::Closed;
    bool readArmed = false;
    bool writeArmed = false;
    bool acceptTaken = false;
    bool sendShut = false;
    int lastError = 0;
    unsigned sendTimeout = kDefaultTimeoutMs;
    CEventLoop::TimerId connectTimer = CEventLoop::kNoTimer;
    // Shared with queued events and the dispatch in progress: false once
    // this incarnation of the socket is closed or destroyed.
    std::shared_ptr<bool> alive;
};
