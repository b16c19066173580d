#include <graphkit/RDFGraph.h>

CRDFGraph::CRDFGraph() = default;
CRDFGraph::~CRDFGraph() = default;

std::string CRDFGraph::Key(CRDFNode::Kind kind, const std::string& value)
{
    return std::string(1, static_cast<char>('0' + kind)) + value;
}

CRDFNode* CRDFGraph::get_Node(const char* uri, int create)
{
    if (!uri)
        return nullptr;
    if (create)
        return Intern(CRDFNode::Resource, uri);
    auto it = m_nodes.find(Key(CRDFNode::Resource, uri));
    return it == m_nodes.end() ? nullptr : it->second.get();
}

CRDFNode* CRDFGraph::Intern(CRDFNode::Kind kind, const std::string& value)
{
    std::unique_ptr<CRDFNode>& slot = m_nodes[Key(kind, value)];
    if (!slot)
        slot = std::make_unique<CRDFNode>(kind, value);
    return slot.get();
}

CRDFEdge* CRDFGraph::AddEdge(CRDFNode* source, const std::string& property, CRDFNode* destination)
{
    m_edges.emplace_back(property, source, destination);
    CRDFEdge* edge = &m_edges.back();
    source->AddEdge(edge);
    if (destination != source)
        destination->AddEdge(edge);
    return edge;
}

void CRDFGraph::walk_nodes(NodeCallback callback, void* context)
{
    if (!callback)
        return;
    for (auto& entry : m_nodes)
        callback(entry.second.get(), context);
}
