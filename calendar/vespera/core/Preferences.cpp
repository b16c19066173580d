#include <vespera/core/Preferences.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/BusyTimeIndex.h>

#include <platform/DateTimeSpan.h>

#include <cctype>
#include <climits>

namespace {
// Half-hour marks within seven days, plus the start and the first mark.
constexpr int MaxCandidates = CPreferences::SearchDays * 48 + 2;

constexpr unsigned EveryDay = 127;
constexpr unsigned Weekend = 65;

bool IsValidTime(const CDateTime& value)
{
    return value.GetStatus() == CDateTime::valid;
}

CDateTimeSpan Minutes(int minutes)
{
    return CDateTimeSpan(0, 0, minutes, 0);
}

CDateTime ParseTime(const std::string& text)
{
    CDateTime value;
    if (!value.ParseDateTime(text))
        value.SetStatus(CDateTime::invalid);
    return value;
}

// Leading decimal digits after optional blanks and sign, as atoi reads
// them, held to the int range; 0 without digits.
long long LeadingNumber(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX)
            break;
    }
    return negative ? -value : value;
}
} // namespace

CPreferences::CPreferences(const CAgentSettings& settings, const CAppointmentStore& appointments,
                           DebugSink debug)
    : m_settings(settings), m_appointments(appointments), m_debug(std::move(debug))
{
}

CPreferences::~CPreferences() = default;

// --- the store ---------------------------------------------------------------

void CPreferences::RebuildPreferences()
{
    Clear();
    AddBounds();
    LoadPreferences();
}

void CPreferences::AddBounds()
{
    const CDateTime dayStart(2000, 1, 1, 0, 0, 0);
    const CDateTime dayEnd(2000, 1, 1, 23, 59, 59);
    const CDateTime morning = ParseTime(m_settings.GetMorningTime());
    const CDateTime evening = ParseTime(m_settings.GetEveningTime());
    if (m_settings.GetMorningBounds())
        AddBound(dayStart, morning, EveryDay);
    if (m_settings.GetEveningBounds())
        AddBound(evening, dayEnd, EveryDay);
    if (m_settings.GetWeekendBounds())
        AddBound(dayStart, dayEnd, Weekend);
}

void CPreferences::AddBound(const CDateTime& start, const CDateTime& end, unsigned days)
{
    auto bound = std::make_unique<CTimeConstraint>(CContactRecord(), false, start, end);
    bound->SetSlotType(0);
    bound->SetDays(days);
    m_constraints.push_back(std::move(bound));
}

int CPreferences::LoadPreferences()
{
    Debug("CVSP::LoadPreferences: Loading Preferences");
    const int total = ReadTotal();
    for (int i = 0; i < total; ++i)
        Add(ReadConstraint(i));
    Debug("CVSP::Load Preferences: Total Preferences Loaded = " + std::to_string(total));
    return total;
}

int CPreferences::ReadTotal() const
{
    const long long total = LeadingNumber(ReadValue(std::string(), TotalValue));
    if (total <= 0)
        return 0;
    return total > MaxConstraints ? MaxConstraints : static_cast<int>(total);
}

CTimeConstraint CPreferences::ReadConstraint(int index) const
{
    const std::string key = ConstraintKeyPrefix + std::to_string(index);
    const CDateTime start = ParseTime(ReadValue(key, "StartTime"));
    const CDateTime end = ParseTime(ReadValue(key, "EndTime"));
    bool valid = false;
    const CContactRecord contact = ReadContact(key, valid);
    CTimeConstraint constraint(contact, valid, start, end);
    constraint.SetSlotType(ReadValue(key, "SlotType") == "Relative" ? 0 : 1);
    constraint.SetDays(ReadValue(key, "Days"));
    return constraint;
}

CContactRecord CPreferences::ReadContact(const std::string& key, bool& valid) const
{
    valid = ReadValue(key, "ContactType") == ContactValid;
    if (!valid)
        return CContactRecord();
    CContactRecord contact(ReadValue(key, "ContactFName"), ReadValue(key, "ContactLName"),
                           ReadValue(key, "ContactEmail"));
    contact.SetCalendarAgentName(ReadValue(key, "ContactCalAgentName"));
    return contact;
}

std::string CPreferences::ReadValue(const std::string& key, const std::string& name) const
{
    std::string value;
    if (!m_settings.ReadText(name, value, key))
        return std::string();
    return value;
}

void CPreferences::Clear()
{
    m_constraints.clear();
}

const CTimeConstraint* CPreferences::GetAt(int index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return m_constraints[static_cast<std::size_t>(index)].get();
}

void CPreferences::Add(const CTimeConstraint& constraint)
{
    m_constraints.push_back(std::make_unique<CTimeConstraint>(constraint));
}

CTimeConstraintSet CPreferences::ConstraintsFor(const std::string& requesterAgentName) const
{
    CTimeConstraintSet set;
    for (const auto& constraint : m_constraints)
        if (constraint->AppliesTo(requesterAgentName))
            set.push_back(*constraint);
    return set;
}

