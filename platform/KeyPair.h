#pragma once

#include <memory>
#include <optional>
#include <string>

// A signing key (Ed25519) and a self-signed certificate that names its
// holder, kept in one PEM file of the user's (mode 0600): what a program
// proves its name with. The public key travels as text,
// "ed25519:<base64 of its SubjectPublicKeyInfo>", and is shown to people
// as its fingerprint, the SHA-256 of that key in groups of four hex digits.
//
// Nothing here throws; failures return nothing (or false) with the reason.
class CKeyPair {
public:
    ~CKeyPair();
    CKeyPair(CKeyPair&&) noexcept;
    CKeyPair& operator=(CKeyPair&&) noexcept;

    // The key in `path`; when there is no file, a new key and certificate
    // for `holder`, written there first. A file that holds no key, or that
    // others may read, is refused, and left as it is.
    static std::optional<CKeyPair> LoadOrCreate(const std::string& path, const std::string& holder,
                                                std::string& error);

    // A new key and certificate for `holder`, kept only in memory.
    static std::optional<CKeyPair> Create(const std::string& holder, std::string& error);

    // The name the certificate was made for.
    const std::string& Holder() const { return m_holder; }
    // "ed25519:..." as registrations carry it.
    const std::string& PublicKeyText() const { return m_publicKey; }
    // "3F2A 9C01 ..." (16 groups).
    std::string Fingerprint() const { return FingerprintOf(m_publicKey); }
    // The certificate and the key as PEM, for a TLS session.
    const std::string& CertificatePem() const { return m_certificatePem; }
    const std::string& KeyPem() const { return m_keyPem; }

    // The signature of `text`, in base64; empty when signing failed.
    std::string Sign(const std::string& text) const;

    // Whether `signature` (base64) is the signature of `text` by the key
    // `publicKey` ("ed25519:..."); false for anything malformed.
    static bool Verify(const std::string& publicKey, const std::string& text, const std::string& signature);
    // Whether `text` has the form of a public key text (it may still not
    // hold a key).
    static bool IsPublicKeyText(const std::string& text);
    // The fingerprint of a public key text; empty for one that is malformed.
    static std::string FingerprintOf(const std::string& publicKey);
    // The public key text of a certificate given in DER, as a TLS peer
    // presents it; empty when it holds no Ed25519 key.
    static std::string PublicKeyOfCertificate(const std::string& der);

private:
    struct SKeys;
    CKeyPair();

    static std::optional<CKeyPair> FromPem(const std::string& pem, std::string& error);

    std::unique_ptr<SKeys> m_keys;
    std::string m_holder;
    std::string m_publicKey;
    std::string m_certificatePem;
    std::string m_keyPem;
};
