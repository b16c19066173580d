// TLS on an agent connection: the handshake, and the text inside the tunnel.

#include <wirekit/ClientSocket.h>

#include <wirekit/ServerSocket.h>

#include <platform/EventLoop.h>
#include <platform/KeyPair.h>
#include <platform/SocketError.h>

bool CClientSocket::awaiting_connect() const
{
    return IsConnecting() || tls_key_when_connected || tls_handshaking();
}

const std::string& CClientSocket::proven_key() const
{
    static const std::string none;
    return tls && tls->GetState() == CTlsSession::State::Established ? tls->PeerKey() : none;
}

void CClientSocket::start_tls(const CKeyPair& ours, std::string key)
{
    expected_key = std::move(key);
    if (IsConnecting())
        tls_key_when_connected = &ours;
    else
        begin_tls(CTlsSession::Role::Client, ours);
}

bool CClientSocket::tls_handshaking() const
{
    return tls && tls->GetState() == CTlsSession::State::Handshaking;
}

void CClientSocket::begin_tls(CTlsSession::Role role, const CKeyPair& ours)
{
    std::string error;
    // A client resumes its last session with the same peer key.
    tls = CTlsSession::Start(role, ours, error,
                             role == CTlsSession::Role::Client ? expected_key : std::string());
    if (!tls) {
        tls_failed(error);
        return;
    }
    if (!write_tls_output())
        return;
    // A peer that never finishes the handshake must not hold the texts, or
    // the connection, for good.
    if (CEventLoop* loop = CEventLoop::Current())
        loop->AddTimer(TLS_HANDSHAKE_MS, false, [this, token = alive_token](CEventLoop::TimerId) {
            if (*token && tls_handshaking())
                tls_failed("no TLS handshake within " + std::to_string(TLS_HANDSHAKE_MS / 1000) + " s");
        });
}

bool CClientSocket::plain_text(char*& data, int& length, std::string& plain)
{
    const bool first = !received_any;
    received_any = true;
    const CKeyPair* ours = server ? server->get_key_pair() : nullptr;
    if (first && !tls && !sent_any && ours &&
        CTlsSession::LooksLikeHello(data, static_cast<std::size_t>(length)))
        begin_tls(CTlsSession::Role::Server, *ours);
    if (!tls)
        return true;
    const bool was_handshaking = tls_handshaking();
    tls->Receive(data, static_cast<std::size_t>(length), plain);
    if (tls->GetState() == CTlsSession::State::Failed) {
        tls_failed(tls->Failure());
        return false;
    }
    const bool written = write_tls_output();
    if (get_dirty())
        return false;
    if (written && was_handshaking && tls->GetState() == CTlsSession::State::Established)
        tls_established();
    if (plain.empty() || get_dirty())
        return false;
    data = plain.data();
    length = static_cast<int>(plain.size());
    return true;
}

int CClientSocket::send_tls(const char* text, std::size_t length)
{
    if (tls_handshaking()) {
        waiting_texts.emplace_back(text, length);
        return static_cast<int>(length);
    }
    if (!tls->Send(std::string(text, length)) || !write_tls_output())
        return -1;
    last_activity = Clock::now();
    return static_cast<int>(length);
}

bool CClientSocket::write_tls_output()
{
    const std::string out = tls->TakeOutgoing();
    if (out.empty())
        return true;
    sent_any = true;
    if (Send(out.data(), out.size()) >= 0)
        return true;
    show_error(GetLastError());
    if (tls->GetState() != CTlsSession::State::Established) {
        tls_failed("the peer does not take the handshake");
        return false;
    }
    // A peer that sent its text and closed before the session's last words
    // (a server's ticket) reached it: what it sent is still its message, so
    // the connection ends as an orderly close does, keeping its queue.
    finished = true;
    Close();
    return false;
}

void CClientSocket::tls_established()
{
    if (!expected_key.empty() && tls->PeerKey() != expected_key) {
        tls_failed("the peer proved another key than the one known for " + std::string(get_agentname()));
        return;
    }
    dprintf("<CClientSocket> TLS with the peer's key [%s]%s", CKeyPair::FingerprintOf(tls->PeerKey()).c_str(),
            tls->Resumed() ? ", session resumed" : "");
    if (server && !expected_key.empty())
        server->proved_key(get_agentname(), expected_key);
    std::vector<std::string> texts = std::move(waiting_texts);
    waiting_texts.clear();
    for (std::string& text : texts) {
        if (send_tls(text.data(), text.size()) < 0)
            return;
    }
    tell_waiting_sent();
}

void CClientSocket::tls_failed(const std::string& why)
{
    dprintf("<CClientSocket> TLS failed: %s", why.c_str());
    set_dirty(1);
    fail_waiting_texts(WSAECONNABORTED);
}

bool CClientSocket::may_belong_to(const char* sender)
{
    const std::string& key = proven_key();
    if (!key.empty() && server && server->key_of_name(sender) == key) {
        proven_name = sender;
        server->proved_key(sender, key);
        return true;
    }
    // One this agent opened to the name's address keeps the name it chose.
    if (std::string(get_agentname()) == sender)
        return true;
    return server && server->get_trust_unproven();
}

bool CClientSocket::is_proven_for(const char* name)
{
    if (!name)
        return false;
    if (proven_name == name)
        return true;
    return server && server->get_trust_unproven() && std::string(get_agentname()) == name;
}
