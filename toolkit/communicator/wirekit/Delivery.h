#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

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
// A new connection to a named agent is made without waiting: the text
// waits in the connection until the connect is done, the loop runs on, and
// a connect that fails or times out later is reported to the failure
// handler with the texts that waited. An address whose connect timed out is
// not tried again for UNREACHABLE_HOLD: sends to it fail at once with
// WSAETIMEDOUT.
class CDelivery {
public:
    static constexpr std::chrono::seconds UNREACHABLE_HOLD{30};
    // A connect to `agent` at host:port that ended in `error` after the
    // texts were taken.
    using FailureHandler = std::function<void(const std::string& agent, const std::string& host,
                                              unsigned port, int error, std::vector<std::string> texts)>;

    // Lines about refused and held-back connects go to `log`.
    explicit CDelivery(CDebug& log);

    // Sends `text` to `agent` at host:port. `sent` is the byte count, or -1;
    // the connection that carried the text when it is kept, else null.
    // New connections belong to `server` and report to `handler`.
    // A new connection is TLS when `peer_key`, the key the name server holds
    // the agent's name for, is known and the server has a key of its own.
    CClientSocket* deliver(CServerSocket& server, CWnd* handler, const char* agent, const char* host,
                           unsigned port, const char* text, int& sent,
                           const std::string& peer_key = std::string());
    // A new connection to host:port, named for `agent`, not yet registered
    // with the server; null (with last_error set) when it cannot be made.
    std::unique_ptr<CClientSocket> connect(CServerSocket* server, CWnd* handler, const char* agent,
                                           const char* host, unsigned port);

    // How long a connect may take.
    void set_connect_timeout(unsigned timeout_ms) { connect_timeout_ms = timeout_ms; }
    // Whether deliver waits for a new connection before it returns (for a
    // program that sends once and ends); false by default.
    void set_wait_for_connect(bool wait) { wait_for_connect = wait; }
    void set_failure_handler(FailureHandler handler) { failure_handler = std::move(handler); }
    // The Windows Sockets code of the last failure.
    int get_last_error() const { return last_error; }

private:
    CClientSocket* send_on_open(CServerSocket& server, const char* agent, std::string& text, int& sent);
    CClientSocket* send_on_new(CServerSocket& server, CWnd* handler, const char* agent, const char* host,
                               unsigned port, std::string& text, int& sent, const std::string& peer_key);
    std::unique_ptr<CClientSocket> open_connection(CServerSocket* server, CWnd* handler, const char* agent,
                                                   const char* host, unsigned port, bool without_waiting);
    void connect_failed(const std::string& agent, const std::string& host, unsigned port, int error,
                        std::vector<std::string> texts);
    void hold_unreachable(const char* host, unsigned port);
    bool held_unreachable(const char* host, unsigned port);

    CDebug& log;
    unsigned connect_timeout_ms;
    bool wait_for_connect = false;
    FailureHandler failure_handler;
    // "host:port" -> until when it counts as unreachable.
    std::map<std::string, std::chrono::steady_clock::time_point> unreachable;
    int last_error = 0;
};
