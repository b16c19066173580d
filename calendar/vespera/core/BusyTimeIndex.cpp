#include <vespera/core/BusyTimeIndex.h>

#include <vespera/core/AppointmentStore.h>

#include <platform/DateTimeSpan.h>
#include <slotbook/RecurrenceData.h>

#include <algorithm>

namespace {

bool IsValid(const CDateTime& time)
{
    return time.GetStatus() == CDateTime::valid;
}

template <typename T>
void EraseFirst(std::vector<T>& items, const T& item)
{
    const auto found = std::find(items.begin(), items.end(), item);
    if (found != items.end())
        items.erase(found);
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
        if (appointment->GetRecurrence())
            m_recurring.push_back(appointment);
        else if (!IsValid(start) || !IsValid(end))
            m_unplaced.push_back(appointment);
        else
            m_singles.push_back({start.OrderKey(), end.OrderKey(), appointment});
    }
    std::stable_sort(m_singles.begin(), m_singles.end(),
                     [](const SBusy& a, const SBusy& b) { return a.start < b.start; });
    UpdateLatestEnd(0);
}

bool CBusyTimeIndex::CatchUp(const CAppointmentStore& store)
{
    if (m_revision == store.GetRevision())
        return true;
    std::vector<CAppointmentStore::SChange> changes;
    if (!store.GetChangesSince(m_revision, changes))
        return false;
    // An appointment added and taken out again since is gone and must not
    // be read; the rest still lives in the store.
    std::unordered_map<const CAppointment*, std::size_t> pendingAdds;
    std::vector<bool> cancelled(changes.size(), false);
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const CAppointmentStore::SChange& change = changes[i];
        const auto pending = pendingAdds.find(change.appointment);
        if (change.added) {
            pendingAdds[change.appointment] = i;
        } else if (pending != pendingAdds.end()) {
            cancelled[pending->second] = cancelled[i] = true;
            pendingAdds.erase(pending);
        }
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (!changes[i].added && !cancelled[i])
            Remove(changes[i].appointment);
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
        if (changes[i].added && !cancelled[i])
            Add(changes[i].appointment);
    }
    m_revision = store.GetRevision();
    return true;
}

void CBusyTimeIndex::Add(const CAppointment* appointment)
{
    m_all.push_back(appointment);
    if (appointment->GetApptStatus() == CAppointment::FreeStatus)
        return;
    const CDateTime& start = appointment->GetStartTime();
    const CDateTime& end = appointment->GetEndTime();
    if (appointment->GetRecurrence()) {
        m_recurring.push_back(appointment);
        m_days.clear();
    } else if (!IsValid(start) || !IsValid(end)) {
        m_unplaced.push_back(appointment);
    } else {
        const SBusy busy{start.OrderKey(), end.OrderKey(), appointment};
        const auto at = std::upper_bound(m_singles.begin(), m_singles.end(), busy.start,
                                         [](long long key, const SBusy& other) { return key < other.start; });
        const std::size_t position = static_cast<std::size_t>(at - m_singles.begin());
        m_singles.insert(at, busy);
        UpdateLatestEnd(position);
    }
}

// The appointment is already gone from the store: only its address is
// compared, never read.
void CBusyTimeIndex::Remove(const CAppointment* appointment)
{
    EraseFirst(m_all, appointment);
    const auto single = std::find_if(m_singles.begin(), m_singles.end(), [appointment](const SBusy& busy) {
        return busy.appointment == appointment;
    });
    if (single != m_singles.end()) {
        const std::size_t position = static_cast<std::size_t>(single - m_singles.begin());
        m_singles.erase(single);
        UpdateLatestEnd(position);
        return;
    }
    const std::size_t recurring = m_recurring.size();
    EraseFirst(m_recurring, appointment);
    if (m_recurring.size() != recurring)
        m_days.clear();
    else
        EraseFirst(m_unplaced, appointment);
}

void CBusyTimeIndex::UpdateLatestEnd(std::size_t from)
{
    m_latestEnd.resize(m_singles.size());
    for (std::size_t i = from; i < m_singles.size(); ++i)
        m_latestEnd[i] = i == 0 ? m_singles[i].end : std::max(m_latestEnd[i - 1], m_singles[i].end);
}

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
    return SinglesFree(start, until) && RecurringFree(start, until) && UnplacedFree(start, minutes);
}

// An appointment is busy for [start, until) when it begins before until and
// ends after start; among those that begin before until, the latest end
// decides.
bool CBusyTimeIndex::SinglesFree(const CDateTime& start, const CDateTime& until) const
{
    const long long to = until.OrderKey();
    const auto beginsBefore =
        std::lower_bound(m_singles.begin(), m_singles.end(), to,
                         [](const SBusy& busy, long long key) { return busy.start < key; });
    const std::size_t count = static_cast<std::size_t>(beginsBefore - m_singles.begin());
    return count == 0 || m_latestEnd[count - 1] <= start.OrderKey();
}

// A recurring appointment is busy when it occurs on the day of start and
// its time of day overlaps; which ones occur on a day is asked once.
bool CBusyTimeIndex::RecurringFree(const CDateTime& start, const CDateTime& until) const
{
    if (m_recurring.empty())
        return true;
    const std::vector<const CAppointment*>& occurring = OccurringOn(start);
    return std::none_of(occurring.begin(), occurring.end(), [&](const CAppointment* appointment) {
        return appointment->GetRecurrence()->IsWithinTime(start, until);
    });
}

bool CBusyTimeIndex::UnplacedFree(const CDateTime& start, int minutes) const
{
    return std::all_of(m_unplaced.begin(), m_unplaced.end(),
                       [&](const CAppointment* appointment) { return appointment->IsFree(start, minutes); });
}

const std::vector<const CAppointment*>& CBusyTimeIndex::OccurringOn(const CDateTime& day) const
{
    CDateTime::Fields fields{};
    day.GetFields(fields);
    const int key = (fields.year * 13 + fields.month) * 32 + fields.day;
    const auto cached = m_days.find(key);
    if (cached != m_days.end())
        return cached->second;
    if (m_days.size() >= MaxCachedDays)
        m_days.clear();
    std::vector<const CAppointment*>& occurring = m_days[key];
    for (const CAppointment* appointment : m_recurring) {
        if (appointment->GetRecurrence()->OccursOn(fields.day, fields.month, fields.year))
            occurring.push_back(appointment);
    }
    return occurring;
}
