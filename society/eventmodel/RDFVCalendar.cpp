#include <eventmodel/RDFVCalendar.h>

#include <eventmodel/NodeReader.h>

#include <graphstore/Vocabulary.h>

#include <graphkit/RDFEdge.h>
#include <graphkit/RDFNode.h>

namespace {

bool LinksEvent(const std::string& property)
{
    const std::string local = nodereader::LocalName(property);
    return local == "component" || local == "vevent" || local == "vevent-prop";
}

} // namespace

bool CRDFVCalendar::set(CRDFNode* node, CRDFMFCGraphStore* store)
{
    if (!node || node->IsLiteral())
        return false;
    m_uri = node->Value();
    const std::string dc = vocabulary::Dc;
    m_title = nodereader::Text(nodereader::Value(node, dc + "title"));
    if (m_title.empty())
        m_title = nodereader::Text(nodereader::CalendarValue(node, "x-wr-calname"));
    m_description = nodereader::Text(nodereader::Value(node, dc + "description"));
    m_creator = nodereader::Text(nodereader::Value(node, dc + "creator"));
    m_date = nodereader::Text(nodereader::Value(node, dc + "date"));
    m_source = nodereader::TextOrUri(nodereader::Value(node, dc + "source"));
    for (CRDFEdge* edge : node->OutgoingEdges()) {
        if (!LinksEvent(edge->Property()))
            continue;
        CRDFVevent event;
        if (!event.set(edge->get_destNode(), store))
            continue;
        (event.IsCancelled() ? m_cancelled : m_events).push_back(event);
    }
    return !m_events.empty() || !m_cancelled.empty();
}

std::string CRDFVCalendar::getSummary(bool withEvents, const char* separator) const
{
    const std::string joint = separator ? separator : "\n";
    const std::pair<const char*, const std::string*> lines[] = {
        {"Title: ", &m_title}, {"Description: ", &m_description}, {"Creator: ", &m_creator},
        {"Date: ", &m_date},   {"Source: ", &m_source},           {"Schedule: ", &m_url},
    };
    std::string summary;
    for (const auto& line : lines) {
        if (!line.second->empty())
            summary += line.first + *line.second + joint;
    }
    if (withEvents) {
        for (const CRDFVevent& event : m_events)
            summary += "Event: " + event.getDescription() + " (" + event.getStartString() + ")" + joint;
    }
    return summary;
}

std::string CRDFVCalendar::getTitleDescription() const
{
    return m_title.empty() ? m_uri : m_title;
}
