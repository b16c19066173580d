#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>

class CClientSocket;
class CDebug;
class CServerSocket;
class CWnd;

// Delivers finished message texts to other agents over TCP: on the
// agent's open connection when there is one, else on a new connection that
// is then kept for the agent's replies. A send that fails on the open
// connection (the peer may have reset it) is tried once more on a new one,
// and so is one whose peer closed it before the loop could tell.
//
// A connect that times out blocks the whole agent for the time-out, so an
// address that did so is not tried again for UNREACHABLE_HOLD: sends to it
// fail at once with WSAETIMEDOUT.
class CDelivery {
public:
    static constexpr std::chrono::seconds UNREACHABLE_HOLD{30};

    // Lines about refused and held-back connects go to `log`.
    explicit CDelivery(CDebug& log);

    // Sends `text` to `agent` at host:port. `sent` is the byte count, or -1;
    // the connection that carried the text when it is kept, else null.
    // New connections belong to `server` and report to `handler`.
    CClientSocket* deliver(CServerSocket& server, CWnd* handler, const char* agent, const char* host,
                           unsigned port, const char* text, int& sent);
    // A new connection to host:port, named for `agent`, not yet registered
    // with the server; null (with last_error set) when it cannot be made.
    std::unique_ptr<CClientSocket> connect(CServerSocket* server, CWnd* handler, const char* agent,
                                           const char* host, unsigned port);

    // How long a connect may take.
    void set_connect_timeout(unsigned timeout_ms) { connect_timeout_ms = timeout_ms; }
    // The Windows Sockets code of the last failure.
    int get_last_error() const { return last_error; }

private:
    CClientSocket* send_on_open(CServerSocket& server, const char* agent, std::string& text, int& sent);
    CClientSocket* send_on_new(CServerSocket& server, CWnd* handler, const char* agent, const char* host,
                               unsigned port, std::string& text, int& sent);
    void hold_unreachable(const char* host, unsigned port);
    bool held_unreachable(const char* host, unsigned port);

    CDebug& log;
    unsigned connect_timeout_ms;
    // "host:port" -> until when it counts as unreachable.
    std::map<std::string, std::chrono::steady_clock::time_point> unreachable;
    int last_error = 0;
};
