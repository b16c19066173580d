#pragma once

#include <platform/AsyncSocket.h>

#include <basekit/LList.h>

#include <chrono>
#include <functional>
#include <string>
#include <cstddef>

class CClientSocket;
class CKeyPair;
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
//
// What peers can hold is bounded: at most a limit of connections are open
// (a new one pushes out the connection idle longest, or is refused when
// every open one is busy); collect_connections destroys finished
// connections and closes those idle too long; and when the process runs
// out of descriptors, accepting pauses briefly instead of spinning.
class CServerSocket : public CAsyncSocket {
public:
    static constexpr const char* BROADCAST_AGENT = "broadcast agent";
    static constexpr std::size_t DEFAULT_MAX_OPEN = 256;

    // How long a connection may stay silent: with part of a message held,
    // and with nothing held.
    struct IdleLimits {
        std::chrono::seconds partial{30};
        std::chrono::seconds quiet{600};
    };

    // Events run on the handler's loop (the current loop without a handler).
    explicit CServerSocket(CWnd* handler);
    // Closes the listening socket, then marks every connection dirty and
    // destroys it.
    ~CServerSocket() override;

    // The listening port, 0 before Create.
    unsigned get_port();

    // The key the agent proves its name with (borrowed; null for none): an
    // accepted connection whose peer opens with a TLS hello is served TLS
    // with it.
    void set_key_pair(const CKeyPair* key) { key_pair = key; }
    const CKeyPair* get_key_pair() const { return key_pair; }

    // What a connection's name is worth. A connection belongs to the agent
    // its first message names only when its TLS peer proved the key the
    // name server holds that name for (`name_keys` gives it), or when
    // unproven names are trusted (agents without keys on a mixed network).
    using NameKeys = std::function<std::string(const char* name)>;
    void set_name_keys(NameKeys keys) { name_keys = std::move(keys); }
    // Told when a connection proved a name's key (either way round).
    using KeyProven = std::function<void(const char* name, const std::string& key)>;
    void set_key_proven(KeyProven proven) { key_proven = std::move(proven); }
    void proved_key(const char* name, const std::string& key) const
    {
        if (key_proven)
            key_proven(name, key);
    }
    std::string key_of_name(const char* name) const { return name_keys ? name_keys(name) : std::string(); }
    void set_trust_unproven(bool trust) { trust_unproven = trust; }
    bool get_trust_unproven() const { return trust_unproven; }

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
    // finished (dirty or closed). Unnamed connections and those named "unknown agent" or
    // "broadcast agent" never match; host and port are not compared.
    CClientSocket* find_connection(const char* agent, const char* host, unsigned port);
    // Unlinks and destroys a registered connection; 1 when it was one, 0
    // (nothing done) otherwise.
    int remove_connection(CClientSocket* socket);

    // The connections: elements whose content is the CClientSocket they own.
    CLList* get_sockets();

    // Destroys the connections that can carry nothing more and have nothing
    // left for the agent, and closes those silent beyond the idle limits.
    // `in_use` (the connection a handler is working on) is left alone.
    // Returns how many were destroyed.
    int collect_connections(const CClientSocket* in_use = nullptr);
    void set_max_open(std::size_t count) { max_open = count; }
    void set_idle_limits(IdleLimits limits) { idle_limits = limits; }
    // The connections with an open descriptor.
    std::size_t count_open();
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
    bool make_room();
    CClientSocket* longest_idle();
    bool too_idle(CClientSocket& socket, std::chrono::steady_clock::time_point now) const;

    CLList connections{"Server Sockets List"};
    int next_descriptor = 0;
    CDebug* logger = nullptr;
    CWnd* handler;
    std::size_t max_open = DEFAULT_MAX_OPEN;
    IdleLimits idle_limits;
    bool out_of_descriptors = false;
    const CKeyPair* key_pair = nullptr;
    NameKeys name_keys;
    KeyProven key_proven;
    bool trust_unproven = false;
};
