#include <outlook/AppointmentItem.h>

#include <outlook/PropertyTable.h>

#include <utility>

namespace outlook {
namespace {
using Entry = detail::PropertyEntry<CAppointmentItem>;

const Entry Properties[] = {
    {"Subject", [](const CAppointmentItem& item) -> PropertyValue { return item.GetSubject(); }},
    {"Body", [](const CAppointmentItem& item) -> PropertyValue { return item.GetBody(); }},
    {"Location", [](const CAppointmentItem& item) -> PropertyValue { return item.GetLocation(); }},
    {"RequiredAttendees",
     [](const CAppointmentItem& item) -> PropertyValue { return item.GetRequiredAttendees(); }},
    {"OptionalAttendees",
     [](const CAppointmentItem& item) -> PropertyValue { return item.GetOptionalAttendees(); }},
    {"Start", [](const CAppointmentItem& item) -> PropertyValue { return item.GetStart(); }},
    {"End", [](const CAppointmentItem& item) -> PropertyValue { return item.GetEnd(); }},
    {"Duration", [](const CAppointmentItem& item) -> PropertyValue { return item.GetDuration(); }},
    {"BusyStatus", [](const CAppointmentItem& item) -> PropertyValue { return item.GetBusyStatus(); }},
    {"IsRecurring", [](const CAppointmentItem& item) -> PropertyValue { return item.GetIsRecurring(); }},
    {"ReminderSet", [](const CAppointmentItem& item) -> PropertyValue { return item.GetReminderSet(); }},
    {"ReminderMinutesBeforeStart",
     [](const CAppointmentItem& item) -> PropertyValue { return item.GetReminderMinutesBeforeStart(); }},
};

CDateTimeSpan Minutes(long minutes)
{
    return CDateTimeSpan(static_cast<double>(minutes) / (24.0 * 60.0));
}
} // namespace

CAppointmentItem::CAppointmentItem(std::weak_ptr<CBackend> backend, EntryId id, const CAppointmentData& data)
    : CItem(std::move(backend), std::move(id)), m_data(data)
{
    if (m_data.isRecurring)
        m_pattern = std::make_unique<CRecurrencePattern>(m_data.pattern);
}

CAppointmentItem::~CAppointmentItem() = default;

void CAppointmentItem::SetRecurrencePattern(const std::optional<CAppointmentData::Pattern>& pattern)
{
    m_data.isRecurring = pattern.has_value();
    if (pattern)
        m_data.pattern = *pattern;
    m_pattern = pattern ? std::make_unique<CRecurrencePattern>(m_data.pattern) : nullptr;
}

std::optional<PropertyValue> CAppointmentItem::GetProperty(const std::string& name) const
{
    return detail::ReadProperty(Properties, name, *this);
}

bool CAppointmentItem::SetStart(const CDateTime& start)
{
    if (start.GetStatus() != CDateTime::valid)
        return false;
    m_data.start = start;
    return true;
}

CDateTime CAppointmentItem::GetEnd() const
{
    return m_data.start + Minutes(m_data.duration);
}

bool CAppointmentItem::SetDuration(long minutes)
{
    if (minutes < 0)
        return false;
    m_data.duration = minutes;
    return true;
}

bool CAppointmentItem::SetReminderMinutesBeforeStart(long minutes)
{
    if (minutes < 0)
        return false;
    m_data.reminderMinutesBeforeStart = minutes;
    return true;
}

bool CAppointmentItem::Save()
{
    if (m_data.start.GetStatus() != CDateTime::valid)
        return false;
    return Store(olFolderCalendar, m_data);
}
} // namespace outlook
