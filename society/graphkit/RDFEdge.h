#pragma once

#include <string>

class CRDFNode;

// One triple of a graph: the property's URI from a source (subject) node to
// a destination (object) node. The graph owns both nodes.
class CRDFEdge {
public:
    CRDFEdge(std::string property, CRDFNode* source, CRDFNode* destination);

    const char* get_val() const { return m_property.c_str(); }
    const std::string& Property() const { return m_property; }
    CRDFNode* get_sourceNode() const { return m_source; }
    CRDFNode* get_destNode() const { return m_destination; }

private:
    std::string m_property;
    CRDFNode* m_source;
    CRDFNode* m_destination;
};
