#pragma once

#include <platform/AsyncSocket.h>

#include <basekit/LList.h>

class CClientSocket;
class CDebug;
class CWnd;

// The agent's listening socket and the owner of every connection, accepted or
// opened for sending.
//
// Listen with the inherited Create(port, address) and Listen(backlog); port 0
// lets the system choose, and get_port() tells which it chose. Each accepted
// connection becomes a CClientSocket that signals the handler window.
//
// Registered connections get descriptors 0, 1, 2, ... in order; a number is
// never given twice, so a notification that outlives its connection finds
// nothing rather than another connection.
class CServerSocket : public CAsyncSocket {
public:
    static constexpr const char* BROADCAST_AGENT = "broadcast agent";

    // Events run on the handler's loop (the current loop without a handler).
    explicit CServerSocket(CWnd* handler);
    // Closes the listening socket, then marks every connection dirty and
    // destroys it.
    ~CServerSocket() override;

    // The listening port, 0 before Create.
    unsigned get_port();

    // Takes ownership of `socket`, appends it, gives it the next descriptor
    // and the log, and reads the peer address of a TCP connection into its
    // host name and port. 1 when taken; 0 (ownership stays with the caller)
    // for null or a socket that is already registered.
    int new_connection(CClientSocket* socket);
    // The same without reading the peer address.
    int register_connection(CClientSocket* socket);

    // The connection with that descriptor (the last of several), or null for
    // -1 or when none has it.
    CClientSocket* get_connection(int descriptor);
    // The first connection, in list order, named exactly `agent` that is not
    // dirty. Unnamed connections and those named "unknown agent" or
    // "broadcast agent" never match; host and port are not compared.
    CClientSocket* find_connection(const char* agent, const char* host, unsigned port);
    // Unlinks and destroys a registered connection; 1 when it was one, 0
    // (nothing done) otherwise.
    int remove_connection(CClientSocket* socket);

    // The connections: elements whose content is the CClientSocket they own.
    CLList* get_sockets();
    CWnd* get_handler();

    // The log is borrowed and handed to every connection registered later.
    void set_logger(CDebug* logger);
    CDebug* get_logger();
    void debug(const char* text);

protected:
    void OnAccept(int error) override;

private:
    static CClientSocket* socket_of(CListElement* element);
    CListElement* entry_of(CClientSocket* socket);
    int add_connection(CClientSocket* socket);

    CLList connections{"Server Sockets List"};
    int next_descriptor = 0;
    CDebug* logger = nullptr;
    CWnd* handler;
};
