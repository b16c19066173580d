#include <FuzzEntries.h>

#include <outlook/ICalendarFile.h>

#include <string>
#include <vector>

namespace {

using outlook::CICalendarFile;
using outlook::CStoredItem;

bool same_ids(const std::vector<CStoredItem>& a, const std::vector<CStoredItem>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].id != b[i].id)
            return false;
    return true;
}

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
    return reread.Parse(calendar.Serialize(), error) && same_ids(reread.GetItems(), calendar.GetItems());
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
    if (!again.Parse(calendar.Serialize(), error) || !same_ids(again.GetItems(), calendar.GetItems()))
        return false;
    return add_reads_back(again);
}
