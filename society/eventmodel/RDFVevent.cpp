#include <eventmodel/RDFVevent.h>

#include <eventmodel/NodeReader.h>

#include <graphstore/Vocabulary.h>

#include <graphkit/RDFNode.h>

bool CRDFVevent::set(CRDFNode* node, CRDFMFCGraphStore* store)
{
    if (!node || node->IsLiteral())
        return false;
    m_uri = node->GetKind() == CRDFNode::Resource ? node->Value() : std::string();
    ReadTimes(node, store);
    if (!m_start.IsValid())
        return false;
    ReadText(node);
    ReadPeopleAndPlace(node, store);
    return true;
}

void CRDFVevent::ReadTimes(CRDFNode* node, CRDFMFCGraphStore* store)
{
    if (!m_start.set(nodereader::CalendarValue(node, "dtstart"), store))
        return;
    m_end.set(nodereader::CalendarValue(node, "dtend"), store);
    // An end before the start says nothing usable: the event is taken as
    // if it had none.
    if (m_end.IsValid() && m_end.GetValue() < m_start.GetValue())
        m_end = CRDFDateTime();
    CRDFDuration duration;
    duration.set(nodereader::CalendarValue(node, "duration"), store);
    if (duration.IsSet() && duration.getDurationInMins() >= 0) {
        const long minutes = duration.getDurationInMins();
        m_duration = CDateTimeSpan(minutes / 1440, 0, static_cast<int>(minutes % 1440), 0);
        if (!m_end.IsValid())
            m_end.SetValue(m_start.GetValue() + m_duration);
    } else if (m_end.IsValid()) {
        m_duration = m_end.GetValue() - m_start.GetValue();
    } else if (m_start.IsDateOnly()) {
        // A day without an end is that day.
        m_duration = CDateTimeSpan(1, 0, 0, 0);
        m_end.SetValue(m_start.GetValue() + m_duration);
    } else {
        m_end.SetValue(m_start.GetValue());
    }
}

bool CRDFVevent::IsAllDay() const
{
    const bool endGiven = !m_end.GetText().empty();
    return m_start.IsDateOnly() && (!endGiven || m_end.IsDateOnly()) &&
           m_duration.GetTotalDays() >= 1.0 - 1e-9;
}

void CRDFVevent::ReadText(CRDFNode* node)
{
    m_description = nodereader::Text(nodereader::CalendarValue(node, "summary"));
    if (m_description.empty())
        m_description = nodereader::Text(nodereader::CalendarValue(node, "description"));
    m_seeAlso = nodereader::TextOrUri(nodereader::CalendarValue(node, "url"));
    if (m_seeAlso.empty())
        m_seeAlso = nodereader::TextOrUri(nodereader::Value(node, std::string(vocabulary::Rdfs) + "seeAlso"));
    m_rule = nodereader::Text(nodereader::CalendarValue(node, "rrule"));
}

void CRDFVevent::ReadPeopleAndPlace(CRDFNode* node, CRDFMFCGraphStore* store)
{
    m_location.set(nodereader::CalendarValue(node, "location"), store);
    for (CRDFNode* attendee : nodereader::CalendarValues(node, "attendee")) {
        CRDFPerson person;
        if (person.set(attendee, store))
            m_attendees.push_back(person);
    }
    if (CRDFNode* alarm = nodereader::CalendarValue(node, "valarm"))
        m_alarm.set(alarm, store);
}
