#include <outlook/DavMultistatus.h>

#include <outlook/AgentSetting.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <memory>

namespace outlook {

namespace {

constexpr const char* Dav = "DAV:";
constexpr const char* CalDav = "urn:ietf:params:xml:ns:caldav";

struct SDocFree {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

std::string NameOf(const xmlNode* node)
{
    const char* space = node->ns && node->ns->href ? reinterpret_cast<const char*>(node->ns->href) : "";
    return std::string(space) + reinterpret_cast<const char*>(node->name);
}

bool IsElement(const xmlNode* node, const char* space, const char* local)
{
    return node->type == XML_ELEMENT_NODE && NameOf(node) == std::string(space) + local;
}

std::string TextOf(const xmlNode* node)
{
    std::string text;
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE)
            text += child->content ? reinterpret_cast<const char*>(child->content) : "";
    }
    return text;
}

// "HTTP/1.1 200 OK" -> 200; 0 for anything else.
int StatusOf(const std::string& line)
{
    const std::size_t space = line.find(' ');
    if (space == std::string::npos)
        return 0;
    const int code = std::atoi(line.c_str() + space + 1);
    return code >= 100 && code <= 599 ? code : 0;
}

CDavMultistatus::SProperty ReadProperty(const xmlNode* node)
{
    CDavMultistatus::SProperty property;
    property.text = TextOf(node);
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        property.children.push_back(NameOf(child));
        if (IsElement(child, Dav, "href"))
            property.hrefs.push_back(Trimmed(TextOf(child)));
        if (IsElement(child, CalDav, "comp")) {
            xmlChar* name = xmlGetProp(child, reinterpret_cast<const xmlChar*>("name"));
            if (name)
                property.components.push_back(reinterpret_cast<const char*>(name));
            xmlFree(name);
        }
    }
    return property;
}

void ReadPropstat(const xmlNode* propstat, CDavMultistatus::SResponse& response)
{
    const xmlNode* prop = nullptr;
    int status = 0;
    for (const xmlNode* child = propstat->children; child; child = child->next) {
        if (IsElement(child, Dav, "prop"))
            prop = child;
        else if (IsElement(child, Dav, "status"))
            status = StatusOf(Trimmed(TextOf(child)));
    }
    if (!prop || status < 200 || status >= 300)
        return;
    for (const xmlNode* child = prop->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE)
            response.properties[NameOf(child)] = ReadProperty(child);
    }
}

CDavMultistatus::SResponse ReadResponse(const xmlNode* node)
{
    CDavMultistatus::SResponse response;
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (IsElement(child, Dav, "href") && response.href.empty())
            response.href = Trimmed(TextOf(child));
        else if (IsElement(child, Dav, "status"))
            response.status = StatusOf(Trimmed(TextOf(child)));
        else if (IsElement(child, Dav, "propstat"))
            ReadPropstat(child, response);
    }
    return response;
}

} // namespace

const CDavMultistatus::SProperty* CDavMultistatus::SResponse::Find(const std::string& name) const
{
    const auto found = properties.find(name);
    return found == properties.end() ? nullptr : &found->second;
}

std::string CDavMultistatus::SResponse::Text(const std::string& name) const
{
    const SProperty* property = Find(name);
    return property ? property->text : std::string();
}

bool CDavMultistatus::SResponse::Is(const std::string& kind) const
{
    const SProperty* type = Find("DAV:resourcetype");
    if (!type)
        return false;
    for (const std::string& child : type->children) {
        if (child == kind)
            return true;
    }
    return false;
}

std::string CDavMultistatus::Escaped(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '\r':
            escaped += "&#13;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

bool CDavMultistatus::Parse(const std::string& text, std::string& error)
{
    m_responses.clear();
    m_syncToken.clear();
    if (text.size() > MaxTextSize || text.size() > static_cast<std::size_t>(INT32_MAX)) {
        error = "the server's answer is too large";
        return false;
    }
    if (text.find("<!DOCTYPE") != std::string::npos || text.find("<!ENTITY") != std::string::npos) {
        error = "the server's answer declares a document type or entities, which are not read";
        return false;
    }
    // No entity is substituted and nothing is fetched: the answer is data.
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA;
    std::unique_ptr<xmlDoc, SDocFree> doc(
        xmlReadMemory(text.data(), static_cast<int>(text.size()), "multistatus.xml", nullptr, options));
    const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!root || !IsElement(root, Dav, "multistatus")) {
        error = doc ? "the server's answer is no WebDAV multistatus"
                    : "the server's answer is not well-formed XML";
        return false;
    }
    for (const xmlNode* child = root->children; child; child = child->next) {
        if (IsElement(child, Dav, "response"))
            m_responses.push_back(ReadResponse(child));
        else if (IsElement(child, Dav, "sync-token"))
            m_syncToken = Trimmed(TextOf(child));
    }
    return true;
}

} // namespace outlook
