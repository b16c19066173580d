#include <outlook/RecurrenceRule.h>

#include <outlook/ICalTime.h>

#include <libical/ical.h>

#include <cstdlib>
#include <vector>

namespace outlook {
namespace {
struct ByDay {
    int position; // 0 for "every", 1..n from the start, negative from the end
    long maskBit; // olSunday .. olSaturday
};

bool IsEmpty(const short* values)
{
    return values[0] == ICAL_RECURRENCE_ARRAY_MAX;
}

std::vector<short> ValuesOf(const short* values, int size)
{
    std::vector<short> result;
    for (int i = 0; i < size && values[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i)
        result.push_back(values[i]);
    return result;
}

long MaskBitOfWeekday(int weekday)
{
    return 1L << (weekday - 1);
}

bool DecodeByDay(const icalrecurrencetype& rule, std::vector<ByDay>& days)
{
    for (short encoded : ValuesOf(rule.by_day, ICAL_BY_DAY_SIZE)) {
        const int weekday = icalrecurrencetype_day_day_of_week(encoded);
        if (weekday < ICAL_SUNDAY_WEEKDAY || weekday > ICAL_SATURDAY_WEEKDAY)
            return false;
        days.push_back({icalrecurrencetype_day_position(encoded), MaskBitOfWeekday(weekday)});
    }
    return true;
}

bool AllEvery(const std::vector<ByDay>& days)
{
    for (const ByDay& day : days)
        if (day.position != 0)
            return false;
    return true;
}

long MaskOf(const std::vector<ByDay>& days)
{
    long mask = 0;
    for (const ByDay& day : days)
        mask |= day.maskBit;
    return mask;
}

bool IsSingleDay(long mask)
{
    return mask != 0 && (mask & (mask - 1)) == 0;
}

// 1..4 as they are, the last as 5; the fifth and second-to-last have no
// instance number.
bool InstanceOf(int position, long& instance)
{
    if (position >= 1 && position <= 4)
        instance = position;
    else if (position == -1)
        instance = 5;
    else
        return false;
    return true;
}

bool Refuse(std::string& reason, const std::string& text)
{
    reason = text;
    return false;
}

// "The nth weekday" as an ordinal BYDAY (2TU, -1FR) or as a BYDAY set with
// one BYSETPOS.
bool NthDay(const icalrecurrencetype& rule, const std::vector<ByDay>& days,
            CAppointmentData::Pattern& pattern, std::string& reason)
{
    const std::vector<short> positions = ValuesOf(rule.by_set_pos, ICAL_BY_SETPOS_SIZE);
    if (positions.empty()) {
        if (days.size() != 1 || !InstanceOf(days[0].position, pattern.instance))
            return Refuse(reason, "only one weekday with an ordinal of 1 to 4 or -1 can be expressed");
        pattern.dayOfWeekMask = days[0].maskBit;
        return true;
    }
    if (positions.size() != 1 || !AllEvery(days) || !InstanceOf(positions[0], pattern.instance))
        return Refuse(reason, "only one BYSETPOS of 1 to 4 or -1 over plain weekdays can be expressed");
    const long mask = MaskOf(days);
    if (!IsSingleDay(mask) && mask != olWeekdayMask && mask != olWeekendDayMask && mask != olEveryDayMask)
        return Refuse(reason,
                      "BYSETPOS is expressible over one weekday, MO-FR, SA,SU or all seven days only");
    pattern.dayOfWeekMask = mask;
    return true;
}

bool NoRestrictionsBeyond(const icalrecurrencetype& rule, bool monthDays, bool months, bool setPositions)
{
    return (monthDays || IsEmpty(rule.by_month_day)) && (months || IsEmpty(rule.by_month)) &&
           (setPositions || IsEmpty(rule.by_set_pos));
}

bool Daily(const icalrecurrencetype& rule, const std::vector<ByDay>& days, CAppointmentData::Pattern& pattern,
           std::string& reason)
{
    if (!NoRestrictionsBeyond(rule, false, false, false))
        return Refuse(reason, "a daily rule with BYMONTHDAY, BYMONTH or BYSETPOS");
    if (days.empty()) {
        pattern.recurrenceType = olRecursDaily;
        return true;
    }
    // Every day of a set of weekdays is a weekly pattern over those days.
    if (!AllEvery(days) || pattern.interval != 1)
        return Refuse(reason, "a daily rule over weekdays with an interval or ordinals");
    pattern.recurrenceType = olRecursWeekly;
    pattern.dayOfWeekMask = MaskOf(days);
    return true;
}

bool Weekly(const icalrecurrencetype& rule, const std::vector<ByDay>& days, int startWeekday,
            CAppointmentData::Pattern& pattern, std::string& reason)
{
    if (!NoRestrictionsBeyond(rule, false, false, false) || !AllEvery(days))
        return Refuse(reason, "a weekly rule with ordinals, BYMONTHDAY, BYMONTH or BYSETPOS");
    const long mask = days.empty() ? MaskBitOfWeekday(startWeekday) : MaskOf(days);
    // The pattern counts its weeks from Sunday; a rule whose weeks start on
    // another day groups a Sunday with different days once weeks are
    // skipped.
    if (pattern.interval > 1 && (mask & olSunday) && mask != olSunday &&
        rule.week_start != ICAL_SUNDAY_WEEKDAY)
        return Refuse(reason,
                      "a weekly rule with an interval over Sunday and other days, weeks not from Sunday");
    pattern.recurrenceType = olRecursWeekly;
    pattern.dayOfWeekMask = mask;
    return true;
}

bool Monthly(const icalrecurrencetype& rule, const std::vector<ByDay>& days, const CDateTime& start,
             CAppointmentData::Pattern& pattern, std::string& reason)
{
    if (!IsEmpty(rule.by_month))
        return Refuse(reason, "a monthly rule limited to some months");
    const std::vector<short> monthDays = ValuesOf(rule.by_month_day, ICAL_BY_MONTHDAY_SIZE);
    if (!monthDays.empty()) {
        if (!days.empty() || !IsEmpty(rule.by_set_pos) || monthDays.size() != 1)
            return Refuse(reason, "a monthly rule with several days of the month or mixed with weekdays");
        if (monthDays[0] == -1) {
            pattern.recurrenceType = olRecursMonthNth;
            pattern.dayOfWeekMask = olEveryDayMask;
            pattern.instance = 5;
            return true;
        }
        if (monthDays[0] < 1)
            return Refuse(reason, "a monthly rule counting days from the end of the month");
        pattern.recurrenceType = olRecursMonthly;
        pattern.dayOfMonth = monthDays[0];
        return true;
    }
    if (!days.empty()) {
        pattern.recurrenceType = olRecursMonthNth;
        return NthDay(rule, days, pattern, reason);
    }
    if (!IsEmpty(rule.by_set_pos))
        return Refuse(reason, "BYSETPOS without weekdays");
    pattern.recurrenceType = olRecursMonthly;
    pattern.dayOfMonth = start.GetDay();
    return true;
}

bool Yearly(const icalrecurrencetype& rule, const std::vector<ByDay>& days, const CDateTime& start,
            CAppointmentData::Pattern& pattern, std::string& reason)
{
    // The pattern repeats every year on its start date's month; it has no
    // interval and no month of its own.
    if (pattern.interval != 1)
        return Refuse(reason, "a yearly rule with an interval");
    const std::vector<short> months = ValuesOf(rule.by_month, ICAL_BY_MONTH_SIZE);
    if (months.size() > 1 || (months.size() == 1 && months[0] != start.GetMonth()))
        return Refuse(reason, "a yearly rule in a month other than the start's, or in several");
    const std::vector<short> monthDays = ValuesOf(rule.by_month_day, ICAL_BY_MONTHDAY_SIZE);
    if (!monthDays.empty()) {
        if (!days.empty() || !IsEmpty(rule.by_set_pos) || monthDays.size() != 1 ||
            monthDays[0] != start.GetDay())
            return Refuse(reason, "a yearly rule on a day other than the start's");
        pattern.recurrenceType = olRecursYearly;
        return true;
    }
    if (!days.empty()) {
        if (months.empty())
            return Refuse(reason, "a yearly rule on weekdays of the whole year");
        pattern.recurrenceType = olRecursYearNth;
        return NthDay(rule, days, pattern, reason);
    }
    if (!IsEmpty(rule.by_set_pos))
        return Refuse(reason, "BYSETPOS without weekdays");
    pattern.recurrenceType = olRecursYearly;
    return true;
}

bool ShapeOf(const icalrecurrencetype& rule, const CDateTime& start, CAppointmentData::Pattern& pattern,
             std::string& reason)
{
    if (!IsEmpty(rule.by_second) || !IsEmpty(rule.by_minute) || !IsEmpty(rule.by_hour) ||
        !IsEmpty(rule.by_year_day) || !IsEmpty(rule.by_week_no))
        return Refuse(reason, "the rule names seconds, minutes, hours, days of the year or week numbers");
    if (rule.rscale && rule.rscale[0] != '\0')
        return Refuse(reason, "the rule uses a calendar scale of its own");
    std::vector<ByDay> days;
    if (!DecodeByDay(rule, days))
        return Refuse(reason, "the rule names an unknown weekday");
    pattern.interval = rule.interval > 1 ? rule.interval : 1;
    switch (rule.freq) {
    case ICAL_DAILY_RECURRENCE:
        return Daily(rule, days, pattern, reason);
    case ICAL_WEEKLY_RECURRENCE:
        return Weekly(rule, days, start.GetDayOfWeek(), pattern, reason);
    case ICAL_MONTHLY_RECURRENCE:
        return Monthly(rule, days, start, pattern, reason);
    case ICAL_YEARLY_RECURRENCE:
        return Yearly(rule, days, start, pattern, reason);
    default:
        return Refuse(reason, "the frequency is finer than daily or unknown");
    }
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long DayNumber(int year, int month, int day)
{
    const long y = month <= 2 ? year - 1 : year;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yearOfEra = y - era * 400;
    const long dayOfYear = (153L * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void SetDate(long dayNumber, icaltimetype& time)
{
    const long z = dayNumber + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long dayOfEra = z - era * 146097;
    const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long shifted = (5 * dayOfYear + 2) / 153;
    const int month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
    time.year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
    time.month = month;
    time.day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
}

// ICAL_SUNDAY_WEEKDAY (1) .. ICAL_SATURDAY_WEEKDAY (7); 1970-01-01 was a
// Thursday.
int WeekdayOf(long dayNumber)
{
    return static_cast<int>(((dayNumber % 7) + 11) % 7) + 1;
}

// Years in which libical's own expansion is certain to run as plain date
// arithmetic does; outside them the rule is expanded by libical.
bool WithinCountedYears(int year)
{
    return year >= 1900 && year <= 2037;
}

// The days of a week, as days after its first day (`weekStart`), on which
// a plain weekly rule falls; empty when the rule has ordinals.
std::vector<int> WeekOffsets(const icalrecurrencetype& rule, int startWeekday, int weekStart)
{
    std::vector<bool> on(7, false);
    const std::vector<short> days = ValuesOf(rule.by_day, ICAL_BY_DAY_SIZE);
    if (days.empty())
        on[static_cast<std::size_t>((startWeekday - weekStart + 7) % 7)] = true;
    for (short encoded : days) {
        const int weekday = icalrecurrencetype_day_day_of_week(encoded);
        if (icalrecurrencetype_day_position(encoded) != 0 || weekday < ICAL_SUNDAY_WEEKDAY ||
            weekday > ICAL_SATURDAY_WEEKDAY)
            return {};
        on[static_cast<std::size_t>((weekday - weekStart + 7) % 7)] = true;
    }
    std::vector<int> offsets;
    for (int offset = 0; offset < 7; ++offset)
        if (on[static_cast<std::size_t>(offset)])
            offsets.push_back(offset);
    return offsets;
}

// The day of the `count`th occurrence of a plain weekly rule; false for any
// other rule. As libical expands it, a start on none of the rule's days is
// no occurrence itself: the first is the next of its days in the start's
// week, or in the first week of the next period.
bool CountWeeks(const icalrecurrencetype& rule, long startDay, long interval, long& lastDay)
{
    const int weekStart = rule.week_start;
    if (weekStart < ICAL_SUNDAY_WEEKDAY || weekStart > ICAL_SATURDAY_WEEKDAY)
        return false;
    const int startWeekday = WeekdayOf(startDay);
    const std::vector<int> offsets = WeekOffsets(rule, startWeekday, weekStart);
    if (offsets.empty())
        return false;
    const int startOffset = (startWeekday - weekStart + 7) % 7;
    long weekDay = startDay - startOffset;
    std::size_t first = 0;
    while (first < offsets.size() && offsets[first] < startOffset)
        ++first;
    if (first == offsets.size()) {
        weekDay += 7 * interval;
        first = 0;
    }
    const long inFirstWeek = static_cast<long>(offsets.size() - first);
    const long count = rule.count;
    if (count <= inFirstWeek) {
        lastDay = weekDay + offsets[first + static_cast<std::size_t>(count - 1)];
        return true;
    }
    const long perWeek = static_cast<long>(offsets.size());
    const long later = count - inFirstWeek - 1;
    lastDay =
        weekDay + 7 * interval * (1 + later / perWeek) + offsets[static_cast<std::size_t>(later % perWeek)];
    return true;
}

// The start of the last occurrence of a COUNT rule that is every n days or
// every n weeks on plain weekdays, worked out by date
// arithmetic: expanding such a rule through libical is the costliest part of
// reading a calendar. False when the rule is not of that kind.
bool CountedLastOccurrence(const icalrecurrencetype& rule, const icaltimetype& dtstart, icaltimetype& last)
{
    if (rule.count <= 0 || rule.count > CRecurrenceRule::MaxExpandedOccurrences ||
        !icaltime_is_null_time(rule.until) || !IsEmpty(rule.by_month_day) || !IsEmpty(rule.by_month) ||
        !IsEmpty(rule.by_set_pos) || !WithinCountedYears(dtstart.year) ||
        (dtstart.zone && !icaltime_is_utc(dtstart)))
        return false;
    const long interval = rule.interval > 1 ? rule.interval : 1;
    const long startDay = DayNumber(dtstart.year, dtstart.month, dtstart.day);
    long lastDay = 0;
    const bool daily = rule.freq == ICAL_DAILY_RECURRENCE;
    if (daily && IsEmpty(rule.by_day))
        lastDay = startDay + (rule.count - 1) * interval;
    // Every day of a set of weekdays runs as every week on them.
    else if (!(rule.freq == ICAL_WEEKLY_RECURRENCE || (daily && interval == 1)) ||
             !CountWeeks(rule, startDay, interval, lastDay))
        return false;
    icaltimetype result = dtstart;
    SetDate(lastDay, result);
    if (!WithinCountedYears(result.year))
        return false;
    last = result;
    return true;
}

// The start of the last occurrence, by expanding the rule; false when it
// runs on beyond the bound.
bool LastOccurrence(const icalrecurrencetype& rule, const icaltimetype& dtstart, icaltimetype& last)
{
    icalrecur_iterator* iterator = icalrecur_iterator_new(rule, dtstart);
    if (!iterator)
        return false;
    last = dtstart;
    bool ended = false;
    for (int i = 0; i <= CRecurrenceRule::MaxExpandedOccurrences; ++i) {
        const icaltimetype next = icalrecur_iterator_next(iterator);
        if (icaltime_is_null_time(next)) {
            ended = true;
            break;
        }
        last = next;
    }
    icalrecur_iterator_free(iterator);
    return ended;
}

bool EndOf(const icalrecurrencetype& rule, const icaltimetype& dtstart, CAppointmentData::Pattern& pattern,
           std::string& reason)
{
    const bool hasUntil = !icaltime_is_null_time(rule.until);
    if (rule.count <= 0 && !hasUntil) {
        pattern.noEndDate = true;
        return true;
    }
    icaltimetype last = dtstart;
    CDateTime end;
    if (CountedLastOccurrence(rule, dtstart, last) || LastOccurrence(rule, dtstart, last))
        end = CICalTime::ToLocal(last);
    else if (hasUntil)
        end = CICalTime::ToLocal(rule.until);
    else
        return Refuse(reason, "the rule repeats too many times to be expanded");
    if (end.GetStatus() != CDateTime::valid)
        return Refuse(reason, "the rule's end is not a readable time");
    pattern.noEndDate = false;
    pattern.patternEndDate = CICalTime::DateOf(end);
    return true;
}

bool SameDate(const CDateTime& local, const icaltimetype& time)
{
    return local.GetYear() == time.year && local.GetMonth() == time.month && local.GetDay() == time.day;
}

short EncodeDay(int weekday, long instance)
{
    const int position = instance == 5 ? -1 : static_cast<int>(instance);
    const int magnitude = std::abs(position) * 8 + weekday;
    return static_cast<short>(position < 0 ? -magnitude : magnitude);
}

void PutDays(long mask, long instance, icalrecurrencetype& rule)
{
    int at = 0;
    for (int weekday = ICAL_SUNDAY_WEEKDAY; weekday <= ICAL_SATURDAY_WEEKDAY; ++weekday)
        if (mask & MaskBitOfWeekday(weekday))
            rule.by_day[at++] = EncodeDay(weekday, instance);
    rule.by_day[at] = ICAL_RECURRENCE_ARRAY_MAX;
}

bool PutNth(const CAppointmentData::Pattern& pattern, icalrecurrencetype& rule, std::string& reason)
{
    const long mask = pattern.dayOfWeekMask;
    if (pattern.instance < 1 || pattern.instance > 5)
        return Refuse(reason, "the instance is not 1 to 5");
    if (IsSingleDay(mask) && mask <= olSaturday) {
        PutDays(mask, pattern.instance, rule);
        return true;
    }
    if (mask != olWeekdayMask && mask != olWeekendDayMask && mask != olEveryDayMask)
        return Refuse(reason, "the weekday mask is not one day, the weekdays, the weekend days or every day");
    PutDays(mask, 0, rule);
    rule.by_set_pos[0] = static_cast<short>(pattern.instance == 5 ? -1 : pattern.instance);
    rule.by_set_pos[1] = ICAL_RECURRENCE_ARRAY_MAX;
    return true;
}

bool PutShape(const CAppointmentData::Pattern& pattern, icalrecurrencetype& rule, std::string& reason)
{
    const CDateTime& start = pattern.patternStartDate;
    switch (pattern.recurrenceType) {
    case olRecursDaily:
        rule.freq = ICAL_DAILY_RECURRENCE;
        return true;
    case olRecursWeekly:
        if (pattern.dayOfWeekMask <= 0 || pattern.dayOfWeekMask > olEveryDayMask)
            return Refuse(reason, "a weekly pattern without weekdays");
        rule.freq = ICAL_WEEKLY_RECURRENCE;
        rule.week_start = ICAL_SUNDAY_WEEKDAY;
        PutDays(pattern.dayOfWeekMask, 0, rule);
        return true;
    case olRecursMonthly:
        if (pattern.dayOfMonth < 1 || pattern.dayOfMonth > 31)
            return Refuse(reason, "the day of the month is not 1 to 31");
        rule.freq = ICAL_MONTHLY_RECURRENCE;
        rule.by_month_day[0] = static_cast<short>(pattern.dayOfMonth);
        rule.by_month_day[1] = ICAL_RECURRENCE_ARRAY_MAX;
        return true;
    case olRecursMonthNth:
        rule.freq = ICAL_MONTHLY_RECURRENCE;
        return PutNth(pattern, rule, reason);
    case olRecursYearly:
    case olRecursYearNth:
        if (start.GetStatus() != CDateTime::valid)
            return Refuse(reason, "a yearly pattern without a start date");
        rule.freq = ICAL_YEARLY_RECURRENCE;
        rule.by_month[0] = static_cast<short>(start.GetMonth());
        rule.by_month[1] = ICAL_RECURRENCE_ARRAY_MAX;
        if (pattern.recurrenceType == olRecursYearNth)
            return PutNth(pattern, rule, reason);
        rule.by_month_day[0] = static_cast<short>(start.GetDay());
        rule.by_month_day[1] = ICAL_RECURRENCE_ARRAY_MAX;
        return true;
    default:
        return Refuse(reason, "the recurrence type is unknown");
    }
}
} // namespace

bool CRecurrenceRule::ToPattern(const icalrecurrencetype& rule, const icaltimetype& dtstart,
                                long durationMinutes, CAppointmentData::Pattern& pattern, std::string& reason)
{
    const CDateTime start = CICalTime::ToLocal(dtstart);
    if (start.GetStatus() != CDateTime::valid)
        return Refuse(reason, "the event has no readable start");
    // Weekdays and days of the month are meant in the event's own zone; when
    // the local date differs from it, they would all be a day off here.
    if (rule.freq != ICAL_DAILY_RECURRENCE && !SameDate(start, dtstart))
        return Refuse(reason, "the start falls on another date in local time than in the event's zone");
    CAppointmentData::Pattern result;
    if (!ShapeOf(rule, start, result, reason) || !EndOf(rule, dtstart, result, reason))
        return false;
    result.patternStartDate = CICalTime::DateOf(start);
    result.startTime = CICalTime::TimeOfDay(start);
    result.endTime =
        CICalTime::TimeOfDay(start + CDateTimeSpan(static_cast<double>(durationMinutes) / (24.0 * 60.0)));
    pattern = result;
    return true;
}

bool CRecurrenceRule::FromPattern(const CAppointmentData::Pattern& pattern, icalrecurrencetype& rule,
                                  std::string& reason)
{
    icalrecurrencetype result;
    icalrecurrencetype_clear(&result);
    result.interval =
        static_cast<short>(pattern.interval >= 1 && pattern.interval <= 32767 ? pattern.interval : 1);
    if (!PutShape(pattern, result, reason))
        return false;
    if (!pattern.noEndDate) {
        if (pattern.patternEndDate.GetStatus() != CDateTime::valid)
            return Refuse(reason, "the pattern ends on no readable date");
        icaltimetype until = CICalTime::FromLocal(CICalTime::DateOf(pattern.patternEndDate));
        until.hour = 23;
        until.minute = 59;
        until.second = 59;
        result.until = until;
    }
    rule = result;
    return true;
}
bool CRecurrenceRule::PatternFromText(const std::string& rule, const CDateTime& start, long durationMinutes,
                                      CAppointmentData::Pattern& pattern, std::string& reason)
{
    icalrecurrencetype parsed;
    return ParseText(rule, parsed, reason) &&
           ToPattern(parsed, CICalTime::FromLocal(start), durationMinutes, pattern, reason);
}

bool CRecurrenceRule::ParseText(const std::string& rule, icalrecurrencetype& parsed, std::string& reason)
{
    icalerror_clear_errno();
    parsed = icalrecurrencetype_from_string(rule.c_str());
    if (parsed.freq == ICAL_NO_RECURRENCE || icalerrno != ICAL_NO_ERROR) {
        icalerror_clear_errno();
        reason = "\"" + rule + "\" is no recurrence rule";
        return false;
    }
    return true;
}

} // namespace outlook
