#include <graphkit/RDFEdge.h>

CRDFEdge::CRDFEdge(std::string property, CRDFNode* source, CRDFNode* destination)
    : m_property(std::move(property)), m_source(source), m_destination(destination)
{
}
