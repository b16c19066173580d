#include <vespera/core/ImportedItems.h>

#include <outlook/AppointmentItem.h>
#include <outlook/Items.h>
#include <outlook/RecurrencePattern.h>

#include <cinttypes>
#include <cstdio>
#include <iterator>
#include <memory>

namespace {

// The length of an import UID: "orvante-import-" and 16 hex digits.
constexpr std::size_t EventUidLength = 31;

// Line breaks as a calendar file may give them back.
std::string WithoutReturns(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\r')
            out += c;
    }
    return out;
}

} // namespace

bool CImportedItems::IsReleased(const std::string& uid) const
{
    const auto found = m_items.find(uid);
    return found != m_items.end() && found->second == Released;
}

bool CImportedItems::IsFollowed(const std::string& uid) const
{
    const auto found = m_items.find(uid);
    return found != m_items.end() && found->second != Released;
}

std::vector<std::string> CImportedItems::ReleaseChanged(const Positions& positions, outlook::CItems& items)
{
    std::vector<std::string> released;
    for (auto& [uid, fingerprint] : m_items) {
        if (fingerprint == Released)
            continue;
        const auto found = positions.find(uid);
        const std::unique_ptr<outlook::CItem> item =
            found == positions.end() ? nullptr : items.Item(found->second);
        outlook::CAppointmentItem* appointment = item ? item->AsAppointment() : nullptr;
        if (appointment && Fingerprint(*appointment) == fingerprint)
            continue;
        fingerprint = Released;
        released.push_back(uid);
    }
    return released;
}

std::set<std::string> CImportedItems::FollowedOutside(const std::set<std::string>& events) const
{
    std::set<std::string> outside;
    for (const auto& [uid, fingerprint] : m_items) {
        if (fingerprint != Released && events.count(EventUid(uid)) == 0)
            outside.insert(uid);
    }
    return outside;
}

void CImportedItems::ForgetDeleted(const std::set<std::string>& events, const Positions& positions)
{
    for (auto it = m_items.begin(); it != m_items.end();) {
        const bool deleted = it->second == Released && positions.count(it->first) == 0;
        it = deleted && events.count(EventUid(it->first)) == 0 ? m_items.erase(it) : std::next(it);
    }
}

void CImportedItems::Record(const std::string& uid, const outlook::CAppointmentItem& item)
{
    m_items[uid] = Fingerprint(item);
}

void CImportedItems::Forget(const std::string& uid)
{
    m_items.erase(uid);
}

std::string CImportedItems::Fingerprint(const outlook::CAppointmentItem& item)
{
    const CDateTime& start = item.GetStart();
    char when[96];
    std::snprintf(when, sizeof when, "%04d%02d%02dT%02d%02d%02d %ld %ld %d %d %ld %d", start.GetYear(),
                  start.GetMonth(), start.GetDay(), start.GetHour(), start.GetMinute(), start.GetSecond(),
                  item.GetDuration(), item.GetBusyStatus(), item.GetAllDayEvent() ? 1 : 0,
                  item.GetReminderSet() ? 1 : 0,
                  item.GetReminderSet() ? item.GetReminderMinutesBeforeStart() : 0,
                  item.GetIsRecurring() ? 1 : 0);
    std::string content = when;
    if (const outlook::CRecurrencePattern* pattern = item.GetRecurrencePattern()) {
        char rule[96];
        std::snprintf(rule, sizeof rule, " %ld %ld %ld %ld %ld %d", pattern->GetRecurrenceType(),
                      pattern->GetDayOfWeekMask(), pattern->GetDayOfMonth(), pattern->GetInstance(),
                      pattern->GetInterval(), pattern->GetNoEndDate() ? 1 : 0);
        content += rule;
    }
    // Each text with its length before it, so that no two contents join to
    // the same fingerprint.
    for (const std::string& text : {item.GetSubject(), item.GetBody(), item.GetLocation(),
                                    item.GetRequiredAttendees(), item.GetOptionalAttendees()}) {
        const std::string plain = WithoutReturns(text);
        content += "|" + std::to_string(plain.size()) + ":" + plain;
    }
    return Hash(content);
}

std::string CImportedItems::EventUid(const std::string& uid)
{
    return uid.substr(0, EventUidLength);
}

std::string CImportedItems::Hash(const std::string& text)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char digits[24];
    std::snprintf(digits, sizeof digits, "%016" PRIx64, hash);
    return digits;
}
