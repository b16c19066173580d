#pragma once

// The events of an iCalendar file as the process tests compare them, read
// with libical itself rather than with the agent's own reader, so that what
// the agent writes is checked by an independent parser.

#include <libical/ical.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace vesperaprocess {

// One VEVENT. Times are local wall-clock times as "YYYY-MM-DD HH:MM:SS"
// (a date alone as "YYYY-MM-DD"): zoned and UTC times are converted, floating
// ones taken as they stand.
struct SCalendarEvent {
    std::string uid;
    std::string summary;
    std::string location;
    std::string description;
    std::string start;
    std::string end;
    // Minutes before the start of the first alarm; -1 without one.
    long alarmMinutes = -1;
    // The component as libical writes it.
    std::string text;
};

class CCalendarEvents {
public:
    // The events of the file at `path`; false with the reason when it cannot
    // be read or is no calendar.
    static bool Read(const std::filesystem::path& path, std::vector<SCalendarEvent>& events,
                     std::string& error)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            error = "cannot open " + path.string();
            return false;
        }
        std::stringstream text;
        text << in.rdbuf();
        return Parse(text.str(), events, error);
    }

    static bool Parse(const std::string& text, std::vector<SCalendarEvent>& events, std::string& error)
    {
        events.clear();
        std::unique_ptr<icalcomponent, void (*)(icalcomponent*)> root(icalparser_parse_string(text.c_str()),
                                                                      icalcomponent_free);
        icalerror_clear_errno();
        if (!root || icalcomponent_isa(root.get()) != ICAL_VCALENDAR_COMPONENT) {
            error = "no VCALENDAR";
            return false;
        }
        for (icalcomponent* event = icalcomponent_get_first_component(root.get(), ICAL_VEVENT_COMPONENT);
             event; event = icalcomponent_get_next_component(root.get(), ICAL_VEVENT_COMPONENT))
            events.push_back(ToEvent(event));
        return true;
    }

    // The events whose summary is `summary`.
    static std::vector<SCalendarEvent> WithSummary(const std::vector<SCalendarEvent>& events,
                                                   const std::string& summary)
    {
        std::vector<SCalendarEvent> found;
        for (const SCalendarEvent& event : events) {
            if (event.summary == summary)
                found.push_back(event);
        }
        return found;
    }

private:
    static SCalendarEvent ToEvent(icalcomponent* event)
    {
        SCalendarEvent result;
        result.uid = Text(icalcomponent_get_uid(event));
        result.summary = Text(icalcomponent_get_summary(event));
        result.location = Text(icalcomponent_get_location(event));
        result.description = Text(icalcomponent_get_description(event));
        result.start = LocalText(icalcomponent_get_dtstart(event));
        result.end = LocalText(icalcomponent_get_dtend(event));
        result.alarmMinutes = AlarmMinutes(event);
        char* text = icalcomponent_as_ical_string_r(event);
        result.text = Text(text);
        free(text);
        return result;
    }

    static std::string Text(const char* text) { return text ? text : ""; }

    static long AlarmMinutes(icalcomponent* event)
    {
        icalcomponent* alarm = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT);
        icalproperty* trigger =
            alarm ? icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY) : nullptr;
        if (!trigger)
            return -1;
        return -icaldurationtype_as_int(icalproperty_get_trigger(trigger).duration) / 60;
    }

    static std::string LocalText(const icaltimetype& time)
    {
        if (icaltime_is_null_time(time))
            return std::string();
        char text[32];
        if (time.is_date) {
            std::snprintf(text, sizeof text, "%04d-%02d-%02d", time.year, time.month, time.day);
            return text;
        }
        int year = time.year, month = time.month, day = time.day;
        int hour = time.hour, minute = time.minute, second = time.second;
        if (icaltime_is_utc(time) || time.zone) {
            const icaltimezone* zone = icaltime_is_utc(time) ? icaltimezone_get_utc_timezone() : time.zone;
            const time_t instant = icaltime_as_timet_with_zone(time, zone);
            std::tm local{};
            localtime_r(&instant, &local);
            year = local.tm_year + 1900;
            month = local.tm_mon + 1;
            day = local.tm_mday;
            hour = local.tm_hour;
            minute = local.tm_min;
            second = local.tm_sec;
        }
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute,
                      second);
        return text;
    }
};

} // namespace vesperaprocess
