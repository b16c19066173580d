#include <graphstore/RDFMFCGraph.h>

CRDFMFCGraph::CRDFMFCGraph(std::string url, std::string document)
    : m_url(std::move(url)), m_document(std::move(document))
{
}
