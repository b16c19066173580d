#include "ProcessFigures.h"

#include <ctime>

namespace benchsupport {

namespace {

constexpr const char* CalendarHead = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Orvante//bench//EN\r\n";
constexpr const char* CalendarTail = "END:VCALENDAR\r\n";

void WriteEvent(std::ostream& out, int i)
{
    const int day = i % 365;
    struct tm date {};
    date.tm_year = 127;
    date.tm_mon = 0;
    date.tm_mday = 4 + day;
    date.tm_hour = 12;
    std::mktime(&date);
    const std::string ymd =
        std::to_string(date.tm_year + 1900) + TwoDigits(date.tm_mon + 1) + TwoDigits(date.tm_mday);
    const int hour = 8 + (i / 365) % 10;
    out << "BEGIN:VEVENT\r\nUID:bench-" << i << "@orvante\r\nDTSTAMP:20261201T000000Z\r\n"
        << "DTSTART:" << ymd << "T" << TwoDigits(hour) << "0000\r\n"
        << "DTEND:" << ymd << "T" << TwoDigits(hour) << "4500\r\n"
        << "SUMMARY:Meeting " << i << "\r\nLOCATION:Room " << i % 40 << "\r\n"
        << "DESCRIPTION:Generated event number " << i << " for the start-up benchmark\r\n";
    if (i % 10 == 0)
        out << "RRULE:FREQ=WEEKLY;BYDAY=MO,WE;COUNT=20\r\n";
    if (i % 3 == 0)
        out << "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\nTRIGGER:-PT15M\r\nEND:"
               "VALARM\r\n";
    out << "END:VEVENT\r\n";
}

} // namespace

std::string GenerateCalendar(int events)
{
    std::ostringstream out;
    out << CalendarHead;
    for (int i = 0; i < events; ++i)
        WriteEvent(out, i);
    out << CalendarTail;
    return out.str();
}

std::string GenerateEventCalendar(int event)
{
    std::ostringstream out;
    out << CalendarHead;
    WriteEvent(out, event);
    out << CalendarTail;
    return out.str();
}

} // namespace benchsupport
