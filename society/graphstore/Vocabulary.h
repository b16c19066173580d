#pragma once

// The namespaces of the web schedules the calendar model reads.
namespace vocabulary {

constexpr const char* Rdf = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";
constexpr const char* RdfType = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
constexpr const char* RdfValue = "http://www.w3.org/1999/02/22-rdf-syntax-ns#value";
constexpr const char* Hybrid = "http://ilrt.org/discovery/2001/06/schemas/ical-full/hybrid.rdf#";
constexpr const char* VCalendarClass =
    "http://ilrt.org/discovery/2001/06/schemas/ical-full/hybrid.rdf#VCALENDAR";
constexpr const char* Ical = "http://www.w3.org/2002/12/cal/ical#";
// The W3C vocabulary's calendar class, read beside the hybrid one.
constexpr const char* IcalCalendarClass = "http://www.w3.org/2002/12/cal/ical#Vcalendar";
constexpr const char* Dc = "http://purl.org/dc/elements/1.1/";
constexpr const char* Foaf = "http://xmlns.com/foaf/0.1/";
constexpr const char* Geo = "http://www.w3.org/2003/01/geo/wgs84_pos#";
constexpr const char* Rdfs = "http://www.w3.org/2000/01/rdf-schema#";
constexpr const char* CalendarAgent = "urn:orvante:calendar-agent#";
// The DAML agenda ontology's meeting class, which a translation service
// turns into a schedule.
constexpr const char* AgendaMeetingClass = "http://www.daml.org/2001/10/agenda/agenda-ont#Meeting";

} // namespace vocabulary
