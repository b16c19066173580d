#include <platform/KeyPair.h>

#include <platform/AtomicFile.h>

#include <gnutls/abstract.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <sys/stat.h>

namespace {

constexpr const char* KeyPrefix = "ed25519:";
constexpr const char* CertificateBegin = "-----BEGIN CERTIFICATE-----";
constexpr const char* CertificateEnd = "-----END CERTIFICATE-----";
constexpr std::size_t MaxFileSize = 64 * 1024;
// The longest common name a certificate may carry.
constexpr std::size_t MaxCommonName = 64;
constexpr long CertificateYears = 20;

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(const unsigned char* data, std::size_t size)
{
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    for (std::size_t i = 0; i < size; i += 3) {
        const unsigned value =
            (data[i] << 16) | (i + 1 < size ? data[i + 1] << 8 : 0) | (i + 2 < size ? data[i + 2] : 0);
        out += Alphabet[(value >> 18) & 63];
        out += Alphabet[(value >> 12) & 63];
        out += i + 1 < size ? Alphabet[(value >> 6) & 63] : '=';
        out += i + 2 < size ? Alphabet[value & 63] : '=';
    }
    return out;
}

// Strict: whole groups of four, padding only at the end.
std::optional<std::string> FromBase64(const std::string& text)
{
    if (text.empty() || text.size() % 4 != 0)
        return std::nullopt;
    std::string out;
    unsigned value = 0;
    int bits = 0;
    std::size_t padding = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=') {
            if (i + 2 < text.size())
                return std::nullopt;
            ++padding;
            continue;
        }
        const char* found = padding ? nullptr : std::char_traits<char>::find(Alphabet, 64, c);
        if (!found)
            return std::nullopt;
        value = (value << 6) | static_cast<unsigned>(found - Alphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xFF);
        }
    }
    return padding <= 2 ? std::optional<std::string>(out) : std::nullopt;
}

gnutls_datum_t Datum(const std::string& text)
{
    return {reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())),
            static_cast<unsigned>(text.size())};
}

// A buffer GnuTLS allocated, freed with the object.
struct SOwnedDatum {
    gnutls_datum_t datum{nullptr, 0};
    ~SOwnedDatum() { gnutls_free(datum.data); }
    std::string Text() const { return std::string(reinterpret_cast<const char*>(datum.data), datum.size); }
};

template <class T, void (*Free)(T)>
struct SHandle {
    T value = nullptr;
    ~SHandle()
    {
        if (value)
            Free(value);
    }
};
using SPublicKey = SHandle<gnutls_pubkey_t, gnutls_pubkey_deinit>;
using SCertificate = SHandle<gnutls_x509_crt_t, gnutls_x509_crt_deinit>;
using SX509Key = SHandle<gnutls_x509_privkey_t, gnutls_x509_privkey_deinit>;

std::string KeyText(gnutls_pubkey_t key)
{
    if (gnutls_pubkey_get_pk_algorithm(key, nullptr) != GNUTLS_PK_EDDSA_ED25519)
        return std::string();
    SOwnedDatum der;
    if (gnutls_pubkey_export2(key, GNUTLS_X509_FMT_DER, &der.datum) < 0)
        return std::string();
    return KeyPrefix + Base64(der.datum.data, der.datum.size);
}

std::string KeyTextOfCertificate(gnutls_x509_crt_t certificate)
{
    SPublicKey key;
    if (gnutls_pubkey_init(&key.value) < 0 || gnutls_pubkey_import_x509(key.value, certificate, 0) < 0)
        return std::string();
    return KeyText(key.value);
}

