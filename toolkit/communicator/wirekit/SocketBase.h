#pragma once

#include <platform/AsyncSocket.h>
#include <platform/Wnd.h>

#include <string>

class CDebug;

// What every connection of an agent shares: the window it tells about waiting
// messages, the log it writes to, the number the server registered it under,
// its connection type and the agent at the other end.
//
// A dirty socket is a broken connection: it ignores every operation, writes
// nothing to the log and keeps no descriptor, so it neither holds resources
// nor gets events until its owner destroys it.
class CSocketBase : public CAsyncSocket {
public:
    // Connection types, the same codes the container dispatches on.
    static constexpr int SOCKET_TYPE_TCP = 1;
    static constexpr int SOCKET_TYPE_MULTICAST = 9;

    static constexpr const char* UNKNOWN_AGENT = "unknown agent";

    // Events run on the handler's loop (the current loop without a handler).
    explicit CSocketBase(CWnd* handler = nullptr);
    ~CSocketBase() override;

    // The log is borrowed; null stops logging.
    void set_logger(CDebug* logger);
    CDebug* get_logger();

    // -1 until a server registers the socket.
    void set_descriptor(int descriptor);
    int get_descriptor();

    void set_sockettype(int type);
    int get_sockettype();

    // The agent at the other end ("unknown agent" until known). Setting
    // copies the text and is ignored for null or on a dirty socket.
    void set_agentname(const char* name);
    char* get_agentname();

    // Non-zero marks the connection broken and closes its descriptor.
    void set_dirty(int dirty);
    int get_dirty();

    // The byte count of the last receive (negative after a failed one).
    int get_len();

    void set_handler(CWnd* handler);
    CWnd* get_handler();

    // A link for whoever chains sockets; not owned.
    void set_next(CSocketBase* next);
    CSocketBase* get_next();

    // Writes one line holding `text` as it is to the log unless the socket
    // is dirty.
    void debug(const char* text);

    // Posts the notification to the handler window with wparam = socket type
    // and lparam = descriptor. 1 when posted, 0 without a live handler.
    int signal();

protected:
    // A formatted log line, subject to the same rule as debug().
    void dprintf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void set_len(int length);

private:
    unsigned notify_message = WM_SOCKET_NOTIFY;
    CWnd* handler;
    CDebug* logger = nullptr;
    int descriptor = -1;
    int socket_type = SOCKET_TYPE_TCP;
    CSocketBase* next = nullptr;
    int len = 0;
    bool dirty = false;
    std::string agent_name = UNKNOWN_AGENT;
};
