#pragma once

#include <platform/DateTime.h>

#include <vector>

class CAppointment;
class CAppointmentStore;

// The busy times of an appointment store, arranged so that asking whether an
// interval is free does not look at every appointment: the single
// appointments sorted by start, with the latest end among each prefix, are
// searched by binary search; the rest (recurring appointments, and any whose
// start or end is not a valid time) are asked one by one, as the store's
// appointments answer for themselves. The answers are those of asking every
// appointment.
//
// A snapshot: it holds pointers into the store and must be made again when
// the store's revision changes.
class CBusyTimeIndex {
public:
    explicit CBusyTimeIndex(const CAppointmentStore& store);

    // True when no appointment of the store is busy for minutes from start,
    // exactly as CAppointment::IsFree(start, minutes) of each would say.
    bool IsFree(const CDateTime& start, int minutes) const;

    unsigned long GetRevision() const { return m_revision; }

private:
    struct SBusy {
        long long start;
        long long end;
    };

    bool OthersFree(const CDateTime& start, int minutes) const;

    unsigned long m_revision;
    // Sorted by start; m_latestEnd[i] is the latest end of m_singles[0..i].
    std::vector<SBusy> m_singles;
    std::vector<long long> m_latestEnd;
    std::vector<const CAppointment*> m_others;
    std::vector<const CAppointment*> m_all;
};
