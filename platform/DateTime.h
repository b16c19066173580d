#pragma once

#include <platform/DateTimeSpan.h>

#include <string>

// A point in time held as an OLE automation date: days since 30 December 1899
// 00:00 with the time of day as the fraction. For negative values the integer
// part counts days backwards while the fraction still counts the time of day
// forwards, so -1.25 is 29 December 1899 06:00. Comparisons and arithmetic
// work on a linear day count derived from that, which keeps the true instant
// order on both sides of 1899.
//
// Years 100 to 9999 are representable; anything outside is invalid. Values
// are broken into fields to the nearest second.
class CDateTime {
public:
    enum Status { valid, invalid, null };

    CDateTime();
    CDateTime(double oleDate);
    CDateTime(int year, int month, int day, int hour, int minute, int second);

    static CDateTime GetCurrentTime();
    // Value 0 in the null state: a date-time that was never set.
    static CDateTime Null();

    Status GetStatus() const { return m_status; }
    // Asking for valid on a value outside the representable range leaves it
    // invalid.
    void SetStatus(Status status);
    double GetValue() const { return m_value; }

    // Each gives -1 when the value is not valid. GetDayOfWeek runs from
    // 1 (Sunday) to 7 (Saturday).
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const;

    // The one rendering every agent shares: "12/7/2026 9:49:22 AM", the date
    // alone at midnight, the time alone on 30 December 1899, "Invalid
    // DateTime" for an invalid value and the empty text for a null one.
    std::string Format() const;

    // Reads every rendering of Format back, plus 24-hour times ("18:00:00",
    // "8:00") and ISO 8601 ("2026-12-07", "2026-12-07 09:49:22",
    // "2026-12-07T09:49"). A time without a date lies on 30 December 1899.
    // Anything else fails and leaves the value invalid.
    bool ParseDateTime(const std::string& text);

    // Instants are compared to the millisecond, so that a start plus whole
    // minutes meets a value built from fields despite binary fractions.
    // Values that are not valid order after every valid one, by status.
    bool operator==(const CDateTime& other) const;
    bool operator!=(const CDateTime& other) const { return !(*this == other); }
    bool operator<(const CDateTime& other) const;
    // Milliseconds on one line for valid times: two valid times compare as
    // their keys do, so the key can sort and search them.
    long long OrderKey() const { return Milliseconds(); }
    bool operator>(const CDateTime& other) const { return other < *this; }
    bool operator<=(const CDateTime& other) const { return !(other < *this); }
    bool operator>=(const CDateTime& other) const { return !(*this < other); }

    // Arithmetic involving anything invalid gives an invalid result.
    CDateTime operator+(const CDateTimeSpan& span) const;
    CDateTime operator-(const CDateTimeSpan& span) const;
    CDateTime& operator+=(const CDateTimeSpan& span);
    CDateTime& operator-=(const CDateTimeSpan& span);
    CDateTimeSpan operator-(const CDateTime& other) const;

    // Every field of a valid time at once, which costs what one getter
    // costs; false (fields untouched) when the value is not valid.
    struct Fields {
        int year, month, day, hour, minute, second, dayOfWeek;
    };
    bool GetFields(Fields& fields) const;

private:
    static CDateTime Invalid();
    static CDateTime FromLinear(double linearDays);
    double Linear() const;
    long long Milliseconds() const;
    int Field(int Fields::*member) const;

    double m_value;
    Status m_status;
};
