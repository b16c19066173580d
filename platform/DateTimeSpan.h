#pragma once

// A length of time between two date-time values, counted in days as a double
// (the time of day is the fraction), with a validity status.

class CDateTimeSpan {
public:
    enum Status { valid, invalid };

    // Beyond this many days in either direction a span is invalid: it is
    // wider than anything the date-time value can hold at both ends.
    static constexpr double MaxDays = 3615897.0;

    CDateTimeSpan();
    CDateTimeSpan(double days);
    CDateTimeSpan(long days, int hours, int minutes, int seconds);

    Status GetStatus() const { return m_status; }
    void SetStatus(Status status);

    double GetTotalDays() const { return m_days; }

    // Whole minutes and whole days, rounded half a second away from zero and
    // then truncated, so that float noise in sums of minutes never loses a
    // minute. An invalid span counts as 0.
    long GetWholeMinutes() const;
    long GetWholeDays() const;

    CDateTimeSpan operator+(const CDateTimeSpan& other) const;
    CDateTimeSpan operator-(const CDateTimeSpan& other) const;
    CDateTimeSpan operator-() const;

    bool operator==(const CDateTimeSpan& other) const;
    bool operator!=(const CDateTimeSpan& other) const { return !(*this == other); }
    bool operator<(const CDateTimeSpan& other) const;
    bool operator>(const CDateTimeSpan& other) const { return other < *this; }
    bool operator<=(const CDateTimeSpan& other) const { return !(other < *this); }
    bool operator>=(const CDateTimeSpan& other) const { return !(*this < other); }

private:
    long RoundedUnits(double unitsPerDay) const;

    double m_days;
    Status m_status;
};
