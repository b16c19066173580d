#pragma once

#include <slotbook/RecurrenceData.h>

#include <platform/DateTime.h>

#include <memory>
#include <string>

// The agent's copy of one calendar entry. A recurring appointment owns its
// recurrence pattern; copies get a pattern of their own.
//
// Busy status: 0 free, 1 tentative, 2 busy, 3 out of office. Anything but
// free counts as busy.
class CAppointment {
public:
    // The busy status of an appointment that keeps no time busy.
    static constexpr int FreeStatus = 0;

    CAppointment();
    CAppointment(int outlookIndex, const std::string& subject, const std::string& body,
                 const std::string& location, const std::string& reqAttendees,
                 const std::string& optAttendees, const CDateTime& start, const CDateTime& end, long duration,
                 int reminderSet, long reminder, int busyStatus, const CDateTime& expires,
                 const std::string& attribute);
    // A recurring appointment: the pattern start and end give the pattern's
    // start and end times of day and its start and end dates.
    CAppointment(int outlookIndex, const std::string& subject, const std::string& body,
                 const std::string& location, const std::string& reqAttendees,
                 const std::string& optAttendees, const CDateTime& start, const CDateTime& end, long duration,
                 int reminderSet, long reminder, int busyStatus, const CDateTime& expires,
                 const std::string& attribute, int recType, int interval, long instance, int ends,
                 const CDateTime& patternStart, const CDateTime& patternEnd, long dayOfMonth, int days);
    CAppointment(const CAppointment& other);
    CAppointment& operator=(const CAppointment& other);
    virtual ~CAppointment();

    const std::string& GetSubject() const { return m_entry.subject; }
    const std::string& GetBody() const { return m_entry.body; }
    const std::string& GetLocation() const { return m_entry.location; }
    const std::string& GetReqAttendees() const { return m_entry.reqAttendees; }
    const std::string& GetOptAttendees() const { return m_entry.optAttendees; }
    const std::string& GetAttribute() const { return m_entry.attribute; }
    const CDateTime& GetStartTime() const { return m_entry.start; }
    const CDateTime& GetEndTime() const { return m_entry.end; }
    const CDateTime& GetExpires() const { return m_entry.expires; }
    int GetApptStatus() const { return m_entry.busyStatus; }
    int GetDuration() const { return m_entry.duration; }
    int GetReminder() const { return m_entry.reminder; }
    int IsReminder() const { return m_entry.reminderSet; }
    int GetOutlookIndex() const { return m_entry.outlookIndex; }
    int IsRecurring() const { return m_entry.recurring; }
    // Whole days from midnight, shown as days rather than hours.
    bool IsAllDay() const { return m_entry.allDay; }
    void SetAllDay(bool allDay) { m_entry.allDay = allDay; }
    // The pattern of a recurring appointment, owned by it; null otherwise.
    const CRecurrenceData* GetRecurrence() const { return m_recurrence.get(); }

    int OccursOn(int day, int month, int year) const;
    int IsFree(const CDateTime& time) const;
    // Free for [time, time + minutes): an interval that only touches the
    // appointment is free.
    int IsFree(const CDateTime& time, int minutes) const;

    std::string GetStartTimeString() const;
    std::string GetEndTimeString() const;
    std::string GetExpiresString() const;
    std::string GetOutlookIndexStr() const;
    std::string GetRecurringStr() const;
    std::string GetApptStatusString() const;
    std::string GetReminderString() const;
    std::string GetDurationString() const;

private:
    // Everything but the pattern, so that copying needs no field list.
    struct Entry {
        std::string subject;
        std::string body;
        std::string location;
        std::string reqAttendees;
        std::string optAttendees;
        CDateTime start;
        CDateTime end;
        CDateTime expires;
        std::string attribute;
        int busyStatus = 0;
        int duration = 0;
        int reminder = 0;
        int reminderSet = 0;
        int outlookIndex = 0;
        int recurring = 0;
        bool allDay = false;
    };

    static std::unique_ptr<CRecurrenceData> CopyOf(const CRecurrenceData* pattern);

    Entry m_entry;
    std::unique_ptr<CRecurrenceData> m_recurrence;
};