std::optional<std::string> DerOfKeyText(const std::string& text)
{
    const std::string prefix = KeyPrefix;
    if (text.size() > 256 || text.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    return FromBase64(text.substr(prefix.size()));
}

std::string CommonName(gnutls_x509_crt_t certificate)
{
    std::array<char, 256> name{};
    std::size_t size = name.size();
    if (gnutls_x509_crt_get_dn_by_oid(certificate, GNUTLS_OID_X520_COMMON_NAME, 0, 0, name.data(), &size) < 0)
        return std::string();
    return std::string(name.data(), size);
}

// The certificate's block of a PEM text, and the text without it.
bool SplitPem(const std::string& pem, std::string& certificate, std::string& key)
{
    const std::size_t begin = pem.find(CertificateBegin);
    const std::size_t end = begin == std::string::npos ? begin : pem.find(CertificateEnd, begin);
    if (end == std::string::npos)
        return false;
    const std::size_t after = end + std::string(CertificateEnd).size();
    certificate = pem.substr(begin, after - begin);
    key = pem.substr(0, begin) + pem.substr(after);
    return true;
}

bool SignCertificate(gnutls_x509_crt_t certificate, gnutls_x509_privkey_t key, const std::string& holder)
{
    std::array<unsigned char, 16> serial{};
    if (gnutls_rnd(GNUTLS_RND_NONCE, serial.data(), serial.size()) < 0)
        return false;
    serial[0] &= 0x7F;
    const std::time_t now = std::time(nullptr);
    const std::string name = holder.substr(0, MaxCommonName);
    return gnutls_x509_crt_set_version(certificate, 3) >= 0 &&
           gnutls_x509_crt_set_serial(certificate, serial.data(), serial.size()) >= 0 &&
           gnutls_x509_crt_set_activation_time(certificate, now - 86400) >= 0 &&
           gnutls_x509_crt_set_expiration_time(certificate, now + CertificateYears * 365 * 86400) >= 0 &&
           gnutls_x509_crt_set_dn_by_oid(certificate, GNUTLS_OID_X520_COMMON_NAME, 0, name.data(),
                                         static_cast<unsigned>(name.size())) >= 0 &&
           gnutls_x509_crt_set_key(certificate, key) >= 0 &&
           gnutls_x509_crt_set_key_usage(certificate, GNUTLS_KEY_DIGITAL_SIGNATURE) >= 0 &&
           gnutls_x509_crt_sign2(certificate, certificate, key, GNUTLS_DIG_SHA512, 0) >= 0;
}

} // namespace

struct CKeyPair::SKeys {
    gnutls_privkey_t key = nullptr;
    ~SKeys()
    {
        if (key)
            gnutls_privkey_deinit(key);
    }
};

CKeyPair::CKeyPair() : m_keys(std::make_unique<SKeys>()) {}
CKeyPair::~CKeyPair() = default;
CKeyPair::CKeyPair(CKeyPair&&) noexcept = default;
CKeyPair& CKeyPair::operator=(CKeyPair&&) noexcept = default;

std::optional<CKeyPair> CKeyPair::LoadOrCreate(const std::string& path, const std::string& holder,
                                               std::string& error)
{
    const CAtomicFile file(path, MaxFileSize);
    std::string text;
    bool exists = false;
    if (!file.Read(text, exists, error))
        return std::nullopt;
    if (exists) {
        struct stat status {};
        if (::stat(path.c_str(), &status) == 0 && (status.st_mode & 077) != 0) {
            error = path + " may be read by other users; its key is not used (chmod 600 to use it)";
            return std::nullopt;
        }
        std::optional<CKeyPair> loaded = FromPem(text, error);
        if (!loaded)
            error = path + ": " + error;
        return loaded;
    }
    std::optional<CKeyPair> made = Create(holder, error);
    const std::size_t slash = path.rfind('/');
    if (!made ||
        (slash != std::string::npos && !CAtomicFile::MakeDirectories(path.substr(0, slash), error)) ||
        !file.Replace(made->m_keyPem + made->m_certificatePem, error))
        return std::nullopt;
    return made;
}

std::optional<CKeyPair> CKeyPair::Create(const std::string& holder, std::string& error)
{
    SX509Key key;
    SCertificate certificate;
    SOwnedDatum keyPem;
    SOwnedDatum certificatePem;
    if (gnutls_x509_privkey_init(&key.value) < 0 ||
        gnutls_x509_privkey_generate2(key.value, GNUTLS_PK_EDDSA_ED25519,
                                      GNUTLS_CURVE_TO_BITS(GNUTLS_ECC_CURVE_ED25519), 0, nullptr, 0) < 0 ||
        gnutls_x509_crt_init(&certificate.value) < 0 ||
        !SignCertificate(certificate.value, key.value, holder) ||
        gnutls_x509_privkey_export2_pkcs8(key.value, GNUTLS_X509_FMT_PEM, nullptr, GNUTLS_PKCS_PLAIN,
                                          &keyPem.datum) < 0 ||
        gnutls_x509_crt_export2(certificate.value, GNUTLS_X509_FMT_PEM, &certificatePem.datum) < 0) {
        error = "no key could be made";
        return std::nullopt;
    }
    return FromPem(keyPem.Text() + certificatePem.Text(), error);
}

