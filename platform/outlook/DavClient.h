#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace outlook {

// One WebDAV exchange with a calendar or address-book server: a method, a
// body, the answer's status, body and the headers a client of collections
// needs (ETag, Location). The transfer is the program's usual one (see
// CCurlTransfer): the certificate verified, time-outs, a bounded body.
// https everywhere; plain http only to an address of this machine, so that
// a password never crosses a network in the clear.
//
// Credentials: the user given, with the password from ~/.netrc or, when
// that has none for the server, from the desktop keyring (see
// CSecretPasswords); no user, no authentication. The password goes with
// the first request (Basic, as the address is https or this machine's), so
// that a request is one exchange; a server that asks for Digest alone gets
// Digest from then on.
//
// Copies of a client share its open connections (and TLS sessions), so that
// the requests of a poll or a negotiation do not each connect anew.
class CDavClient {
public:
    struct SOptions {
        std::string user;
        long timeoutMs = 15000;
        // For reading a whole collection, which a server may take long to
        // gather (Radicale reads 10,000 events for tens of seconds).
        long collectionTimeoutMs = 180000;
        std::size_t maxBodyBytes = 64u << 20;
    };

    struct SReply {
        // 0 when no answer came; `error` says why.
        long status = 0;
        std::string body;
        std::string etag;
        std::string location;
        std::string error;
        bool Ok() const { return status >= 200 && status < 300; }
        // "<what>: the server answered 404", or why no answer came.
        std::string Said(const std::string& what) const;
    };

    explicit CDavClient(SOptions options);

    // Empty when `url` may be used; why not otherwise.
    static std::string Refusal(const std::string& url);
    // The host name (or address) of `url`; empty when it has none.
    static std::string HostOf(const std::string& url);
    // `href` (absolute, or a path on the server of `base`) as an address.
    static std::string Resolve(const std::string& base, const std::string& href);

    SReply Request(const std::string& method, const std::string& url, const std::vector<std::string>& headers,
                   const std::string& body = std::string()) const;

    // The three kinds of request a collection client makes.
    SReply Propfind(const std::string& url, int depth, const std::string& body) const;
    SReply Report(const std::string& url, int depth, const std::string& body) const;
    // A report that reads a whole collection, bounded by collectionTimeoutMs.
    SReply ReportCollection(const std::string& url, const std::string& body) const;
    // A PUT that creates (`etag` empty: If-None-Match *) or replaces only
    // the version read (If-Match).
    SReply Put(const std::string& url, const std::string& text, const std::string& contentType,
               const std::string& etag) const;

    // Requests made and answer bytes received so far, for measuring.
    std::size_t Requests() const { return m_requests; }
    std::size_t BytesReceived() const { return m_bytes; }

private:
    SReply Exchange(const std::string& method, const std::string& url,
                    const std::vector<std::string>& headers, const std::string& body, long timeoutMs) const;
    // One try with the authentication scheme `digest` names; `offered`
    // takes the schemes a 401 offered (CURLAUTH_ bits).
    SReply ExchangeOnce(const std::string& method, const std::string& url,
                        const std::vector<std::string>& headers, const std::string& body, long timeoutMs,
                        bool digest, long& offered) const;
    std::string PasswordFor(const std::string& url) const;

    SOptions m_options;
    std::shared_ptr<void> m_connections;
    // The servers that take Digest and not Basic.
    mutable std::set<std::string> m_digestHosts;
    // The keyring's answer for each server asked.
    mutable std::map<std::string, std::string> m_keyring;
    mutable std::size_t m_requests = 0;
    mutable std::size_t m_bytes = 0;
};

} // namespace outlook
