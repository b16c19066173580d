#include <graphstore/RDFMFCGraphStore.h>

#include <graphstore/DocumentBounds.h>
#include <graphstore/ICalendarGraphBuilder.h>
#include <graphstore/RDFDocumentParser.h>

#include <algorithm>

CRDFMFCGraphStore::CRDFMFCGraphStore() = default;

CRDFMFCGraphStore::CRDFMFCGraphStore(const CDocumentFetcher& fetcher) : m_fetcher(fetcher) {}

CRDFMFCGraphStore::~CRDFMFCGraphStore() = default;

CRDFMFCGraph* CRDFMFCGraphStore::LoadNewGraph(const std::string& url)
{
    m_error.clear();
    CFetchedDocument document;
    if (!m_fetcher.Fetch(url, document, m_error))
        return nullptr;
    return LoadGraphFromText(url, document.text, document.contentType);
}

CRDFMFCGraph* CRDFMFCGraphStore::LoadGraphFromText(const std::string& url, const std::string& raw,
                                                   const std::string& contentType)
{
    m_error.clear();
    // Raw bytes that are not UTF-8 would reach the calendar file as they
    // came; every reader below sees them replaced.
    const std::string text = CDocumentBounds::ValidUtf8(raw);
    const bool iCalendar = CICalendarGraphBuilder::IsICalendar(contentType, text);
    if (!WithinBounds(text, contentType, iCalendar))
        return nullptr;
    auto graph = std::make_unique<CRDFMFCGraph>(url, text);
    const bool read =
        iCalendar ? CICalendarGraphBuilder::Build(text, url, *graph->get_graph(), graph->Triples(), m_error)
                  : CRDFDocumentParser::Parse(text, contentType, url, *graph->get_graph(), graph->Triples(),
                                              m_error);
    if (!read)
        return nullptr;
    m_graphs.push_back(std::move(graph));
    return m_graphs.back().get();
}

bool CRDFMFCGraphStore::WithinBounds(const std::string& text, const std::string& contentType, bool iCalendar)
{
    if (iCalendar)
        return CDocumentBounds::CheckICalendar(text, m_error);
    if (CRDFDocumentParser::SyntaxFor(contentType, text) == "rdfxml")
        return CDocumentBounds::CheckXml(text, m_error);
    return CDocumentBounds::CheckTurtle(text, m_error);
}

bool CRDFMFCGraphStore::DeleteGraph(CRDFMFCGraph* graph)
{
    auto it =
        std::find_if(m_graphs.begin(), m_graphs.end(),
                     [graph](const std::unique_ptr<CRDFMFCGraph>& held) { return held.get() == graph; });
    if (it == m_graphs.end())
        return false;
    m_graphs.erase(it);
    return true;
}
