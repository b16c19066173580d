#pragma once

#include <graphstore/RDFObj.h>

#include <platform/DateTime.h>

#include <optional>
#include <string>

// A date-time of a schedule: the instant in the user's local time, and the
// text it was read from.
class CRDFDateTime : public CRDFObj {
public:
    CRDFDateTime();

    // Reads a literal, or a resource's rdf:value, dateTime or date; false
    // when there is no text or it does not parse.
    bool set(CRDFNode* node, CRDFMFCGraphStore* store) override;

    // ISO 8601 ("2026-12-09T10:00:00", with "Z" or an offset such as
    // "+01:00", or local), iCalendar's basic form ("20261209T100000Z") and
    // bare dates ("2026-12-09", "20261209": midnight), each optionally
    // followed by a zone's name in brackets. Times with a zone are turned
    // into local time. Invalid when the text is none of these.
    static CDateTime Parse(const std::string& text);
    // Parse, with the seconds since 1970 in UTC when the text names an
    // instant (a "Z" or an offset); nullopt for local times and dates.
    static CDateTime Parse(const std::string& text, std::optional<long long>& instant);

    // The time `minutes` later: in real time for an instant, so that a
    // length across a change of daylight saving time stays what it is, on
    // the wall clock otherwise.
    CRDFDateTime After(long minutes) const;
    // The seconds since 1970 in UTC when the text named an instant.
    const std::optional<long long>& GetInstant() const { return m_instant; }

    const CDateTime& GetValue() const { return m_value; }
    void SetValue(const CDateTime& value) { m_value = value; }
    const std::string& GetText() const { return m_text; }
    bool IsValid() const { return m_value.GetStatus() == CDateTime::valid; }
    // The zone the schedule wrote the time for, when it named one (a
    // "[Europe/Berlin]" after the text); empty otherwise.
    const std::string& GetZone() const { return m_zone; }
    // How the time reads in that zone ("04:00 America/New_York"); empty when
    // it is the user's own or none was named.
    std::string ZoneNote() const;
    // Whether the text was a date without a time.
    bool IsDateOnly() const { return m_dateOnly; }
    // The long date and time: "Monday, December 14, 2026 10:00:00 AM".
    std::string getString() const;

private:
    CDateTime m_value;
    std::string m_text;
    std::string m_zone;
    std::optional<long long> m_instant;
    bool m_dateOnly = false;
};
