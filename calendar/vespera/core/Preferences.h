#pragma once

#include <vespera/core/TimeConstraint.h>

#include <slotbook/TimeSlot.h>
#include <slotbook/TimeSlotStore.h>

#include <platform/DateTime.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CAgentSettings;
class CAppointmentStore;
class CBusyTimeIndex;

// The user's scheduling preferences and the free-time tests and searches the
// negotiation and the appointment requests ask.
//
// The preference store holds, in order, the bound constraints made from the
// settings' morning, evening and weekend switches and then the constraints
// read from the registry. A time is free when no appointment of the
// appointment store (calendar entries and tentative holds) objects and, for
// constrained tests, the start and end fall into no constraint of the set.
//
// Every search steps over half-hour marks and gives up seven days after its
// own start, so each ends after at most about 340 candidates.
//
// Settings and appointment store are borrowed and must outlive this object.
class CPreferences {
public:
    using DebugSink = std::function<void(const std::string&)>;

    // The days a search runs before it gives up.
    static constexpr int SearchDays = 7;
    // The registry value that holds the number of constraints, under the
    // agent's key.
    static constexpr const char* TotalValue = "TotalTimeConsts";
    // A larger total is read as this many, so that a mistyped count cannot
    // make the agent build constraints without end.
    static constexpr int MaxConstraints = 1000;
    // Constraint i lies in this subkey of the agent's key, i in decimal.
    static constexpr const char* ConstraintKeyPrefix = "TConsts\\TimeConstraint";
    static constexpr const char* ContactValid = "__CT_VALID__";
    static constexpr const char* ContactNull = "__CT_NULL__";
    // The key every search result is filed under.
    static constexpr const char* FreeAttribute = "free";

    // An empty debug sink drops the lines.
    CPreferences(const CAgentSettings& settings, const CAppointmentStore& appointments, DebugSink debug);
    ~CPreferences();

    CPreferences(const CPreferences&) = delete;
    CPreferences& operator=(const CPreferences&) = delete;

    // Empties the store, puts in the bound constraints the settings ask for,
    // then loads the registry constraints after them.
    void RebuildPreferences();
    // Appends the registry constraints in registry order; returns how many.
    int LoadPreferences();
    // Destroys every constraint.
    void Clear();

    int GetCount() const { return static_cast<int>(m_constraints.size()); }
    // Null outside 0..GetCount()-1.
    const CTimeConstraint* GetAt(int index) const;
    // Appends a copy; for callers that build constraints themselves.
    void Add(const CTimeConstraint& constraint);

    // Copies of the constraints for everybody and those of the requester's
    // contact, in store order.
    CTimeConstraintSet ConstraintsFor(const std::string& requesterAgentName) const;

    // False when the first constraint of the set that matches start..end
    // exists; an empty set allows everything.
    static bool IsAllowed(const CTimeConstraintSet& constraints, const CDateTime& start,
                          const CDateTime& end);
    // True when every appointment of the store is free for the interval.
    bool IsFreePlain(const CDateTime& start, int minutes) const;
    bool IsFreeConstrained(const CDateTime& start, int minutes, const CTimeConstraintSet& constraints) const;
    bool IsSlotFree(const CTimeSlot& slot, const CTimeConstraintSet& constraints) const;

    // The next half-hour mark strictly after t (minute 0 or 30, second 0);
    // an invalid t stays as it is.
    static CDateTime NextHalfHour(const CDateTime& t);
    // Minute 0 or 30, whatever the seconds.
    static bool IsOnMark(const CDateTime& t);

    // The first free slot of the given length from start on, tested at start
    // and then at half-hour marks for seven days; an invalid slot when none.
    CTimeSlot NextFreeSlot(const CDateTime& start, int minutes, const CTimeConstraintSet& constraints) const;
    CTimeSlot NextFreeSlotPlain(const CDateTime& start, int minutes) const;

    // Up to count free slots that do not overlap, each searched from the end
    // of the one before, filed under "free". Owned by the caller.
    std::unique_ptr<CTimeSlotStore> FindAlternates(const CDateTime& start, int minutes, int count,
                                                   const CTimeConstraintSet& constraints) const;
    // The same within the window start..end: a slot that overruns the window
    // is not filed but still counts against count.
    std::unique_ptr<CTimeSlotStore> FindFreeInWindow(const CDateTime& start, const CDateTime& end,
                                                     int minutes, int count,
                                                     const CTimeConstraintSet& constraints) const;

private:
    using FreeTest = std::function<bool(const CDateTime& start)>;

    CTimeSlot Search(const CDateTime& start, int minutes, const FreeTest& isFree) const;
    const CBusyTimeIndex& BusyTimes() const;
    void AddBounds();
    void AddBound(const CDateTime& start, const CDateTime& end, unsigned days);
    CTimeConstraint ReadConstraint(int index) const;
    CContactRecord ReadContact(const std::string& key, bool& valid) const;
    int ReadTotal() const;
    // The value of a subkey of the agent's key (empty: the key itself);
    // empty text when it cannot be read.
    std::string ReadValue(const std::string& key, const std::string& name) const;
    void Debug(const std::string& line) const;

    const CAgentSettings& m_settings;
    const CAppointmentStore& m_appointments;
    DebugSink m_debug;
    std::vector<std::unique_ptr<CTimeConstraint>> m_constraints;
    mutable std::unique_ptr<CBusyTimeIndex> m_busyTimes;
};
