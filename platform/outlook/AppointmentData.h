#pragma once

#include <outlook/Constants.h>

#include <platform/DateTime.h>

#include <string>

namespace outlook {
// What a back-end keeps of one appointment item. The end is not kept: it is
// always the start plus the duration, as the object model reports it.
struct CAppointmentData {
    // The recurrence pattern of a recurring item. Start and end times are
    // times of day (on 30 December 1899), pattern dates are dates at 00:00.
    struct Pattern {
        long recurrenceType = olRecursWeekly;
        long dayOfWeekMask = 0;
        long dayOfMonth = 0;
        long instance = 0;
        long interval = 1;
        CDateTime patternStartDate;
        CDateTime startTime;
        CDateTime patternEndDate;
        CDateTime endTime;
        bool noEndDate = true;
    };

    // A new item: no start yet (null), 30 minutes long, busy, no reminder.
    CAppointmentData();

    std::string subject;
    std::string body;
    std::string location;
    std::string requiredAttendees;
    std::string optionalAttendees;
    // The organiser's e-mail address; empty when the item names none.
    std::string organizer;
    // The required attendees' e-mail addresses ("; " between them) when
    // requiredAttendees holds other names, such as agent names; empty when
    // the addresses are requiredAttendees itself. Desktop calendar programs
    // show these.
    std::string requiredAddresses;
    CDateTime start;
    // The TZID the start was written with in the file; empty for UTC,
    // floating times and dates. Read only: new starts are written in UTC.
    std::string startZone;
    long duration = 30;
    long busyStatus = olBusy;
    bool reminderSet = false;
    long reminderMinutesBeforeStart = 15;
    bool isRecurring = false;
    // Whole days from midnight, written as dates: the same days in every
    // zone.
    bool allDay = false;
    Pattern pattern;
};

// A change made on `read` that lands on `theirs`, another program's newer
// version of the same item: each field `mine` changed takes its value, every
// other field keeps theirs.
CAppointmentData MergedChange(const CAppointmentData& read, const CAppointmentData& mine,
                              const CAppointmentData& theirs);
} // namespace outlook
