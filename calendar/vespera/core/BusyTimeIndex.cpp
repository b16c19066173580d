#include <vespera/core/BusyTimeIndex.h>

#include <vespera/core/AppointmentStore.h>

#include <platform/DateTimeSpan.h>

#include <algorithm>

namespace {

bool IsValid(const CDateTime& time)
{
    return time.GetStatus() == CDateTime::valid;
}

} // namespace

CBusyTimeIndex::CBusyTimeIndex(const CAppointmentStore& store) : m_revision(store.GetRevision())
{
    for (int i = 0; i < store.GetCount(); ++i) {
        const CAppointment* appointment = store.GetAt(i);
        m_all.push_back(appointment);
        if (appointment->GetApptStatus() == CAppointment::FreeStatus)
            continue;
        const CDateTime& start = appointment->GetStartTime();
        const CDateTime& end = appointment->GetEndTime();
        if (appointment->GetRecurrence() || !IsValid(start) || !IsValid(end))
            m_others.push_back(appointment);
        else
            m_singles.push_back({start.OrderKey(), end.OrderKey()});
    }
    std::sort(m_singles.begin(), m_singles.end(),
              [](const SBusy& a, const SBusy& b) { return a.start < b.start; });
    m_latestEnd.reserve(m_singles.size());
    for (const SBusy& busy : m_singles)
        m_latestEnd.push_back(m_latestEnd.empty() ? busy.end : std::max(m_latestEnd.back(), busy.end));
}

// An appointment is busy for [start, until) when it begins before until and
// ends after start; among those that begin before until, the latest end
// decides.
bool CBusyTimeIndex::IsFree(const CDateTime& start, int minutes) const
{
    const CDateTime until = start + CDateTimeSpan(0, 0, minutes, 0);
    if (!IsValid(start) || !IsValid(until)) {
        // Invalid times compare by their status; only the appointments
        // themselves know what they make of that.
        return std::all_of(m_all.begin(), m_all.end(), [&](const CAppointment* appointment) {
            return appointment->IsFree(start, minutes);
        });
    }
    const long long from = start.OrderKey();
    const long long to = until.OrderKey();
    const auto beginsBefore =
        std::lower_bound(m_singles.begin(), m_singles.end(), to,
                         [](const SBusy& busy, long long key) { return busy.start < key; });
    const std::size_t count = static_cast<std::size_t>(beginsBefore - m_singles.begin());
    if (count > 0 && m_latestEnd[count - 1] > from)
        return false;
    return OthersFree(start, minutes);
}

bool CBusyTimeIndex::OthersFree(const CDateTime& start, int minutes) const
{
    return std::all_of(m_others.begin(), m_others.end(),
                       [&](const CAppointment* appointment) { return appointment->IsFree(start, minutes); });
}
