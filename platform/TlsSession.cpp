#include <platform/TlsSession.h>

#include <gnutls/gnutls.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

namespace {

// TLS 1.3 only: both sides are this program.
constexpr const char* Priorities = "NORMAL:-VERS-ALL:+VERS-TLS1.3";
constexpr std::size_t RecordBytes = 16384;
// What a peer may send before the session has read it, so that one that
// floods a handshake cannot grow the buffer without end.
constexpr std::size_t MaxPendingInput = 1u << 20;

// Sessions kept for resumption are few: one per peer this process talks to.
constexpr std::size_t MaxKeptSessions = 1024;

// What a client keeps of its last session with each peer.
std::map<std::string, std::string>& KeptSessions()
{
    static std::map<std::string, std::string> kept;
    return kept;
}

// The key servers of this process encrypt their session tickets with; a
// restart makes every ticket void, which costs one full handshake.
const gnutls_datum_t* TicketKey()
{
    static gnutls_datum_t key{nullptr, 0};
    static const bool made = gnutls_session_ticket_key_generate(&key) >= 0;
    return made ? &key : nullptr;
}

gnutls_datum_t Datum(const std::string& text)
{
    return {reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
            static_cast<unsigned>(text.size())};
}

} // namespace

struct CTlsSession::SGnutls {
    gnutls_certificate_credentials_t credentials = nullptr;
    gnutls_session_t session = nullptr;
    ~SGnutls()
    {
        if (session)
            gnutls_deinit(session);
        if (credentials)
            gnutls_certificate_free_credentials(credentials);
    }
};

CTlsSession::CTlsSession() : m_tls(std::make_unique<SGnutls>()) {}
CTlsSession::~CTlsSession() = default;

std::unique_ptr<CTlsSession> CTlsSession::Start(Role role, const CKeyPair& ours, std::string& error,
                                                const std::string& peer)
{
    std::unique_ptr<CTlsSession> tls(new CTlsSession());
    SGnutls& g = *tls->m_tls;
    const gnutls_datum_t certificate = Datum(ours.CertificatePem());
    const gnutls_datum_t key = Datum(ours.KeyPem());
    const unsigned flags =
        (role == Role::Client ? GNUTLS_CLIENT : GNUTLS_SERVER | GNUTLS_NO_AUTO_SEND_TICKET) | GNUTLS_NONBLOCK;
    if (gnutls_certificate_allocate_credentials(&g.credentials) < 0 ||
        gnutls_certificate_set_x509_key_mem2(g.credentials, &certificate, &key, GNUTLS_X509_FMT_PEM, nullptr,
                                             0) < 0 ||
        gnutls_init(&g.session, flags) < 0 ||
        gnutls_priority_set_direct(g.session, Priorities, nullptr) < 0 ||
        gnutls_credentials_set(g.session, GNUTLS_CRD_CERTIFICATE, g.credentials) < 0) {
        error = "no TLS session could be set up";
        return nullptr;
    }
    if (role == Role::Server) {
        gnutls_certificate_server_set_request(g.session, GNUTLS_CERT_REQUIRE);
        if (const gnutls_datum_t* key = TicketKey())
            tls->m_ticketDue = gnutls_session_ticket_enable_server(g.session, key) >= 0;
    } else if (!peer.empty()) {
        tls->m_resumeAs = peer;
        const auto kept = KeptSessions().find(peer);
        if (kept != KeptSessions().end())
            gnutls_session_set_data(g.session, kept->second.data(), kept->second.size());
    }
    gnutls_transport_set_ptr(g.session, tls.get());
    gnutls_transport_set_pull_function(g.session, &CTlsSession::Pull);
    gnutls_transport_set_push_function(g.session, &CTlsSession::Push);
    if (role == Role::Client)
        tls->Handshake();
    return tls;
}

CTlsSession::State CTlsSession::Receive(const char* data, std::size_t size, std::string& plain)
{
    if (m_state == State::Failed)
        return m_state;
    if (m_in.size() - m_inRead + size > MaxPendingInput) {
        Fail("the peer sent more than the session could read");
        return m_state;
    }
    m_in.append(data, size);
    if (m_state == State::Handshaking)
        Handshake();
    if (m_state == State::Established)
        ReadRecords(plain);
    if (m_inRead == m_in.size()) {
        m_in.clear();
        m_inRead = 0;
    }
    return m_state;
}

