#pragma once

#include <string>
#include <vector>

class CRDFEdge;

// One node of an RDF graph: a resource named by its URI, a blank node, or a
// literal text. A node knows every edge that touches it, whichever end.
class CRDFNode {
public:
    enum Kind { Resource, Blank, Literal };
    // Called for each edge of a walk, with the three values the walk was
    // given.
    using EdgeCallback = void (*)(CRDFEdge* edge, void* a, void* b, void* c);

    CRDFNode(Kind kind, std::string value);

    CRDFNode(const CRDFNode&) = delete;
    CRDFNode& operator=(const CRDFNode&) = delete;

    Kind GetKind() const { return m_kind; }
    bool IsLiteral() const { return m_kind == Literal; }
    // The URI, the blank node's label or the literal's text.
    const char* get_val() const { return m_value.c_str(); }
    const std::string& Value() const { return m_value; }

    // Every edge touching the node, in the order the triples came.
    const std::vector<CRDFEdge*>& get_edgelist() const { return m_edges; }
    // The edges leaving the node (the node is their subject).
    std::vector<CRDFEdge*> OutgoingEdges() const;
    // The objects of the edges leaving the node with that property URI.
    std::vector<CRDFNode*> Objects(const std::string& property) const;

    // Calls `callback(edge, a, b, c)` for each edge with that property URI
    // that touches the node. Returns how many there were.
    int interate_through_Edges(const char* property, EdgeCallback callback, void* a, void* b, void* c);

    void AddEdge(CRDFEdge* edge) { m_edges.push_back(edge); }

private:
    Kind m_kind;
    std::string m_value;
    std::vector<CRDFEdge*> m_edges;
};
