#include <FuzzEntries.h>

#include <platform/KeyPair.h>
#include <platform/TlsSession.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

// One key for every input, made once in a folder of its own.
const CKeyPair* ServerKey()
{
    static const std::optional<CKeyPair> key = [] {
        char folder[] = "/tmp/tls-fuzz-XXXXXX";
        std::string error;
        std::optional<CKeyPair> made =
            mkdtemp(folder) ? CKeyPair::LoadOrCreate(std::string(folder) + "/key.pem", "fuzz", error)
                            : std::nullopt;
        if (made) {
            unlink((std::string(folder) + "/key.pem").c_str());
            unlink((std::string(folder) + "/key.pem.lock").c_str());
            rmdir(folder);
        }
        return made;
    }();
    return key ? &*key : nullptr;
}

} // namespace

bool CFuzzEntries::tls(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    // Only a handshake record can be taken for a hello.
    if (CTlsSession::LooksLikeHello(bytes, size) && (size == 0 || data[0] != 0x16))
        return false;
    const CKeyPair* key = ServerKey();
    std::string error;
    std::unique_ptr<CTlsSession> session =
        key ? CTlsSession::Start(CTlsSession::Role::Server, *key, error) : nullptr;
    if (!session)
        return false;
    // The input arrives in pieces whose sizes its first byte sets.
    const std::size_t piece = size ? 1 + data[0] : 1;
    std::string plain;
    for (std::size_t at = 0; at < size && session->GetState() == CTlsSession::State::Handshaking; at += piece)
        session->Receive(bytes + at, std::min(piece, size - at), plain);
    // Nobody without a client's key finishes a handshake, so no text comes
    // out and nothing can be sent.
    return session->GetState() != CTlsSession::State::Established && plain.empty() && !session->Send("x");
}
