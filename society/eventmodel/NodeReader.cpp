#include <eventmodel/NodeReader.h>

#include <graphstore/Vocabulary.h>

#include <graphkit/RDFEdge.h>
#include <graphkit/RDFNode.h>

#include <algorithm>
#include <cctype>

namespace nodereader {

std::string LocalName(const std::string& uri)
{
    const std::string::size_type cut = uri.find_last_of("#/");
    std::string name = cut == std::string::npos ? uri : uri.substr(cut + 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

bool IsCalendarProperty(const std::string& uri)
{
    return uri.rfind(vocabulary::Hybrid, 0) == 0 || uri.rfind(vocabulary::Ical, 0) == 0;
}

std::vector<CRDFNode*> CalendarValues(const CRDFNode* node, const char* localName)
{
    std::vector<CRDFNode*> values;
    if (!node)
        return values;
    for (CRDFEdge* edge : node->get_edgelist()) {
        if (edge->get_sourceNode() == node && IsCalendarProperty(edge->Property()) &&
            LocalName(edge->Property()) == localName)
            values.push_back(edge->get_destNode());
    }
    return values;
}

CRDFNode* CalendarValue(const CRDFNode* node, const char* localName)
{
    const std::vector<CRDFNode*> values = CalendarValues(node, localName);
    return values.empty() ? nullptr : values.front();
}

std::vector<CRDFNode*> Values(const CRDFNode* node, const std::string& property)
{
    return node ? node->Objects(property) : std::vector<CRDFNode*>();
}

CRDFNode* Value(const CRDFNode* node, const std::string& property)
{
    const std::vector<CRDFNode*> values = Values(node, property);
    return values.empty() ? nullptr : values.front();
}

std::string Text(const CRDFNode* node)
{
    if (!node)
        return std::string();
    if (node->IsLiteral())
        return node->Value();
    for (const std::string& property :
         {std::string(vocabulary::RdfValue), std::string(vocabulary::Rdfs) + "label"}) {
        if (CRDFNode* value = Value(node, property); value && value->IsLiteral())
            return value->Value();
    }
    CRDFNode* name = CalendarValue(node, "name");
    return name && name->IsLiteral() ? name->Value() : std::string();
}

std::string TextOrUri(const CRDFNode* node)
{
    if (!node)
        return std::string();
    return node->GetKind() == CRDFNode::Blank ? Text(node) : node->Value();
}

std::string DateText(const CRDFNode* node)
{
    if (!node)
        return std::string();
    if (node->IsLiteral())
        return node->Value();
    if (CRDFNode* value = Value(node, vocabulary::RdfValue); value && value->IsLiteral())
        return value->Value();
    for (const char* local : {"datetime", "date"}) {
        if (CRDFNode* value = CalendarValue(node, local); value && value->IsLiteral())
            return value->Value();
    }
    return std::string();
}

bool HasType(const CRDFNode* node, const std::string& classUri)
{
    for (CRDFNode* type : Values(node, vocabulary::RdfType)) {
        if (type->Value() == classUri)
            return true;
    }
    return false;
}

} // namespace nodereader
