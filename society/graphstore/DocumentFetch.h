#pragma once

#include <graphstore/DocumentFetcher.h>

#include <memory>
#include <string>

class CCurlTransfer;
class CEventLoop;

// A document on its way from the web (CDocumentFetcher::Start); destroying
// it stops the transfer.
class CDocumentFetch {
public:
    CDocumentFetch(std::unique_ptr<CCurlTransfer> transfer, const std::string& url);
    ~CDocumentFetch();

    CDocumentFetch(const CDocumentFetch&) = delete;
    CDocumentFetch& operator=(const CDocumentFetch&) = delete;

    const std::string& GetUrl() const { return m_url; }
    // The bytes of the document received so far.
    std::size_t BytesReceived() const;

private:
    friend class CDocumentFetcher;
    bool Begin(CEventLoop& loop, bool conditional, CDocumentFetcher::Done done);

    std::unique_ptr<CCurlTransfer> m_transfer;
    std::string m_url;
};
