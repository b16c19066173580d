#pragma once

#include <outlook/AppointmentData.h>

#include <platform/DateTime.h>

#include <string>

struct icalrecurrencetype;
struct icaltimetype;

namespace outlook {
// Maps an iCalendar recurrence rule to the object model's recurrence pattern
// and back. The pattern can say "every n days", "every n weeks on these
// days", "every n months on day d", "every n months on the nth (or last)
// weekday, weekend day, day or named weekday", "every year on this date" and
// "every year on the nth ... of this month"; a rule beyond that is not
// expressible and the caller treats the event as a single appointment.
//
// Times: the pattern holds local wall-clock times. The rule is expanded
// against DTSTART as the event gives it (zoned, UTC or floating) to find the
// date of the last occurrence of a COUNT or UNTIL rule.
class CRecurrenceRule {
public:
    // Rules that run longer than this many occurrences before their end are
    // not expanded; see ToPattern.
    static constexpr int MaxExpandedOccurrences = 20000;

    // The pattern for `rule` on an event that starts at `dtstart` and lasts
    // `durationMinutes`. False with the reason when the pattern cannot say
    // what the rule says, or when a COUNT rule runs beyond
    // MaxExpandedOccurrences.
    static bool ToPattern(const icalrecurrencetype& rule, const icaltimetype& dtstart, long durationMinutes,
                          CAppointmentData::Pattern& pattern, std::string& reason);

    // The rule for a pattern, with floating times (the pattern's start is
    // the event's local DTSTART). UNTIL is the end of the pattern's end
    // date. False with the reason for a pattern no rule matches (type 4, an
    // instance outside 1..5, an empty or unknown weekday mask ...).
    static bool FromPattern(const CAppointmentData::Pattern& pattern, icalrecurrencetype& rule,
                            std::string& reason);
    // ToPattern for a rule given as its text ("FREQ=WEEKLY;COUNT=4"), on an
    // event that starts at the local time `start`. False with the reason
    // for a text that is no rule, too.
    static bool PatternFromText(const std::string& rule, const CDateTime& start, long durationMinutes,
                                CAppointmentData::Pattern& pattern, std::string& reason);
    // The rule a text says; false with the reason for a text that is no
    // rule.
    static bool ParseText(const std::string& rule, icalrecurrencetype& parsed, std::string& reason);
};
} // namespace outlook