bool CTlsSession::Send(const std::string& plain)
{
    if (m_state != State::Established)
        return false;
    if (std::exchange(m_ticketDue, false))
        gnutls_session_ticket_send(m_tls->session, 1, 0);
    std::size_t sent = 0;
    while (sent < plain.size()) {
        const std::size_t piece = std::min(RecordBytes, plain.size() - sent);
        const ssize_t written = gnutls_record_send(m_tls->session, plain.data() + sent, piece);
        if (written == GNUTLS_E_AGAIN || written == GNUTLS_E_INTERRUPTED)
            continue;
        if (written < 0) {
            Fail(gnutls_strerror(static_cast<int>(written)));
            return false;
        }
        sent += static_cast<std::size_t>(written);
    }
    return true;
}

std::string CTlsSession::TakeOutgoing()
{
    std::string out;
    out.swap(m_out);
    return out;
}

void CTlsSession::Handshake()
{
    const int result = gnutls_handshake(m_tls->session);
    if (result == GNUTLS_E_SUCCESS) {
        if (TakePeerKey())
            m_state = State::Established;
        return;
    }
    if (gnutls_error_is_fatal(result))
        Fail(gnutls_strerror(result));
}

bool CTlsSession::Resumed() const
{
    return m_state == State::Established && gnutls_session_is_resumed(m_tls->session) != 0;
}

// The server's ticket comes after the handshake, with its first records.
void CTlsSession::KeepForResumption()
{
    if (m_resumeAs.empty() || !(gnutls_session_get_flags(m_tls->session) & GNUTLS_SFLAGS_SESSION_TICKET))
        return;
    gnutls_datum_t data{nullptr, 0};
    if (gnutls_session_get_data2(m_tls->session, &data) >= 0) {
        std::map<std::string, std::string>& kept = KeptSessions();
        if (kept.size() >= MaxKeptSessions && !kept.count(m_resumeAs))
            kept.erase(kept.begin());
        kept[m_resumeAs].assign(reinterpret_cast<const char*>(data.data), data.size);
        gnutls_free(data.data);
    }
    m_resumeAs.clear();
}

void CTlsSession::ReadRecords(std::string& plain)
{
    char buffer[RecordBytes];
    for (;;) {
        const std::size_t before = m_inRead;
        const ssize_t got = gnutls_record_recv(m_tls->session, buffer, sizeof buffer);
        if (got > 0) {
            plain.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        // A message of the session itself (the server's ticket) is read
        // with "again" though more records may wait behind it; reading on
        // while it takes bytes.
        const bool more = (got == GNUTLS_E_AGAIN || got == GNUTLS_E_INTERRUPTED) && m_inRead < m_in.size() &&
                          m_inRead > before;
        if (more)
            continue;
        // 0: the peer ended the session; the connection's close follows.
        if (got == 0 || got == GNUTLS_E_AGAIN || got == GNUTLS_E_INTERRUPTED) {
            KeepForResumption();
            return;
        }
        if (gnutls_error_is_fatal(static_cast<int>(got))) {
            Fail(gnutls_strerror(static_cast<int>(got)));
            return;
        }
    }
}

bool CTlsSession::TakePeerKey()
{
    unsigned count = 0;
    const gnutls_datum_t* certificates = gnutls_certificate_get_peers(m_tls->session, &count);
    if (certificates && count > 0)
        m_peerKey = CKeyPair::PublicKeyOfCertificate(
            std::string(reinterpret_cast<const char*>(certificates[0].data), certificates[0].size));
    if (m_peerKey.empty())
        Fail("the peer proved no Ed25519 key");
    return !m_peerKey.empty();
}

void CTlsSession::Fail(const std::string& why)
{
    m_state = State::Failed;
    if (m_failure.empty())
        m_failure = why;
}

ssize_t CTlsSession::Pull(void* self, void* buffer, std::size_t size)
{
    auto* tls = static_cast<CTlsSession*>(self);
    const std::size_t left = tls->m_in.size() - tls->m_inRead;
    if (left == 0) {
        gnutls_transport_set_errno(tls->m_tls->session, EAGAIN);
        return -1;
    }
    const std::size_t taken = std::min(left, size);
    std::memcpy(buffer, tls->m_in.data() + tls->m_inRead, taken);
    tls->m_inRead += taken;
    return static_cast<ssize_t>(taken);
}

ssize_t CTlsSession::Push(void* self, const void* data, std::size_t size)
{
    static_cast<CTlsSession*>(self)->m_out.append(static_cast<const char*>(data), size);
    return static_cast<ssize_t>(size);
}

bool CTlsSession::LooksLikeHello(const char* data, std::size_t size)
{
    if (!data || size == 0)
        return false;
    const auto byte = [data](std::size_t i) { return static_cast<unsigned char>(data[i]); };
    // A handshake record, version 3.1 to 3.4, and a ClientHello message.
    return byte(0) == 0x16 && (size < 2 || byte(1) == 0x03) &&
           (size < 3 || (byte(2) >= 0x01 && byte(2) <= 0x04)) && (size < 6 || byte(5) == 0x01);
}
