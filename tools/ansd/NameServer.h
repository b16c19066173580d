#pragma once

#include <ansd/ClientConnection.h>
#include <ansd/RequestHandler.h>
#include <platform/EventLoop.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>

// The listening socket and every connection, on an event loop.
//
// Works with the loop's descriptor watchers and plain non-blocking sockets
// rather than CAsyncSocket: a busy server must accept every waiting
// connection in one go, answer without Nagle's delay, and never block on a
// client that does not read, where CAsyncSocket accepts one connection per
// event and sends by waiting for the peer.
class CNameServer {
public:
    CNameServer(CEventLoop& loop, CRequestHandler& handler, std::size_t maxClients, unsigned idleSeconds);
    ~CNameServer();

    CNameServer(const CNameServer&) = delete;
    CNameServer& operator=(const CNameServer&) = delete;

    // Binds to the IPv4 `address` and `port` (0: the system chooses) and
    // starts serving; false with `error` set when that fails.
    bool Listen(const std::string& address, unsigned port, std::string& error);

    // The port actually bound, 0 before Listen succeeded.
    unsigned Port() const;
    std::size_t ClientCount() const;

private:
    using Clock = CClientConnection::Clock;

    bool OpenListener(const std::string& address, unsigned port, std::string& error);
    void AcceptAll();
    bool AcceptOne();
    void RefuseWhenOutOfDescriptors();
    void AddClient(int fd, std::string peer);
    void OnClientEvents(int fd, unsigned events);
    void Update(int fd, const CClientConnection& client);
    void Drop(int fd);
    void CloseIdle();

    CEventLoop& loop;
    CRequestHandler& handler;
    std::size_t maxClients;
    Clock::duration idleLimit;
    int listenFd = -1;
    // Held open so that, out of descriptors, the server can still take a
    // waiting connection off the queue and close it instead of spinning.
    int spareFd = -1;
    unsigned port = 0;
    CEventLoop::TimerId idleTimer = CEventLoop::kNoTimer;
    std::unordered_map<int, std::unique_ptr<CClientConnection>> clients;
};
