#include <vespera/core/Negotiation.h>

#include <algorithm>

#include <sstream>

CNegotiation::CNegotiation()
    : m_expires(0.0), m_contractsSent(0), m_strict(0), m_bidsReceived(0), m_confirmationsReceived(0),
      m_startConstraint(0.0), m_endConstraint(0.0), m_duration(0), m_status(0), m_totalContracts(0),
      m_totalAwards(0), m_totalBids(0), m_totalConfirmations(0)
{
}

CNegotiation::~CNegotiation()
{
    ClearSuggestions();
}

void CNegotiation::AddSuggestion(std::unique_ptr<CTimeSlot> slot, const std::string& agent,
                                 const std::string& bidID)
{
    if (slot)
        m_suggestions.Add(slot.release(), agent, bidID);
}

void CNegotiation::ClearSuggestions()
{
    std::vector<std::unique_ptr<CTimeSlot>> slots;
    slots.reserve(static_cast<size_t>(m_suggestions.GetCount()));
    for (int i = 0; i < m_suggestions.GetCount(); ++i)
        slots.emplace_back(m_suggestions.GetTimeSlot(i));
    m_suggestions.Clear();
}

void CNegotiation::SetAttendees(const std::string& commaSeparated)
{
    m_attendees = SplitNames(commaSeparated);
}

std::vector<std::string> CNegotiation::SplitNames(const std::string& commaSeparated)
{
    std::vector<std::string> names;
    std::istringstream in(commaSeparated);
    std::string name;
    while (std::getline(in, name, ',')) {
        if (!name.empty())
            names.push_back(name);
    }
    return names;
}

std::string CNegotiation::GetAttendeesText() const
{
    std::string text;
    for (const std::string& name : m_attendees) {
        if (!text.empty())
            text += ',';
        text += name;
    }
    return text;
}

bool CNegotiation::CountBid()
{
    ++m_totalBids;
    ++m_bidsReceived;
    return m_bidsReceived == m_contractsSent;
}

bool CNegotiation::IsAttendee(const std::string& agent) const
{
    return std::find(m_attendees.begin(), m_attendees.end(), agent) != m_attendees.end();
}

bool CNegotiation::CountConfirmation(const std::string& attendee)
{
    ++m_totalConfirmations;
    ++m_confirmationsReceived;
    if (!m_confirmedBy.insert(attendee).second)
        return false;
    const std::set<std::string> asked(m_attendees.begin(), m_attendees.end());
    return m_confirmedBy == asked;
}
