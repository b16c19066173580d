#pragma once

#include <graphkit/RDFGraph.h>

#include <memory>
#include <string>

// A graph loaded from an address, with the document it was read from and
// its triples as text.
class CRDFMFCGraph {
public:
    CRDFMFCGraph(std::string url, std::string document);

    bool haveGraph() const { return true; }
    CRDFGraph* get_graph() { return &m_graph; }
    const std::string& get_doc() const { return m_document; }
    const std::string& get_triples() const { return m_triples; }
    const std::string& get_Url() const { return m_url; }

    // Where the readers write the triples' text.
    std::string& Triples() { return m_triples; }

private:
    std::string m_url;
    std::string m_document;
    std::string m_triples;
    CRDFGraph m_graph;
};
