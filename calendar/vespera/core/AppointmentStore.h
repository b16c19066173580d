#pragma once

#include <slotbook/Appointment.h>

#include <platform/DateTime.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CAppointmentView;

// The agent's appointments: those read from the calendar program and the
// tentative holds of negotiations (Outlook index -1), owned here, in the
// order they were added.
//
// The view (the main window, borrowed) hears of every appointment listed
// or taken out and is told to redraw after additions that are shown and
// after removals. Its notifications must not change the store.
class CAppointmentStore {
public:
    // The Outlook index of a hold, which lives only in the agent.
    static constexpr int HoldIndex = -1;

    CAppointmentStore();
    ~CAppointmentStore();

    CAppointmentStore(const CAppointmentStore&) = delete;
    CAppointmentStore& operator=(const CAppointmentStore&) = delete;

    // Null detaches; the view must be detached before it goes.
    void SetView(CAppointmentView* view);
    CAppointmentView* GetView() const { return m_view; }

    // Appends an appointment with the fields given; when `show`, the view
    // lists it and redraws. Returns the appointment, owned by the store.
    const CAppointment* AddAppointment(int outlookIndex, const std::string& subject, const std::string& body,
                                       const std::string& location, const std::string& reqAttendees,
                                       const std::string& optAttendees, const CDateTime& start,
                                       const CDateTime& end, long duration, int reminderSet, long reminder,
                                       int busyStatus, const CDateTime& expires, const std::string& attribute,
                                       bool show);
    // The same for a recurring appointment, with its pattern's fields.
    const CAppointment*
    AddRecurringAppointment(int outlookIndex, const std::string& subject, const std::string& body,
                            const std::string& location, const std::string& reqAttendees,
                            const std::string& optAttendees, const CDateTime& start, const CDateTime& end,
                            long duration, int reminderSet, long reminder, int busyStatus,
                            const CDateTime& expires, const std::string& attribute, int recType, int interval,
                            long instance, int ends, const CDateTime& patternStart,
                            const CDateTime& patternEnd, long dayOfMonth, int days, bool show);

    // Marks an appointment of the store as taking whole days.
    void SetAllDay(const CAppointment* appointment, bool allDay);

    int GetCount() const { return static_cast<int>(m_appointments.size()); }
    // Null outside 0..GetCount()-1.
    const CAppointment* GetAt(int index) const;
    // -1 for an appointment that is not in the store.
    int IndexOf(const CAppointment* appointment) const;

    // Takes the appointment out, destroys it and redraws the view; false when
    // it is not in the store.
    bool Remove(const CAppointment* appointment);
    // Takes out and destroys every appointment the predicate picks, keeping
    // the order of the rest, then redraws the view. Returns how many went.
    int RemoveIf(const std::function<bool(const CAppointment&)>& picks);
    // Takes out and destroys every appointment, holds included. The view
    // hears of each, but is not told to redraw.
    void Clear();
    // Takes out the holds (Outlook index -1) whose expiry is a valid time
    // before `now`, then redraws the view. Appointments from the calendar
    // program and holds without expiry stay, and nothing goes while `now`
    // is not a valid time. Returns how many went.
    int PurgeExpired(const CDateTime& now);
    // The same at the current local time.
    int PurgeExpired();

    // Tells the view to redraw, when there is one.
    void Refresh() const;

    // Changes with every appointment added or taken out, so that what is
    // worked out from the store can tell when it is stale.
    unsigned long GetRevision() const { return m_revision; }

    // One appointment added or taken out. A taken-out appointment is
    // destroyed: its address only tells which one it was.
    struct SChange {
        unsigned long revision;
        const CAppointment* appointment;
        bool added;
    };
    // The changes after `revision`, oldest first; false when the store no
    // longer remembers them all (it keeps the last MaxChanges, and none
    // across Clear).
    bool GetChangesSince(unsigned long revision, std::vector<SChange>& changes) const;
    static constexpr std::size_t MaxChanges = 256;

private:
    const CAppointment* Append(std::unique_ptr<CAppointment> appointment, bool show);
    void Discard(std::vector<std::unique_ptr<CAppointment>> gone) const;
    void Record(const CAppointment* appointment, bool added);

    std::vector<std::unique_ptr<CAppointment>> m_appointments;
    CAppointmentView* m_view = nullptr;
    unsigned long m_revision = 0;
    std::deque<SChange> m_changes;
    // Every change after this revision is in m_changes.
    unsigned long m_changesFrom = 0;
};
