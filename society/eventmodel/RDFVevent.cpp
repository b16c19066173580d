#include <eventmodel/RDFVevent.h>

#include <eventmodel/NodeReader.h>

#include <graphstore/Vocabulary.h>

#include <graphkit/RDFNode.h>

#include <algorithm>
#include <cctype>

namespace {

// The W3C vocabulary's rule resource names its parts one by one; they are
// joined into the text a feed's RRULE has. A part holding anything but what
// a rule's values are made of spoils the rule, so that no value can add
// parts of its own and no end is lost.
std::string RuleText(CRDFNode* rule)
{
    if (!rule || rule->IsLiteral())
        return nodereader::Text(rule);
    static const char* const Parts[] = {"freq",  "interval",   "count",   "until",
                                        "byday", "bymonthday", "bymonth", "wkst"};
    std::string text;
    for (const char* part : Parts) {
        CRDFNode* given = nodereader::CalendarValue(rule, part);
        if (!given)
            continue;
        std::string value = nodereader::DateText(given);
        if (std::string(part) == "until") {
            // A zoned end reads as its instant, the zone's name after it.
            value = value.substr(0, value.find('['));
            value.erase(
                std::remove_if(value.begin(), value.end(), [](char c) { return c == '-' || c == ':'; }),
                value.end());
        }
        const bool sound = !value.empty() && value.size() <= 64 &&
                           std::all_of(value.begin(), value.end(), [](unsigned char c) {
                               return std::isalnum(c) || c == ',' || c == '+' || c == '-';
                           });
        if (!sound)
            return std::string();
        text += (text.empty() ? "" : ";") + std::string(part) + "=" + value;
    }
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text.rfind("FREQ=", 0) == 0 ? text : std::string();
}

bool TextIs(CRDFNode* node, const char* word)
{
    std::string text = nodereader::Text(node);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text == word;
}

} // namespace

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
    ReadRecurrence(node, store);
    m_free = TextIs(nodereader::CalendarValue(node, "transp"), "TRANSPARENT");
    m_cancelled = TextIs(nodereader::CalendarValue(node, "status"), "CANCELLED");
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
            m_end = m_start.After(minutes);
    } else if (m_end.IsValid() && m_start.GetInstant() && m_end.GetInstant()) {
        // The local wall clock may jump between two instants; their
        // distance is the event's length.
        const long long seconds = *m_end.GetInstant() - *m_start.GetInstant();
        m_duration =
            CDateTimeSpan(static_cast<long>(seconds / 86400), 0, 0, static_cast<int>(seconds % 86400));
    } else if (m_end.IsValid()) {
        m_duration = m_end.GetValue() - m_start.GetValue();
    } else if (m_start.IsDateOnly()) {
        // A day without an end is that day.
        m_duration = CDateTimeSpan(1, 0, 0, 0);
        m_end = m_start.After(1440);
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
}

void CRDFVevent::ReadRecurrence(CRDFNode* node, CRDFMFCGraphStore* store)
{
    m_rule = RuleText(nodereader::CalendarValue(node, "rrule"));
    m_excluded = StartsOf(node, "exdate", store);
    m_added = StartsOf(node, "rdate", store);
}

std::vector<CDateTime> CRDFVevent::StartsOf(CRDFNode* node, const char* localName, CRDFMFCGraphStore* store)
{
    std::vector<CDateTime> starts;
    for (CRDFNode* value : nodereader::CalendarValues(node, localName)) {
        CRDFDateTime start;
        if (start.set(value, store))
            starts.push_back(start.GetValue());
    }
    return starts;
}

void CRDFVevent::ReadPeopleAndPlace(CRDFNode* node, CRDFMFCGraphStore* store)
{
    m_location.set(nodereader::CalendarValue(node, "location"), store);
    for (CRDFNode* attendee : nodereader::CalendarValues(node, "attendee")) {
        CRDFPerson person;
        if (person.set(attendee, store))
            m_attendees.push_back(person);
    }
    m_organiser.set(nodereader::CalendarValue(node, "organizer"), store);
    if (CRDFNode* alarm = nodereader::CalendarValue(node, "valarm"))
        m_alarm.set(alarm, store);
}
