#pragma once

#include <cstddef>
#include <string>

// A document fetched for the graph store: its bytes and the content type
// the server gave (empty for a file).
struct CFetchedDocument {
    std::string text;
    std::string contentType;
};

// Fetches schedules: http and https through libcurl (webcal:// is read as
// http://), file:// from the local disk; every other scheme is refused.
// Documents are at most MaxBytes, a fetch takes at most the time-out, and a
// redirect chain at most MaxRedirects steps, to http or https only.
class CDocumentFetcher {
public:
    static constexpr std::size_t MaxBytes = 16u << 20;
    static constexpr long DefaultTimeoutSeconds = 20;
    static constexpr long MaxRedirects = 5;

    explicit CDocumentFetcher(long timeoutSeconds = DefaultTimeoutSeconds);

    // False with `error` saying why (not found, too large, timed out,
    // refused address ...).
    bool Fetch(const std::string& url, CFetchedDocument& document, std::string& error) const;

private:
    bool FetchWeb(const std::string& url, CFetchedDocument& document, std::string& error) const;
    static bool FetchFile(const std::string& url, CFetchedDocument& document, std::string& error);

    long m_timeoutSeconds;
};
