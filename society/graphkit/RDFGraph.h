#pragma once

#include <graphkit/RDFEdge.h>
#include <graphkit/RDFNode.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>

// An RDF graph: a table of nodes, one per resource URI, blank label or
// literal text, and the edges between them. It owns both.
class CRDFGraph {
public:
    using NodeCallback = void (*)(CRDFNode* node, void* context);

    CRDFGraph();
    ~CRDFGraph();

    CRDFGraph(const CRDFGraph&) = delete;
    CRDFGraph& operator=(const CRDFGraph&) = delete;

    // The resource node of `uri`; with `create` 0 null when the graph has
    // none, else it is made.
    CRDFNode* get_Node(const char* uri, int create);
    // The node of a kind and value, made when missing.
    CRDFNode* Intern(CRDFNode::Kind kind, const std::string& value);
    // Adds the triple (source, property, destination).
    CRDFEdge* AddEdge(CRDFNode* source, const std::string& property, CRDFNode* destination);

    // Calls `callback` for every node of the table.
    void walk_nodes(NodeCallback callback, void* context);

    std::size_t NodeCount() const { return m_nodes.size(); }
    std::size_t EdgeCount() const { return m_edges.size(); }

private:
    static std::string Key(CRDFNode::Kind kind, const std::string& value);

    std::unordered_map<std::string, std::unique_ptr<CRDFNode>> m_nodes;
    std::deque<CRDFEdge> m_edges;
};
