#pragma once

#include <graphstore/DocumentFetcher.h>
#include <graphstore/RDFMFCGraph.h>

#include <memory>
#include <string>
#include <vector>

// The graphs loaded from web schedules, owned here until deleted or until
// the store goes.
class CRDFMFCGraphStore {
public:
    CRDFMFCGraphStore();
    explicit CRDFMFCGraphStore(const CDocumentFetcher& fetcher);
    ~CRDFMFCGraphStore();

    CRDFMFCGraphStore(const CRDFMFCGraphStore&) = delete;
    CRDFMFCGraphStore& operator=(const CRDFMFCGraphStore&) = delete;

    // Fetches the document at `url` and reads it (RDF/XML, Turtle,
    // N-Triples or iCalendar) into a new graph owned by the store; null on
    // any failure, which GetErrorMsg then explains.
    CRDFMFCGraph* LoadNewGraph(const std::string& url);
    // The same for a document already at hand. Bytes that are not UTF-8 are
    // read as U+FFFD; a document past CDocumentBounds is refused unread.
    CRDFMFCGraph* LoadGraphFromText(const std::string& url, const std::string& raw,
                                    const std::string& contentType = std::string());
    // Removes and destroys a graph of the store; false for one it does not
    // hold.
    bool DeleteGraph(CRDFMFCGraph* graph);

    const std::string& GetErrorMsg() const { return m_error; }
    std::size_t GraphCount() const { return m_graphs.size(); }

private:
    bool WithinBounds(const std::string& text, const std::string& contentType, bool iCalendar);

    CDocumentFetcher m_fetcher;
    std::vector<std::unique_ptr<CRDFMFCGraph>> m_graphs;
    std::string m_error;
};
