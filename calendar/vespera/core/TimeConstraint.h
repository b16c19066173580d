#pragma once

#include <vespera/core/ContactRecord.h>

#include <slotbook/TimeSlot.h>

#include <platform/DateTime.h>

#include <string>
#include <vector>

// A period in which the user does not want meetings: a dated interval
// (absolute slot) or a time of day on chosen weekdays (relative slot, held on
// 1 January 1000), either for everybody or only for requests from one
// contact's calendar agent.
//
// The contact counts only while its validity flag is set; a constraint with
// a contact that is not valid applies to everybody.
class CTimeConstraint : public CTimeSlot {
public:
    // Absolute, invalid, with an empty contact that is not valid.
    CTimeConstraint();
    // A valid absolute slot from start to end, as CTimeSlot(start, end)
    // makes it; callers switch it to relative with SetSlotType(0).
    CTimeConstraint(const CContactRecord& contact, bool contactValid, const CDateTime& start,
                    const CDateTime& end);
    CTimeConstraint(const CTimeConstraint& other) = default;
    CTimeConstraint& operator=(const CTimeConstraint& other) = default;
    ~CTimeConstraint() override;

    const CContactRecord& GetContact() const { return m_contact; }
    bool IsContactValid() const { return m_contactValid; }
    void SetContact(const CContactRecord& contact, bool valid);

    // True for everybody when the contact is not valid; otherwise only for
    // the exact (case-sensitive) calendar agent name of the contact.
    bool AppliesTo(const std::string& requesterAgentName) const;

    // Whether a request from start to end falls into this constraint. An
    // absolute constraint tests the start alone (constraint start <= start <
    // constraint end). A relative one compares times of day: the start when
    // its weekday is one of the days (start <= t < end), or the end when its
    // weekday is one of the days (start < t <= end); a request that spans the
    // whole period does not match. Invalid times never match.
    bool Matches(const CDateTime& start, const CDateTime& end) const;

private:
    bool MatchesAbsolute(const CDateTime& start) const;
    bool MatchesRelative(const CDateTime& start, const CDateTime& end) const;
    static CDateTime TimeOfDay(const CDateTime& value);

    CContactRecord m_contact;
    bool m_contactValid;
};

// The constraints that apply to one request, copied out of the preference
// store in its order; the caller owns it for the life of the request.
using CTimeConstraintSet = std::vector<CTimeConstraint>;
