#pragma once

#include <slotbook/Day.h>

#include <platform/DateTime.h>

// The recurrence pattern of a recurring appointment. The inherited weekday
// set is the pattern's day-of-week mask. Recurrence types:
//   0 daily, 1 weekly, 2 monthly on a day of the month, 3 monthly on the nth
//   (weekday, weekend day, day or named weekday), 4 unused, 5 yearly,
//   6 yearly on the nth.
// Instances 1..4 are first to fourth, 5 is last. Times of day lie on
// 30 December 1899, dates at 00:00.
class CRecurrenceData : public CDay {
public:
    // An empty pattern (status 0). The interval starts at 1, never 0, so
    // that no pattern ever divides by it.
    CRecurrenceData();
    // A pattern of the given type with status 1.
    explicit CRecurrenceData(int type);
    CRecurrenceData(const CRecurrenceData& other) = default;
    CRecurrenceData& operator=(const CRecurrenceData& other) = default;
    ~CRecurrenceData() override;

    void SetRecType(int type);
    void SetStatus(int status);
    void SetInstance(long instance);
    void SetDayOfMonth(long dayOfMonth);
    void Ends(int ends);
    // 0 stores 1.
    void SetInterval(long interval);
    void SetStartTime(const CDateTime& time);
    void SetStartDate(const CDateTime& date);
    void SetEndTime(const CDateTime& time);
    void SetEndDate(const CDateTime& date);
    void SetStartTime(int hour, int minute, int second);
    void SetEndTime(int hour, int minute, int second);
    void SetStartDate(int year, int month, int day);
    void SetEndDate(int year, int month, int day);

    int GetRecType() const { return m_recType; }
    int GetStatus() const { return m_status; }
    int GetInterval() const { return m_interval; }
    int GetDayOfMonth() const { return m_dayOfMonth; }
    int GetInstance() const { return m_instance; }
    int GetEnds() const { return m_ends; }
    const CDateTime& GetStartTime() const { return m_startTime; }
    const CDateTime& GetStartDate() const { return m_startDate; }
    const CDateTime& GetEndTime() const { return m_endTime; }
    const CDateTime& GetEndDate() const { return m_endDate; }

    // 1 when the pattern has an occurrence on that date; a date that does
    // not exist never has one.
    int OccursOn(int day, int month, int year) const;
    // 1 unless the pattern occurs on the date of the time and the time of day
    // lies in [start time, end time).
    int IsFree(const CDateTime& time) const;
    // 1 unless the pattern occurs on the date of from and the time-of-day
    // range from-to overlaps the pattern's.
    int IsFree(const CDateTime& from, const CDateTime& to) const;

    bool IsWithinTime(const CDateTime& time) const;
    bool IsWithinTime(const CDateTime& from, const CDateTime& to) const;

    int IsDayInstance(int instance, const CDateTime& date) const;
    // With a mask naming several weekdays the lowest of them counts; a mask
    // naming no weekday never matches.
    int IsDayInstance(int instance, int days, const CDateTime& date) const;
    int IsWeekDayInstance(int instance, const CDateTime& date) const;
    int IsWeekendDayInstance(int instance, const CDateTime& date) const;

    // The first of the date's month at the date's time of day.
    CDateTime GetFirstDayOfMonth(const CDateTime& date) const;
    // New arrays of four days of the month, freed by the caller with delete[].
    // An invalid date gives -1 entries; GetFirst4MFCDays then gives -1, 6, 13,
    // 20, and a weekday outside 1..7 gives four -1 entries.
    int* GetFirst4WeekDays(const CDateTime& date) const;
    int* GetFirst4WeekendDays(const CDateTime& date) const;
    int* GetFirst4MFCDays(int weekday, const CDateTime& date) const;
    // Days of the month, -1 for an invalid date (or weekday outside 1..7).
    int GetLastWeekDay(const CDateTime& date) const;
    int GetLastWeekendDay(const CDateTime& date) const;
    int GetLastMFCDay(int weekday, const CDateTime& date) const;

private:
    int OccursByType(const CDateTime& date, long long months) const;
    int OccursWeekly(const CDateTime& date) const;
    int NthByMask(const CDateTime& date) const;
    static CDateTime TimeOfDay(const CDateTime& value);
    static CDateTime LastOfMonth(const CDateTime& date);
    static int* FourDays(int first, int step);

    int m_status;
    int m_recType;
    int m_interval;
    int m_dayOfMonth;
    int m_instance;
    CDateTime m_startTime;
    CDateTime m_startDate;
    CDateTime m_endTime;
    CDateTime m_endDate;
    int m_ends;
};
