#include <graphkit/RDFNode.h>

#include <graphkit/RDFEdge.h>

CRDFNode::CRDFNode(Kind kind, std::string value) : m_kind(kind), m_value(std::move(value)) {}

std::vector<CRDFEdge*> CRDFNode::OutgoingEdges() const
{
    std::vector<CRDFEdge*> outgoing;
    for (CRDFEdge* edge : m_edges) {
        if (edge->get_sourceNode() == this)
            outgoing.push_back(edge);
    }
    return outgoing;
}

std::vector<CRDFNode*> CRDFNode::Objects(const std::string& property) const
{
    std::vector<CRDFNode*> objects;
    for (CRDFEdge* edge : m_edges) {
        if (edge->get_sourceNode() == this && edge->Property() == property)
            objects.push_back(edge->get_destNode());
    }
    return objects;
}

int CRDFNode::interate_through_Edges(const char* property, EdgeCallback callback, void* a, void* b, void* c)
{
    if (!property || !callback)
        return 0;
    // A copy: the callback may add edges to this node.
    const std::vector<CRDFEdge*> edges = m_edges;
    int count = 0;
    for (CRDFEdge* edge : edges) {
        if (edge->Property() == property) {
            callback(edge, a, b, c);
            ++count;
        }
    }
    return count;
}