// --- tests -------------------------------------------------------------------

bool CPreferences::IsAllowed(const CTimeConstraintSet& constraints, const CDateTime& start,
                             const CDateTime& end)
{
    for (const auto& constraint : constraints)
        if (constraint.Matches(start, end))
            return false;
    return true;
}

bool CPreferences::IsFreePlain(const CDateTime& start, int minutes) const
{
    return BusyTimes().IsFree(start, minutes);
}

// Follows the store's changes, or is made again when it cannot.
const CBusyTimeIndex& CPreferences::BusyTimes() const
{
    if (!m_busyTimes || !m_busyTimes->CatchUp(m_appointments))
        m_busyTimes = std::make_unique<CBusyTimeIndex>(m_appointments);
    return *m_busyTimes;
}

bool CPreferences::IsFreeConstrained(const CDateTime& start, int minutes,
                                     const CTimeConstraintSet& constraints) const
{
    if (!IsAllowed(constraints, start, start + Minutes(minutes)))
        return false;
    return IsFreePlain(start, minutes);
}

bool CPreferences::IsSlotFree(const CTimeSlot& slot, const CTimeConstraintSet& constraints) const
{
    return IsFreeConstrained(slot.GetStartTime(), slot.GetDuration(), constraints);
}

// --- searches ----------------------------------------------------------------

CDateTime CPreferences::NextHalfHour(const CDateTime& t)
{
    CDateTime::Fields fields{};
    if (!t.GetFields(fields))
        return t;
    // Whole seconds only: a time at minute 30 with seconds goes on to the
    // full hour, so the result is always later than t.
    const int intoHour = fields.minute * 60 + fields.second;
    const int mark = intoHour < 30 * 60 ? 30 : 60;
    const CDateTime hour(fields.year, fields.month, fields.day, fields.hour, 0, 0);
    return hour + Minutes(mark);
}

bool CPreferences::IsOnMark(const CDateTime& t)
{
    CDateTime::Fields fields{};
    return t.GetFields(fields) && (fields.minute == 0 || fields.minute == 30);
}

CTimeSlot CPreferences::Search(const CDateTime& start, int minutes, const FreeTest& isFree) const
{
    if (!IsValidTime(start))
        return CTimeSlot();
    if (isFree(start))
        return CTimeSlot(start, minutes);
    const CDateTime limit = start + CDateTimeSpan(SearchDays, 0, 0, 0);
    CDateTime candidate = start;
    if (!IsOnMark(candidate)) {
        candidate = NextHalfHour(candidate);
        if (candidate > limit)
            return CTimeSlot();
    }
    // The candidate count bounds the loop even where the limit lies beyond
    // the representable range and so never compares as passed.
    for (int tested = 0; tested < MaxCandidates; ++tested) {
        candidate = NextHalfHour(candidate);
        if (!IsValidTime(candidate))
            break;
        if (isFree(candidate))
            return CTimeSlot(candidate, minutes);
        if (candidate > limit)
            break;
    }
    return CTimeSlot();
}

CTimeSlot CPreferences::NextFreeSlot(const CDateTime& start, int minutes,
                                     const CTimeConstraintSet& constraints) const
{
    return Search(start, minutes, [&](const CDateTime& candidate) {
        return IsFreeConstrained(candidate, minutes, constraints);
    });
}

CTimeSlot CPreferences::NextFreeSlotPlain(const CDateTime& start, int minutes) const
{
    return Search(start, minutes,
                  [&](const CDateTime& candidate) { return IsFreePlain(candidate, minutes); });
}

std::unique_ptr<CTimeSlotStore> CPreferences::FindAlternates(const CDateTime& start, int minutes, int count,
                                                             const CTimeConstraintSet& constraints) const
{
    auto store = std::make_unique<CTimeSlotStore>();
    CDateTime from = start;
    for (int i = 0; i < count; ++i) {
        const CTimeSlot slot = NextFreeSlot(from, minutes, constraints);
        if (!slot.IsValid())
            break;
        store->Add(new CTimeSlot(slot), FreeAttribute);
        from = slot.GetEndTime();
    }
    return store;
}

std::unique_ptr<CTimeSlotStore> CPreferences::FindFreeInWindow(const CDateTime& start, const CDateTime& end,
                                                               int minutes, int count,
                                                               const CTimeConstraintSet& constraints) const
{
    auto store = std::make_unique<CTimeSlotStore>();
    // An invalid window end would order after every time and let slots
    // anywhere in the week through.
    if (!IsValidTime(start) || !IsValidTime(end))
        return store;
    CDateTime from = start;
    for (int i = 0; i < count; ++i) {
        const CTimeSlot slot = NextFreeSlot(from, minutes, constraints);
        if (!slot.IsValid())
            break;
        if (slot.GetEndTime() <= end)
            store->Add(new CTimeSlot(slot), FreeAttribute);
        from = slot.GetEndTime();
        if (from >= end)
            break;
    }
    return store;
}

void CPreferences::Debug(const std::string& line) const
{
    if (m_debug)
        m_debug(line);
}
