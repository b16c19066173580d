#include <wirekit/Delivery.h>

#include <wirekit/ClientSocket.h>
#include <wirekit/ServerSocket.h>

#include <basekit/Debug.h>
#include <platform/AsyncSocket.h>
#include <platform/SocketError.h>

#include <new>

CDelivery::CDelivery(CDebug& log) : log(log), connect_timeout_ms(CAsyncSocket::kDefaultTimeoutMs) {}

CClientSocket* CDelivery::deliver(CServerSocket& server, CWnd* handler, const char* agent, const char* host,
                                  unsigned port, const char* text, int& sent, const std::string& peer_key)
{
    sent = -1;
    if (!text)
        return nullptr;
    std::string copy(text);
    if (CClientSocket* open = send_on_open(server, agent, copy, sent))
        return open;
    copy = text;
    return send_on_new(server, handler, agent, host, port, copy, sent, peer_key);
}

CClientSocket* CDelivery::send_on_open(CServerSocket& server, const char* agent, std::string& text, int& sent)
{
    CClientSocket* connection = server.find_connection(agent, nullptr, 0);
    if (!connection)
        return nullptr;
    if (connection->PeerHasClosed()) {
        log.dprintf("<CCommunicator> [%s] closed its connection, connecting anew", agent ? agent : "");
        last_error = WSAECONNRESET;
        connection->set_dirty(1);
        return nullptr;
    }
    sent = connection->send_when_connected(text.data());
    if (sent >= 0)
        return connection;
    last_error = connection->GetLastError();
    connection->set_dirty(1);
    return nullptr;
}

CClientSocket* CDelivery::send_on_new(CServerSocket& server, CWnd* handler, const char* agent,
                                      const char* host, unsigned port, std::string& text, int& sent,
                                      const std::string& peer_key)
{
    sent = -1;
    const bool named = agent && *agent;
    std::unique_ptr<CClientSocket> socket =
        open_connection(&server, handler, agent, host, port, named && !wait_for_connect);
    if (!socket)
        return nullptr;
    const CKeyPair* ours = server.get_key_pair();
    if (named && ours && !peer_key.empty())
        socket->start_tls(*ours, peer_key);
    if (socket->awaiting_connect())
        socket->set_connect_failure([this, agent = std::string(agent), host = std::string(host),
                                     port](CClientSocket&, int error, std::vector<std::string> texts) {
            connect_failed(agent, host, port, error, std::move(texts));
        });
    sent = socket->send_when_connected(text.data());
    if (sent < 0) {
        last_error = socket->GetLastError();
        return nullptr;
    }
    if (!agent || !*agent)
        return nullptr;
    CClientSocket* kept = socket.get();
    if (!server.register_connection(kept))
        return nullptr;
    socket.release();
    return kept;
}

std::unique_ptr<CClientSocket> CDelivery::connect(CServerSocket* server, CWnd* handler, const char* agent,
                                                  const char* host, unsigned port)
{
    return open_connection(server, handler, agent, host, port, false);
}

std::unique_ptr<CClientSocket> CDelivery::open_connection(CServerSocket* server, CWnd* handler,
                                                          const char* agent, const char* host, unsigned port,
                                                          bool without_waiting)
{
    std::unique_ptr<CClientSocket> socket(new (std::nothrow) CClientSocket(server, handler));
    if (!socket || !socket->Create()) {
        last_error = socket ? socket->GetLastError() : WSAENOBUFS;
        log.debug("<CCommunicator> Communicator returned: Error creating socket");
        return nullptr;
    }
    if (agent && *agent)
        socket->set_agentname(agent);
    if (!host) {
        last_error = WSAEDESTADDRREQ;
        return nullptr;
    }
    if (held_unreachable(host, port)) {
        last_error = WSAETIMEDOUT;
        log.dprintf("<CCommunicator> [%s][%d] did not answer lately, not connecting to it yet", host,
                    static_cast<int>(port));
        return nullptr;
    }
    const bool made = without_waiting ? socket->ConnectAsync(host, port, connect_timeout_ms)
                                      : socket->Connect(host, port, connect_timeout_ms);
    if (!made) {
        last_error = socket->GetLastError();
        if (last_error == WSAETIMEDOUT)
            hold_unreachable(host, port);
        return nullptr;
    }
    socket->set_hostname(host);
    socket->set_port(port);
    return socket;
}

void CDelivery::connect_failed(const std::string& agent, const std::string& host, unsigned port, int error,
                               std::vector<std::string> texts)
{
    last_error = error;
    if (error == WSAETIMEDOUT)
        hold_unreachable(host.c_str(), port);
    if (failure_handler)
        failure_handler(agent, host, port, error, std::move(texts));
}

void CDelivery::hold_unreachable(const char* host, unsigned port)
{
    const std::string address = std::string(host) + ":" + std::to_string(port);
    unreachable[address] = std::chrono::steady_clock::now() + UNREACHABLE_HOLD;
    log.dprintf("<CCommunicator> Connecting to [%s][%d] timed out; not trying it again for %d seconds", host,
                static_cast<int>(port), static_cast<int>(UNREACHABLE_HOLD.count()));
}

bool CDelivery::held_unreachable(const char* host, unsigned port)
{
    const auto now = std::chrono::steady_clock::now();
    for (auto it = unreachable.begin(); it != unreachable.end();)
        it = it->second <= now ? unreachable.erase(it) : std::next(it);
    return unreachable.count(std::string(host) + ":" + std::to_string(port)) > 0;
}
