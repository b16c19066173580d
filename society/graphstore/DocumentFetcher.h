#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>

class CCurlTransfer;
class CDocumentFetch;
class CEventLoop;
struct sockaddr;

// A document fetched for the graph store: its bytes and the content type
// the server gave (empty for a file), with the validators of the answer
// that a later conditional fetch sends back (empty when the server gave
// none, or gave one that is not plain text of a sane length).
struct CFetchedDocument {
    CFetchedDocument() = default;
    CFetchedDocument(std::string text, std::string contentType)
        : text(std::move(text)), contentType(std::move(contentType))
    {
    }

    std::string text;
    std::string contentType;
    std::string etag;
    std::string lastModified;
    // A conditional fetch whose document has not changed: no text.
    bool notModified = false;
};

// Fetches schedules: http and https through libcurl (webcal:// is read as
// https://, or as http:// from this machine's loopback names and
// addresses, which no network carries), file:// from the local disk; every
// other scheme is refused.
// Documents are at most MaxBytes, a fetch takes at most the time-out, and a
// redirect chain at most MaxRedirects steps, to http or https only.
//
// A fetcher for an address someone else named may be kept to public
// addresses: every address it is about to connect to (after the name is
// resolved, and again for every redirect) must be one, so that nobody can
// make it reach the machine itself or the user's local networks.
class CDocumentFetcher {
public:
    static constexpr std::size_t MaxBytes = 16u << 20;
    static constexpr long DefaultTimeoutSeconds = 20;
    static constexpr long MaxRedirects = 5;

    // Says why the address a fetch is about to connect to is refused; empty
    // lets it through.
    using AddressFilter = std::function<std::string(const sockaddr* address)>;
    // How a started fetch ended: the document, else why not.
    using Done = std::function<void(bool fetched, CFetchedDocument& document, const std::string& error)>;

    explicit CDocumentFetcher(long timeoutSeconds = DefaultTimeoutSeconds);

    // Every connection, after the name is resolved and on every redirect,
    // is checked by `filter` first (an empty filter lets every address
    // through).
    void SetAddressFilter(AddressFilter filter) { m_addressFilter = std::move(filter); }
    // The filter for an address someone else named: public addresses only.
    static std::string RefuseNonPublic(const sockaddr* address);
    // Makes web fetches conditional: with If-None-Match and
    // If-Modified-Since (for the non-empty ones), a 304 answer is a fetch
    // that ends with notModified.
    void SetValidators(const std::string& etag, const std::string& lastModified);
    // The address a web fetch of `url` goes to (as the class comment says);
    // empty for a scheme that is not fetched from the web.
    static std::string WebFetchAddress(const std::string& url);
    // The host of "scheme://[user@]host[:port]/...", an IPv6 one in its
    // brackets; empty when there is none.
    static std::string HostOf(const std::string& url);
    // The file:// address of an absolute path, every byte but letters,
    // digits, "-._~" and "/" written as %XX, so that any file name (with
    // blanks, "#", "?" or bytes that are not UTF-8) reads back as itself.
    static std::string FileAddressOf(const std::string& path);
    // The path a file:// (or file://localhost/) address names, its %XX
    // read and anything from "?" or "#" on left out; false for any other
    // address, and for a file of another machine.
    static bool LocalPathOf(const std::string& url, std::string& path);
    // The longest validator kept from an answer.
    static constexpr std::size_t MaxValidatorBytes = 256;

    // Fetches at once, blocking until the document is there. False with
    // `error` saying why (not found, too large, timed out, refused
    // address ...).
    bool Fetch(const std::string& url, CFetchedDocument& document, std::string& error) const;
    // Starts a fetch on `loop`, which goes on serving everything else
    // meanwhile. A file, or an address refused for its scheme, is read at
    // once: `done` then runs before Start returns, which gives null.
    // Otherwise `done` runs on the loop when the fetch ends, unless the
    // fetch returned is destroyed first; `done` may destroy it.
    std::unique_ptr<CDocumentFetch> Start(const std::string& url, CEventLoop& loop, Done done) const;

private:
    friend class CDocumentFetch;
    std::unique_ptr<CCurlTransfer> NewTransfer(const std::string& url) const;
    // The document or the error of a web transfer that ended.
    static bool Conclude(CCurlTransfer& transfer, const std::string& url, bool conditional,
                         CFetchedDocument& document, std::string& error);
    bool IsConditional() const { return !m_etag.empty() || !m_lastModified.empty(); }
    static bool FetchFile(const std::string& url, CFetchedDocument& document, std::string& error);
    // The address libcurl fetches for `url`; false (with `error`) for a
    // scheme that is not fetched from the web.
    static bool WebAddress(const std::string& url, std::string& address);

    long m_timeoutSeconds;
    AddressFilter m_addressFilter;
    std::string m_etag;
    std::string m_lastModified;
};
