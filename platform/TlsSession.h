#pragma once

#include <platform/KeyPair.h>

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>

// One TLS 1.3 session over bytes the caller carries (GnuTLS with its
// transport in memory), so that it runs on a non-blocking socket of the
// event loop, or on no socket at all: the caller hands in what the peer
// sent and writes out what the session gives.
//
// Both sides present their self-signed certificate (CKeyPair); TLS itself
// makes each prove it holds the certificate's key. Whose key that is the
// caller decides from PeerKey(): certificates are not checked against any
// authority, since an agent's key is known from the name server, not from
// a chain of signatures.
class CTlsSession {
public:
    enum class Role { Client, Server };
    enum class State { Handshaking, Established, Failed };

    // The first handshake bytes of a client are in TakeOutgoing() at once.
    // `ours` must outlive the session. A client names its peer in `peer`
    // (its expected key, say): a session with the same peer earlier in the
    // process is resumed, so that a reconnect costs no new handshake of
    // keys. Null, with the reason, when GnuTLS cannot set one up.
    static std::unique_ptr<CTlsSession> Start(Role role, const CKeyPair& ours, std::string& error,
                                              const std::string& peer = std::string());
    ~CTlsSession();
    CTlsSession(const CTlsSession&) = delete;
    CTlsSession& operator=(const CTlsSession&) = delete;

    // Bytes the peer sent: the handshake goes on, and what they carry of
    // the peer's text once it is done is appended to `plain`.
    State Receive(const char* data, std::size_t size, std::string& plain);
    // Text to the peer, once Established; false otherwise.
    bool Send(const std::string& plain);
    // The bytes to write to the peer, taken.
    std::string TakeOutgoing();

    State GetState() const { return m_state; }
    // Why the session failed; empty while it has not.
    const std::string& Failure() const { return m_failure; }
    // The public key ("ed25519:...") of the certificate the peer proved,
    // once Established.
    const std::string& PeerKey() const { return m_peerKey; }
    // Whether the handshake resumed an earlier session.
    bool Resumed() const;

    // Whether the first bytes a peer sent on a connection open a TLS
    // handshake: a handshake record of TLS 1.0 to 1.3 whose message is a
    // ClientHello, as far as `size` bytes (at least one) tell. KQML and HTTP
    // texts never begin so.
    static bool LooksLikeHello(const char* data, std::size_t size);

private:
    struct SGnutls;
    CTlsSession();

    void Handshake();
    void ReadRecords(std::string& plain);
    void Fail(const std::string& why);
    bool TakePeerKey();
    void KeepForResumption();
    static ssize_t Pull(void* self, void* buffer, std::size_t size);
    static ssize_t Push(void* self, const void* data, std::size_t size);

    std::unique_ptr<SGnutls> m_tls;
    State m_state = State::Handshaking;
    std::string m_failure;
    std::string m_peerKey;
    std::string m_in;
    std::size_t m_inRead = 0;
    std::string m_out;
    // The client's name for its peer, under which the session is kept once
    // the server's ticket has come; empty when it is not kept.
    std::string m_resumeAs;
    // A server sends its ticket with its first text rather than right after
    // the handshake: a client that sends one text and closes would
    // otherwise meet it unread, and its close would become a reset that
    // takes the text with it.
    bool m_ticketDue = false;
};
