#include <wirekit/ServerSocket.h>

#include <wirekit/ClientSocket.h>
#include <wirekit/SocketEntry.h>

#include <basekit/Debug.h>
#include <platform/SocketError.h>
#include <platform/Wnd.h>

#include <cstring>
#include <memory>
#include <string>

CServerSocket::CServerSocket(CWnd* handler_window)
    : CAsyncSocket(handler_window ? handler_window->GetEventLoop() : nullptr), handler(handler_window)
{
}

CServerSocket::~CServerSocket()
{
    Close();
    // Dirty first, so that no connection logs or signals while it goes.
    for (CListElement* e = connections.get_element(0); e; e = e->get_next()) {
        if (CClientSocket* socket = socket_of(e))
            socket->set_dirty(1);
    }
    connections.delete_list();
}

unsigned CServerSocket::get_port()
{
    std::string host;
    unsigned port = 0;
    return GetSockName(host, port) ? port : 0;
}

void CServerSocket::OnAccept(int)
{
    if (!handler) {
        // Leaving the connection unaccepted makes the socket layer refuse it.
        debug("<CServerSocket> Invalid message handler given, closing connection ,..");
        return;
    }
    if (!make_room()) {
        // Left unaccepted, the connection is refused.
        debug("<CServerSocket> Every connection is busy, refusing a new one");
        return;
    }
    auto socket = std::make_unique<CClientSocket>(this, handler);
    if (!Accept(*socket)) {
        // Without descriptors the socket layer pauses accepting for a
        // moment; an idle connection goes to give the next one a chance.
        const bool short_of_descriptors = GetLastError() == WSAEMFILE || GetLastError() == WSAENOBUFS;
        if (short_of_descriptors && !out_of_descriptors)
            debug("<CServerSocket> Out of descriptors, closing the connection idle longest");
        if (!short_of_descriptors)
            debug("<CServerSocket> Unable to Accept on CSocket");
        out_of_descriptors = short_of_descriptors;
        if (CClientSocket* idle = short_of_descriptors ? longest_idle() : nullptr)
            idle->finish();
        return;
    }
    out_of_descriptors = false;
    debug("<CServerSocket> Accept succeeded");
    new_connection(socket.release());
}

// At the limit of open connections the one silent longest makes way; when
// every open connection has work for the agent, there is no room.
bool CServerSocket::make_room()
{
    if (count_open() < max_open)
        return true;
    CClientSocket* idle = longest_idle();
    if (!idle)
        return false;
    debug("<CServerSocket> Too many open connections, closing the one idle longest");
    idle->finish();
    return true;
}

CClientSocket* CServerSocket::longest_idle()
{
    CClientSocket* oldest = nullptr;
    for (CListElement* e = connections.get_element(0); e; e = e->get_next()) {
        CClientSocket* socket = socket_of(e);
        if (!socket || socket->is_finished() || !socket->is_quiet())
            continue;
        if (!oldest || socket->get_last_activity() < oldest->get_last_activity())
            oldest = socket;
    }
    return oldest;
}

std::size_t CServerSocket::count_open()
{
    std::size_t open = 0;
    for (CListElement* e = connections.get_element(0); e; e = e->get_next()) {
        CClientSocket* socket = socket_of(e);
        open += socket && !socket->is_finished() ? 1 : 0;
    }
    return open;
}

bool CServerSocket::too_idle(CClientSocket& socket, std::chrono::steady_clock::time_point now) const
{
    const auto silent = now - socket.get_last_activity();
    return socket.get_fragment_length() > 0 ? silent > idle_limits.partial : silent > idle_limits.quiet;
}

int CServerSocket::collect_connections(const CClientSocket* in_use)
{
    const auto now = std::chrono::steady_clock::now();
    int destroyed = 0;
    for (CListElement* e = connections.get_element(0); e;) {
        CListElement* next = e->get_next();
        CClientSocket* socket = socket_of(e);
        if (socket && socket != in_use) {
            if (!socket->is_finished() && socket->is_quiet() && too_idle(*socket, now)) {
                debug("<CServerSocket> Closing a connection that stayed silent too long");
                socket->finish();
            }
            // A dirty connection never hands out its queue again.
            if (socket->get_dirty() || (socket->is_finished() && socket->is_quiet())) {
                connections.delete_element(e);
                ++destroyed;
            }
        }
        e = next;
    }
    return destroyed;
}

int CServerSocket::new_connection(CClientSocket* socket)
{
    if (!add_connection(socket))
        return 0;
    if (socket->get_sockettype() == CClientSocket::SOCKET_TYPE_TCP) {
        std::string host;
        unsigned port = 0;
        if (socket->GetPeerName(host, port)) {
            socket->set_hostname(host.c_str());
            socket->set_port(port);
        }
    }
    return 1;
}

int CServerSocket::register_connection(CClientSocket* socket)
{
    return add_connection(socket);
}

int CServerSocket::add_connection(CClientSocket* socket)
{
    if (!socket || entry_of(socket))
        return 0;
    connections.add_element(new CSocketEntry(std::unique_ptr<CClientSocket>(socket)));
    socket->set_descriptor(next_descriptor++);
    socket->set_logger(logger);
    return 1;
}

CClientSocket* CServerSocket::get_connection(int descriptor)
{
    if (descriptor == -1)
        return nullptr;
    CClientSocket* found = nullptr;
    for (CListElement* e = connections.get_element(0); e; e = e->get_next()) {
        CClientSocket* socket = socket_of(e);
        if (socket && socket->get_descriptor() == descriptor)
            found = socket;
    }
    return found;
}

CClientSocket* CServerSocket::find_connection(const char* agent, const char*, unsigned)
{
    if (!agent)
        return nullptr;
    for (CListElement* e = connections.get_element(0); e; e = e->get_next()) {
        CClientSocket* socket = socket_of(e);
        if (!socket)
            continue;
        const char* name = socket->get_agentname();
        if (std::strcmp(name, CClientSocket::UNKNOWN_AGENT) == 0 || std::strcmp(name, BROADCAST_AGENT) == 0)
            continue;
        // A connection the peer has closed carries no reply: it would fail
        // and send the reply the long way, to an address that may be stale.
        if (!socket->is_finished() && std::strcmp(name, agent) == 0)
            return socket;
    }
    return nullptr;
}

int CServerSocket::remove_connection(CClientSocket* socket)
{
    CListElement* entry = entry_of(socket);
    if (!entry)
        return 0;
    connections.delete_element(entry);
    return 1;
}

CListElement* CServerSocket::entry_of(CClientSocket* socket)
{
    if (!socket)
        return nullptr;
    for (CListElement* e = connections.get_element(0); e; e = e->get_next()) {
        if (socket_of(e) == socket)
            return e;
    }
    return nullptr;
}

// Only the entries this server made hold connections; anything else that
// was put into the list is passed over.
CClientSocket* CServerSocket::socket_of(CListElement* element)
{
    auto* entry = dynamic_cast<CSocketEntry*>(element);
    return entry ? entry->get_socket() : nullptr;
}

CLList* CServerSocket::get_sockets()
{
    return &connections;
}

CWnd* CServerSocket::get_handler()
{
    return handler;
}

void CServerSocket::set_logger(CDebug* log)
{
    logger = log;
}

CDebug* CServerSocket::get_logger()
{
    return logger;
}

void CServerSocket::debug(const char* text)
{
    if (logger && text)
        logger->debug(text);
}
