#include <platform/DateTime.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>
#include <time.h>

namespace {
constexpr long long SecondsPerDay = 86400;
// Day numbers count from 30 December 1899, which is 25569 days before
// 1 January 1970, the epoch of the civil-date arithmetic below.
constexpr long long OleEpochShift = 25569;
// 1 January 100 00:00:00 and 31 December 9999 23:59:59 on the linear scale.
constexpr long long FirstSecond = -657434LL * SecondsPerDay;
constexpr long long LastSecond = 2958466LL * SecondsPerDay - 1;
constexpr int FirstYear = 100;
constexpr int LastYear = 9999;

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : lengths[month - 1];
}

// Days since 1 January 1970 of a proleptic Gregorian date, counting in
// 400-year eras that start on 1 March so that the leap day falls last.
long long DaysFromCivil(long long year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(long long days, int& year, int& month, int& day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

long long FloorDiv(long long value, long long divisor)
{
    const long long quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

double LinearFromOle(double ole)
{
    if (ole >= 0.0)
        return ole;
    const double whole = std::trunc(ole);
    return whole - (ole - whole);
}

double OleFromLinear(double linear)
{
    const double day = std::floor(linear);
    if (day >= 0.0)
        return linear;
    return day - (linear - day);
}

bool IsRepresentable(double linear)
{
    if (!std::isfinite(linear))
        return false;
    const double seconds = std::round(linear * SecondsPerDay);
    return seconds >= static_cast<double>(FirstSecond) && seconds <= static_cast<double>(LastSecond);
}

bool FieldsAreValid(int year, int month, int day, int hour, int minute, int second)
{
    if (year < FirstYear || year > LastYear || month < 1 || month > 12)
        return false;
    if (day < 1 || day > DaysInMonth(year, month))
        return false;
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

std::string TwoDigits(int value)
{
    return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
}

// Reads the pieces of a date-time text from left to right. A form that fails
// part-way is abandoned, and the next form starts over with a fresh reader.
class TextReader {
public:
    explicit TextReader(const std::string& text) : m_text(text), m_pos(0) {}

    bool AtEnd() const { return m_pos == m_text.size(); }

    bool SkipBlanks()
    {
        const std::size_t before = m_pos;
        while (!AtEnd() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t'))
            ++m_pos;
        return m_pos != before;
    }

    bool Take(char c)
    {
        if (AtEnd() || m_text[m_pos] != c)
            return false;
        ++m_pos;
        return true;
    }

    bool Number(int minDigits, int maxDigits, int& value)
    {
        int digits = 0;
        value = 0;
        while (digits < maxDigits && !AtEnd() && std::isdigit(static_cast<unsigned char>(m_text[m_pos]))) {
            value = value * 10 + (m_text[m_pos] - '0');
            ++m_pos;
            ++digits;
        }
        return digits >= minDigits;
    }

    // Case-insensitive match of an upper-case word.
    bool Word(const char* upper)
    {
        std::size_t pos = m_pos;
        for (; *upper != '\0'; ++upper, ++pos) {
            if (pos >= m_text.size() || std::toupper(static_cast<unsigned char>(m_text[pos])) != *upper)
                return false;
        }
        m_pos = pos;
        return true;
    }

    bool FinishedAfterBlanks()
    {
        SkipBlanks();
        return AtEnd();
    }

private:
    const std::string& m_text;
    std::size_t m_pos;
};

struct ParsedFields {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};

// h:mm or h:mm:ss; with allowMeridiem an optional AM or PM turns a 1..12
// hour into a 24-hour one.
bool ReadClock(TextReader& reader, int minHourDigits, bool allowMeridiem, ParsedFields& fields)
{
    if (!reader.Number(minHourDigits, 2, fields.hour) || !reader.Take(':') ||
        !reader.Number(2, 2, fields.minute))
        return false;
    fields.second = 0;
    if (reader.Take(':') && !reader.Number(2, 2, fields.second))
        return false;
    if (!allowMeridiem)
        return true;
    reader.SkipBlanks();
    const bool am = reader.Word("AM");
    const bool pm = !am && reader.Word("PM");
    if (!am && !pm)
        return true;
    if (fields.hour < 1 || fields.hour > 12)
        return false;
    fields.hour = fields.hour % 12 + (pm ? 12 : 0);
    return true;
}

bool ReadIso(const std::string& text, ParsedFields& fields)
{
    TextReader reader(text);
    reader.SkipBlanks();
    if (!reader.Number(4, 4, fields.year) || !reader.Take('-') || !reader.Number(2, 2, fields.month) ||
        !reader.Take('-') || !reader.Number(2, 2, fields.day))
        return false;
    const bool blanks = reader.SkipBlanks();
    if (reader.AtEnd())
        return true;
    if (!blanks && !reader.Take('T'))
        return false;
    return ReadClock(reader, 2, false, fields) && reader.FinishedAfterBlanks();
}

bool ReadUsual(const std::string& text, ParsedFields& fields)
{
    TextReader reader(text);
    reader.SkipBlanks();
    if (!reader.Number(1, 2, fields.month) || !reader.Take('/') || !reader.Number(1, 2, fields.day) ||
        !reader.Take('/') || !reader.Number(1, 4, fields.year))
        return false;
    const bool blanks = reader.SkipBlanks();
    if (reader.AtEnd())
        return true;
    return blanks && ReadClock(reader, 1, true, fields) && reader.FinishedAfterBlanks();
}

bool ReadTimeOnly(const std::string& text, ParsedFields& fields)
{
    TextReader reader(text);
    reader.SkipBlanks();
    return ReadClock(reader, 1, true, fields) && reader.FinishedAfterBlanks();
}

bool ReadAnyForm(const std::string& text, ParsedFields& fields)
{
    fields = ParsedFields();
    if (ReadIso(text, fields))
        return true;
    fields = ParsedFields();
    if (ReadUsual(text, fields))
        return true;
    fields = ParsedFields();
    return ReadTimeOnly(text, fields);
}
} // namespace

CDateTime::CDateTime() : m_value(0.0), m_status(valid) {}

CDateTime CDateTime::Null()
{
    CDateTime date;
    date.SetStatus(null);
    return date;
}

CDateTime::CDateTime(double oleDate)
    : m_value(oleDate), m_status(IsRepresentable(LinearFromOle(oleDate)) ? valid : invalid)
{
}

CDateTime::CDateTime(int year, int month, int day, int hour, int minute, int second)
    : m_value(0.0), m_status(invalid)
{
    if (!FieldsAreValid(year, month, day, hour, minute, second))
        return;
    const long long dayNumber = DaysFromCivil(year, month, day) + OleEpochShift;
    const double timeOfDay = static_cast<double>(hour * 3600 + minute * 60 + second) / SecondsPerDay;
    m_value = dayNumber >= 0 ? static_cast<double>(dayNumber) + timeOfDay
                             : static_cast<double>(dayNumber) - timeOfDay;
    m_status = valid;
}

CDateTime CDateTime::GetCurrentTime()
{
    const std::time_t now = std::time(nullptr);
    // localtime_r need not look at TZ again by itself.
    tzset();
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr)
        return Invalid();
    return CDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     std::min(local.tm_sec, 59));
}

CDateTime CDateTime::Invalid()
{
    CDateTime result;
    result.m_status = invalid;
    return result;
}

CDateTime CDateTime::FromLinear(double linearDays)
{
    if (!IsRepresentable(linearDays))
        return Invalid();
    return CDateTime(OleFromLinear(linearDays));
}

void CDateTime::SetStatus(Status status)
{
    m_status = (status == valid && !IsRepresentable(Linear())) ? invalid : status;
}

double CDateTime::Linear() const
{
    return LinearFromOle(m_value);
}

long long CDateTime::Milliseconds() const
{
    return std::llround(Linear() * (SecondsPerDay * 1000.0));
}

bool CDateTime::GetFields(Fields& fields) const
{
    if (m_status != valid)
        return false;
    const long long seconds = std::llround(Linear() * SecondsPerDay);
    const long long dayNumber = FloorDiv(seconds, SecondsPerDay);
    const long long secondOfDay = seconds - dayNumber * SecondsPerDay;
    CivilFromDays(dayNumber - OleEpochShift, fields.year, fields.month, fields.day);
    fields.hour = static_cast<int>(secondOfDay / 3600);
    fields.minute = static_cast<int>(secondOfDay / 60 % 60);
    fields.second = static_cast<int>(secondOfDay % 60);
    // Day 0, 30 December 1899, was a Saturday.
    fields.dayOfWeek = static_cast<int>((dayNumber % 7 + 13) % 7) + 1;
    return true;
}

int CDateTime::Field(int Fields::*member) const
{
    Fields fields{};
    return GetFields(fields) ? fields.*member : -1;
}

int CDateTime::GetYear() const
{
    return Field(&Fields::year);
}
int CDateTime::GetMonth() const
{
    return Field(&Fields::month);
}
int CDateTime::GetDay() const
{
    return Field(&Fields::day);
}
int CDateTime::GetHour() const
{
    return Field(&Fields::hour);
}
int CDateTime::GetMinute() const
{
    return Field(&Fields::minute);
}
int CDateTime::GetSecond() const
{
    return Field(&Fields::second);
}
int CDateTime::GetDayOfWeek() const
{
    return Field(&Fields::dayOfWeek);
}

std::string CDateTime::Format() const
{
    if (m_status == null)
        return std::string();
    Fields fields{};
    if (!GetFields(fields))
        return "Invalid DateTime";
    const std::string date =
        std::to_string(fields.month) + "/" + std::to_string(fields.day) + "/" + std::to_string(fields.year);
    const int clockHour = fields.hour % 12 == 0 ? 12 : fields.hour % 12;
    const std::string time = std::to_string(clockHour) + ":" + TwoDigits(fields.minute) + ":" +
                             TwoDigits(fields.second) + (fields.hour < 12 ? " AM" : " PM");
    if (fields.year == 1899 && fields.month == 12 && fields.day == 30)
        return time;
    if (fields.hour == 0 && fields.minute == 0 && fields.second == 0)
        return date;
    return date + " " + time;
}

bool CDateTime::ParseDateTime(const std::string& text)
{
    ParsedFields fields;
    const bool read = ReadAnyForm(text, fields);
    *this = read ? CDateTime(fields.year, fields.month, fields.day, fields.hour, fields.minute, fields.second)
                 : Invalid();
    return m_status == valid;
}

bool CDateTime::operator==(const CDateTime& other) const
{
    if (m_status != valid || other.m_status != valid)
        return m_status == other.m_status;
    return Milliseconds() == other.Milliseconds();
}

bool CDateTime::operator<(const CDateTime& other) const
{
    if (m_status != valid || other.m_status != valid)
        return m_status < other.m_status;
    return Milliseconds() < other.Milliseconds();
}

CDateTime CDateTime::operator+(const CDateTimeSpan& span) const
{
    if (m_status != valid || span.GetStatus() != CDateTimeSpan::valid)
        return Invalid();
    return FromLinear(Linear() + span.GetTotalDays());
}

CDateTime CDateTime::operator-(const CDateTimeSpan& span) const
{
    return *this + -span;
}

CDateTime& CDateTime::operator+=(const CDateTimeSpan& span)
{
    *this = *this + span;
    return *this;
}

CDateTime& CDateTime::operator-=(const CDateTimeSpan& span)
{
    *this = *this - span;
    return *this;
}

CDateTimeSpan CDateTime::operator-(const CDateTime& other) const
{
    CDateTimeSpan span(Linear() - other.Linear());
    if (m_status != valid || other.m_status != valid)
        span.SetStatus(CDateTimeSpan::invalid);
    return span;
}
