#include <FuzzEntries.h>

#include <outlook/ICalendarFile.h>

#include <string>

namespace {

using outlook::CICalendarFile;
using outlook::CStoredItem;

// What the agent writes into any calendar it could read must read back too.
bool add_reads_back(CICalendarFile& calendar)
{
    outlook::CAppointmentData data;
    data.subject = "fuzz";
    data.start = CDateTime(2026, 1, 5, 9, 0, 0);
    data.reminderSet = true;
    CStoredItem item{"", data};
    std::string error;
    if (!calendar.AddEvent(item, error))
        return false;
    CICalendarFile reread;
    return reread.Parse(calendar.Serialize(), error) &&
           reread.GetItems().size() == calendar.GetItems().size() && reread.GetItems().back().id == item.id;
}

// Taking an event out leaves every other, and the calendar reads back.
bool remove_reads_back(CICalendarFile& calendar)
{
    if (calendar.GetItems().empty())
        return true;
    const std::size_t before = calendar.GetItems().size();
    std::string error;
    if (!calendar.RemoveEvent(calendar.GetItems().front().id, error) ||
        calendar.GetItems().size() != before - 1)
        return false;
    CICalendarFile reread;
    return reread.Parse(calendar.Serialize(), error) && reread.GetItems().size() == before - 1;
}

} // namespace

bool CFuzzEntries::icalendar(const std::uint8_t* data, std::size_t size)
{
    const std::string text = size ? std::string(reinterpret_cast<const char*>(data), size) : std::string();
    CICalendarFile calendar;
    std::string error;
    if (!calendar.Parse(text, error))
        return !error.empty() && calendar.GetItems().empty();
    CICalendarFile again;
    if (!again.Parse(calendar.Serialize(), error) || again.GetItems().size() != calendar.GetItems().size())
        return false;
    return add_reads_back(again) && remove_reads_back(again);
}
