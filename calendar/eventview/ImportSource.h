#pragma once

#include <platform/DateTime.h>

#include <string>
#include <vector>

// What an appointment built from a web schedule brings besides itself: what
// tells its event apart from every other, how it recurs, and who organises
// it.
struct CImportSource {
    // The event's URI (after the schedule's address when the URI is not
    // within it), or for a blank node the schedule's address with the start
    // and the summary.
    std::string identity;
    // The recurrence rule ("FREQ=..."); empty for an event that does not
    // recur by a rule.
    std::string rule;
    // Starts of occurrences the series leaves out and of those it adds, in
    // the user's local time.
    std::vector<CDateTime> excluded;
    std::vector<CDateTime> added;
    // The organiser's e-mail address; empty when the event names none.
    std::string organiser;

    // Whether the event stands for more than one occurrence.
    bool Recurs() const { return !rule.empty() || !added.empty(); }
};
