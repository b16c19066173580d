#include <graphstore/DocumentFetch.h>

#include <platform/CurlTransfer.h>

#include <utility>

CDocumentFetch::CDocumentFetch(std::unique_ptr<CCurlTransfer> transfer, const std::string& url)
    : m_transfer(std::move(transfer)), m_url(url)
{
}

CDocumentFetch::~CDocumentFetch() = default;

std::size_t CDocumentFetch::BytesReceived() const
{
    return m_transfer->BytesReceived();
}

bool CDocumentFetch::Begin(CEventLoop& loop, bool conditional, CDocumentFetcher::Done done)
{
    return m_transfer->Start(
        loop, [url = m_url, conditional, done = std::move(done)](CCurlTransfer& transfer) {
            CFetchedDocument document;
            std::string error;
            const bool fetched = CDocumentFetcher::Conclude(transfer, url, conditional, document, error);
            // `done` may destroy this fetch and the transfer with it; what it
            // needs is on the stack by now.
            const CDocumentFetcher::Done call = done;
            call(fetched, document, error);
        });
}
