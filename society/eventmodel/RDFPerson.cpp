#include <eventmodel/RDFPerson.h>

#include <eventmodel/NodeReader.h>

#include <graphstore/Vocabulary.h>

#include <graphkit/RDFNode.h>

namespace {

std::string WithoutMailto(const std::string& address)
{
    if (address.size() > 7 &&
        (address.compare(0, 7, "mailto:") == 0 || address.compare(0, 7, "MAILTO:") == 0))
        return address.substr(7);
    return address;
}

} // namespace

bool CRDFPerson::set(CRDFNode* node, CRDFMFCGraphStore*)
{
    if (!node)
        return false;
    if (node->IsLiteral()) {
        const std::string& text = node->Value();
        if (WithoutMailto(text) != text || text.find('@') != std::string::npos)
            m_email = WithoutMailto(text);
        else
            m_name = text;
        return !text.empty();
    }
    const std::string foaf = vocabulary::Foaf;
    m_name = nodereader::Text(nodereader::Value(node, foaf + "name"));
    if (m_name.empty())
        m_name = nodereader::Text(nodereader::CalendarValue(node, "cn"));
    std::vector<CRDFNode*> mailboxes = nodereader::Values(node, foaf + "mbox");
    for (CRDFNode* address : nodereader::CalendarValues(node, "caladdress"))
        mailboxes.push_back(address);
    for (CRDFNode* mailbox : mailboxes) {
        const std::string address = WithoutMailto(nodereader::TextOrUri(mailbox));
        if (!address.empty())
            m_email += (m_email.empty() ? "" : ", ") + address;
    }
    m_homepage = nodereader::TextOrUri(nodereader::Value(node, foaf + "workplaceHomepage"));
    m_agentName =
        nodereader::Text(nodereader::Value(node, std::string(vocabulary::CalendarAgent) + "agentName"));
    if (m_name.empty() && m_email.empty() && node->GetKind() == CRDFNode::Resource)
        m_email =
            WithoutMailto(node->Value()) != node->Value() ? WithoutMailto(node->Value()) : std::string();
    return !m_name.empty() || !m_email.empty();
}

std::string CRDFPerson::getPersonString() const
{
    if (!m_name.empty() && !m_email.empty())
        return m_name + " <" + m_email + ">";
    return m_name.empty() ? m_email : m_name;
}
