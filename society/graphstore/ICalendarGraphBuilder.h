#pragma once

#include <string>

class CRDFGraph;

// Turns an iCalendar feed (the .ics files calendar programs publish) into
// the same graph an RDF schedule gives: a calendar typed h:VCALENDAR, named
// by X-WR-CALNAME, whose ical:component events carry summary, description,
// dtstart, dtend, duration, location, attendees, url, an alarm trigger,
// status, transparency, the recurrence rule and the exdates and rdates.
// Event URIs are the document address with "#" and the event's UID; an
// occurrence overridden by a RECURRENCE-ID is an event of its own, with
// ";recurrence-id=" and the replaced start after that, and its series
// excludes the start it replaces.
class CICalendarGraphBuilder {
public:
    // Whether a document is iCalendar rather than RDF.
    static bool IsICalendar(const std::string& contentType, const std::string& text);

    // False with `error` when the text is not iCalendar or has no event.
    static bool Build(const std::string& text, const std::string& address, CRDFGraph& graph,
                      std::string& triples, std::string& error);
};
