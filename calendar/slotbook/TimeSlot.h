#pragma once

#include <slotbook/Day.h>

#include <platform/DateTime.h>

#include <string>

// An interval of time with a duration in whole minutes, a validity flag, a
// slot type and a weekday set. An absolute slot (type 1) is a dated interval
// whose days are empty. A relative slot (type 0) is a time-of-day interval on
// 1 January 1000 that applies on the weekdays in its days. Other types are
// kept as given.
//
// The toolkit's root object class sits above this library, so a slot derives
// from the weekday set alone.
class CTimeSlot : public CDay {
public:
    // An absolute, invalid slot from 30 December 1899 00:00 to the same
    // instant, duration 0. A slot given start and end only through the plain
    // setters keeps that duration of 0.
    CTimeSlot();
    CTimeSlot(const CTimeSlot& other) = default;
    CTimeSlot& operator=(const CTimeSlot& other) = default;
    ~CTimeSlot() override;

    // Valid, with the minutes of end - start as duration.
    CTimeSlot(const CDateTime& start, const CDateTime& end);
    CTimeSlot(const CDateTime& start, const CDateTime& end, int duration);
    CTimeSlot(const CDateTime& start, int duration);

    // Text forms: each text first loses its surrounding parentheses (see
    // RemoveParens). A std::string start and end pick the first two; note
    // that two string literals and an int select the third.
    CTimeSlot(const std::string& start, const std::string& end, int duration);
    CTimeSlot(const std::string& start, const std::string& end, const char* duration);
    CTimeSlot(const std::string& start, const char* duration, int validity);

    void SetStartTime(const CDateTime& start);
    void SetEndTime(const CDateTime& end);
    void SetDuration(int duration);
    void SetTimeSlot(const CDateTime& start, const CDateTime& end);
    void SetTimeSlot(const CDateTime& start, const CDateTime& end, int validity);
    void SetTimeSlot(const CDateTime& start, int duration, int validity);
    void SetTimeSlot(const CDateTime& start, int duration);
    // Valid exactly when the duration equals the minutes of end - start of two
    // valid bounds.
    void SetTimeSlotValid(const CDateTime& start, const CDateTime& end, int duration);
    void SetValidity(int validity);
    // Type 0 moves both bounds to 1 January 1000 at their time of day and
    // recomputes the duration; type 1 clears the days.
    void SetSlotType(int type);
    void SetAttributes(int validity, int type, const CDay* days);

    int IsValid() const { return m_validity; }
    int GetDuration() const { return m_duration; }
    int GetSlotType() const { return m_slotType; }
    CDateTime GetStartTime() const { return m_start; }
    CDateTime GetEndTime() const { return m_end; }
    bool IsRelative() const { return m_slotType == 0; }
    bool IsAbsolute() const { return m_slotType == 1; }

    bool operator==(const CTimeSlot& other) const;
    bool operator!=(const CTimeSlot& other) const { return !(*this == other); }
    bool IsTimeRangeEqual(const CTimeSlot& other) const;
    bool IsTimeRangeEqual(const CTimeSlot* other) const;
    bool Contains(const CTimeSlot& other) const;
    bool Contains(const CTimeSlot* other) const;
    // True only for a partial overlap with four distinct bounds; containment,
    // equality and touching ends are not overlaps.
    bool OverLaps(const CTimeSlot& other) const;
    bool OverLaps(const CTimeSlot* other) const;

    // The union as a new slot that the caller owns and deletes. Two slots of
    // non-zero type give an absolute, invalid slot of duration 0 over both;
    // otherwise the result is relative, valid, on the days of both.
    CTimeSlot* operator+(const CTimeSlot& other) const;

    // Drops every leading "(" and the trailing run of ")"; inner parentheses
    // stay, so "(a(b))" becomes "a(b".
    static std::string RemoveParens(const std::string& text);

    std::string GetDurationString() const;
    std::string GetSlotTypeString() const;
    std::string GetStatusString() const;
    std::string ToString() const;
    std::string ToStringDebug() const;

private:
    static int DurationFromText(const char* text);
    static int MinutesBetween(const CDateTime& start, const CDateTime& end);
    static CDateTime OnRelativeDay(const CDateTime& value);
    void SetFromTexts(const std::string& start, const std::string& end, int duration);

    int m_validity;
    CDateTime m_start;
    CDateTime m_end;
    int m_duration;
    int m_slotType;
};
