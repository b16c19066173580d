#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class CCurlMulti;
class CEventLoop;
struct sockaddr;

// One libcurl transfer, set up the way every part of the program sets one
// up: only the protocols the caller names (after redirects too), no
// signals, the program's user agent, the server's certificate and name
// verified, a connect and a total time-out, at most the redirects the
// caller allows. The answer's body is kept up to a bound.
//
// A transfer runs to its end at once (Perform, which blocks) or on the
// event loop (Start); destroying a started transfer stops it. An address
// filter may refuse the addresses it is about to connect to.
class CCurlTransfer {
public:
    static constexpr const char* UserAgent = "Orvante-Calendar-Agent";
    static constexpr const char* WebProtocols = "http,https";
    static constexpr const char* MailProtocols = "smtp,smtps";

    struct SSettings {
        std::string url;
        const char* protocols = WebProtocols;
        long connectTimeoutMs = 10000;
        long totalTimeoutMs = 20000;
        // 0: a redirect is the answer, not followed.
        long maxRedirects = 0;
        std::size_t maxBodyBytes = 16u << 20;
    };

    // Says why the address a transfer is about to connect to is refused;
    // empty lets it through.
    using AddressFilter = std::function<std::string(const sockaddr* address)>;
    using Finished = std::function<void(CCurlTransfer& transfer)>;

    explicit CCurlTransfer(const SSettings& settings);
    ~CCurlTransfer();

    CCurlTransfer(const CCurlTransfer&) = delete;
    CCurlTransfer& operator=(const CCurlTransfer&) = delete;

    // Starts libcurl once for the process; false when it cannot start.
    static bool StartLibrary();

    // False when libcurl gave no handle; nothing can run then.
    bool IsReady() const { return m_curl != nullptr; }
    // For the caller's own options (headers, a body to post, mail
    // addresses, a reader of what is sent).
    CURL* Handle() const { return m_curl; }
    // Every connection, after the name is resolved and on every redirect,
    // is checked by `filter` first.
    void SetAddressFilter(AddressFilter filter);
    // Sends "Name: value" with the request (and with every redirect's).
    void AddRequestHeader(const std::string& line);

    // Runs the transfer to its end; its result.
    CURLcode Perform();
    // Starts the transfer on `loop`; `finished` runs there when it ends,
    // never from inside Start, and may destroy the transfer. False when it
    // cannot start.
    bool Start(CEventLoop& loop, Finished finished);

    CURLcode Result() const { return m_result; }
    bool Succeeded() const { return m_result == CURLE_OK && !m_bodyTooLarge; }
    bool BodyTooLarge() const { return m_bodyTooLarge; }
    // Why the first refused address was refused (empty when none was).
    const std::string& Refusal() const { return m_refusal; }
    // What went wrong, in libcurl's words (its error buffer when it has
    // one); empty after success.
    std::string ErrorText() const;
    long ResponseCode() const;
    std::string ContentType() const;
    // The value of a header of the last answer (after redirects); empty
    // when it gave none.
    std::string ResponseHeader(const char* name) const;
    std::string& Body() { return m_body; }
    std::size_t BytesReceived() const { return m_body.size(); }

private:
    static std::size_t CollectBody(char* data, std::size_t size, std::size_t count, void* self);
    static curl_socket_t OpenCheckedSocket(void* self, curlsocktype purpose, curl_sockaddr* address);

    CURL* m_curl = nullptr;
    std::size_t m_maxBodyBytes;
    std::string m_body;
    bool m_bodyTooLarge = false;
    CURLcode m_result = CURLE_OK;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
    AddressFilter m_addressFilter;
    std::string m_refusal;
    curl_slist* m_requestHeaders = nullptr;
    std::unique_ptr<CCurlMulti> m_multi;
};
