#pragma once

#include <outlook/AppointmentData.h>

#include <libical/ical.h>

#include <string>

namespace outlook {
// Reads one VEVENT as appointment data and writes appointment data back into
// one. Only the outlook library's own sources use this: it exposes libical
// types.
//
// Attendee texts are "; "-joined names (CN) or addresses of the ATTENDEE
// lines by ROLE; a text that the ATTENDEE lines alone would not give back
// (names without addresses, other separators) is kept whole in
// X-ORVANTE-REQUIRED-ATTENDEES or X-ORVANTE-OPTIONAL-ATTENDEES, which wins
// on reading.
class CICalendarEvent {
public:
    static constexpr const char* BusyStatusProperty = "X-MICROSOFT-CDO-BUSYSTATUS";
    static constexpr const char* RequiredAttendeesProperty = "X-ORVANTE-REQUIRED-ATTENDEES";
    static constexpr const char* OptionalAttendeesProperty = "X-ORVANTE-OPTIONAL-ATTENDEES";

    // The event's data. A recurrence the pattern cannot express leaves the
    // data single and says why in `note`; otherwise `note` is emptied.
    static CAppointmentData Read(icalcomponent* event, std::string& note);

    // Rewrites the properties whose mapped value differs between `before`
    // (what Read gave for this event) and `after`; with no `before`, writes
    // them all into a new event. False with the reason when `after` cannot
    // be written (no valid start, a pattern no rule matches); the event is
    // then unchanged.
    static bool Write(icalcomponent* event, const CAppointmentData& after, const CAppointmentData* before,
                      std::string& error);
};
} // namespace outlook
