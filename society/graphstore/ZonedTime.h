#pragma once

#include <string>

// A schedule's wall-clock time in a named zone, made into the UTC text
// ("20261210T090000Z") that reads as the same instant wherever the user
// lives. The zone may stand behind a vendor's prefix
// ("/softwarestudio.org/Olson_20011030_5/Europe/Berlin") or in a time-zone
// datatype ("http://www.w3.org/2002/12/cal/tzd/Europe/Berlin#tz").
namespace zonedtime {

// The zone's name in a time-zone datatype; empty for any other datatype.
std::string ZoneOfDatatype(const std::string& datatype);

// `text` (ISO 8601 or iCalendar's basic form, without a zone of its own)
// in `zone`, with the zone named after it as RFC 9557 does
// ("20261210T090000Z[Europe/Berlin]") so that the user can be shown how the
// event reads where it was written; the text as it is when it already names
// an offset, is a bare date, does not parse or the zone is unknown.
std::string ToUtcText(const std::string& text, const std::string& zone);

// A UTC text with `zone` named after it; the text alone for a zone whose
// name cannot stand in brackets.
std::string WithZoneName(const std::string& utcText, const std::string& zone);

} // namespace zonedtime
