#pragma once

#include <vespera/core/KqmlFields.h>

#include <platform/DateTime.h>
#include <platform/TimeZone.h>

#include <string>

// The zone that every date text of one message is written in. A message
// names it with `:timezone (Area/City)`; one that names none is written in
// the reader's own zone, as agents that know nothing of zones write. Texts
// are converted at the edge: inside, every time is the user's wall clock.
//
// A reply is written in the zone of the message it answers, so that the
// groups it echoes word for word stand in the zone the reply names.
class CMessageZone {
public:
    // The user's own zone.
    CMessageZone();
    // The zone `message` names; the user's own when it names none or one
    // the zone database lacks (`IsUnknown` then tells the caller).
    explicit CMessageZone(const CKqmlFields& message);

    bool IsUnknown() const { return m_unknown; }
    const std::string& Named() const { return m_named; }

    // A text of the message as the user's wall-clock time; false, with
    // the value invalid, when the text is not a date and time.
    bool Read(const std::string& text, CDateTime& local) const;
    CDateTime ToLocal(const CDateTime& written) const;
    CDateTime FromLocal(const CDateTime& local) const;
    // The user's time as the message writes it.
    std::string Format(const CDateTime& local) const;
    // " :timezone (NAME)" to append to the message, or nothing when the
    // zone has no name to give.
    std::string Keyword() const;

private:
    CTimeZone m_own;
    CTimeZone m_zone;
    std::string m_named;
    bool m_unknown = false;
};