std::optional<CKeyPair> CKeyPair::FromPem(const std::string& pem, std::string& error)
{
    std::string certificateText;
    std::string keyText;
    error = "it holds no key and certificate";
    if (!SplitPem(pem, certificateText, keyText))
        return std::nullopt;
    CKeyPair pair;
    SCertificate certificate;
    SPublicKey fromKey;
    const gnutls_datum_t certificateDatum = Datum(certificateText);
    const gnutls_datum_t keyDatum = Datum(keyText);
    if (gnutls_x509_crt_init(&certificate.value) < 0 ||
        gnutls_x509_crt_import(certificate.value, &certificateDatum, GNUTLS_X509_FMT_PEM) < 0 ||
        gnutls_privkey_init(&pair.m_keys->key) < 0 ||
        gnutls_privkey_import_x509_raw(pair.m_keys->key, &keyDatum, GNUTLS_X509_FMT_PEM, nullptr, 0) < 0 ||
        gnutls_pubkey_init(&fromKey.value) < 0 ||
        gnutls_pubkey_import_privkey(fromKey.value, pair.m_keys->key, 0, 0) < 0)
        return std::nullopt;
    pair.m_publicKey = KeyTextOfCertificate(certificate.value);
    if (pair.m_publicKey.empty() || pair.m_publicKey != KeyText(fromKey.value)) {
        error = "its certificate is not for its key, or the key is not Ed25519";
        return std::nullopt;
    }
    pair.m_holder = CommonName(certificate.value);
    pair.m_certificatePem = certificateText + "\n";
    pair.m_keyPem = keyText;
    error.clear();
    return pair;
}

std::string CKeyPair::Sign(const std::string& text) const
{
    const gnutls_datum_t data = Datum(text);
    SOwnedDatum signature;
    if (gnutls_privkey_sign_data2(m_keys->key, GNUTLS_SIGN_EDDSA_ED25519, 0, &data, &signature.datum) < 0)
        return std::string();
    return Base64(signature.datum.data, signature.datum.size);
}

bool CKeyPair::Verify(const std::string& publicKey, const std::string& text, const std::string& signature)
{
    const std::optional<std::string> der = DerOfKeyText(publicKey);
    const std::optional<std::string> raw = signature.size() <= 256 ? FromBase64(signature) : std::nullopt;
    if (!der || !raw)
        return false;
    SPublicKey key;
    const gnutls_datum_t keyDatum = Datum(*der);
    const gnutls_datum_t data = Datum(text);
    const gnutls_datum_t signatureDatum = Datum(*raw);
    return gnutls_pubkey_init(&key.value) >= 0 &&
           gnutls_pubkey_import(key.value, &keyDatum, GNUTLS_X509_FMT_DER) >= 0 &&
           gnutls_pubkey_get_pk_algorithm(key.value, nullptr) == GNUTLS_PK_EDDSA_ED25519 &&
           gnutls_pubkey_verify_data2(key.value, GNUTLS_SIGN_EDDSA_ED25519, 0, &data, &signatureDatum) >= 0;
}

bool CKeyPair::IsPublicKeyText(const std::string& text)
{
    return DerOfKeyText(text).has_value();
}

std::string CKeyPair::FingerprintOf(const std::string& publicKey)
{
    const std::optional<std::string> der = DerOfKeyText(publicKey);
    std::array<unsigned char, 32> digest{};
    if (!der || gnutls_hash_fast(GNUTLS_DIG_SHA256, der->data(), der->size(), digest.data()) < 0)
        return std::string();
    std::string text;
    for (std::size_t i = 0; i < digest.size(); ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", digest[i]);
        if (i > 0 && i % 2 == 0)
            text += ' ';
        text += pair;
    }
    return text;
}

std::string CKeyPair::PublicKeyOfCertificate(const std::string& der)
{
    SCertificate certificate;
    const gnutls_datum_t datum = Datum(der);
    if (gnutls_x509_crt_init(&certificate.value) < 0 ||
        gnutls_x509_crt_import(certificate.value, &datum, GNUTLS_X509_FMT_DER) < 0)
        return std::string();
    return KeyTextOfCertificate(certificate.value);
}
