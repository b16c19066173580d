#pragma once

#include <platform/DateTime.h>

#include <unordered_map>
#include <vector>

class CAppointment;
class CAppointmentStore;

// The busy times of an appointment store, arranged so that asking whether an
// interval is free does not look at every appointment: the single
// appointments sorted by start, with the latest end among each prefix, are
// searched by binary search; recurring appointments are asked only on the
// days they occur, which are worked out once per day asked; the few whose
// start or end is not a valid time are asked one by one. The answers are
// those of asking every appointment.
//
// It holds pointers into the store. CatchUp follows the store's changes
// one by one (a negotiation's hold added or taken out costs a shift of the
// sorted times, not a new index); when the store no longer remembers far
// enough back, the index must be made again.
class CBusyTimeIndex {
public:
    explicit CBusyTimeIndex(const CAppointmentStore& store);

    // True when no appointment of the store is busy for minutes from start,
    // exactly as CAppointment::IsFree(start, minutes) of each would say.
    bool IsFree(const CDateTime& start, int minutes) const;

    // Applies the store's changes since this index's revision; false when
    // the store cannot tell them (the index is then unchanged and stale).
    bool CatchUp(const CAppointmentStore& store);

    unsigned long GetRevision() const { return m_revision; }

private:
    struct SBusy {
        long long start;
        long long end;
        const CAppointment* appointment;
    };
    // Beyond this many days remembered, the day cache starts again.
    static constexpr std::size_t MaxCachedDays = 4096;

    void Add(const CAppointment* appointment);
    void Remove(const CAppointment* appointment);
    void UpdateLatestEnd(std::size_t from);
    bool SinglesFree(const CDateTime& start, const CDateTime& until) const;
    bool RecurringFree(const CDateTime& start, const CDateTime& until) const;
    bool UnplacedFree(const CDateTime& start, int minutes) const;
    const std::vector<const CAppointment*>& OccurringOn(const CDateTime& day) const;

    unsigned long m_revision;
    // Sorted by start; m_latestEnd[i] is the latest end of m_singles[0..i].
    std::vector<SBusy> m_singles;
    std::vector<long long> m_latestEnd;
    std::vector<const CAppointment*> m_recurring;
    std::vector<const CAppointment*> m_unplaced;
    std::vector<const CAppointment*> m_all;
    // Recurring appointments occurring on a day, by the day's date key.
    mutable std::unordered_map<int, std::vector<const CAppointment*>> m_days;
};
