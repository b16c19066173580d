#include "SettingRules.h"

#include <platform/DateTime.h>
#include <platform/TimeZone.h>

#include <cctype>
#include <cstring>

namespace {

enum class Kind { Switch, Number, Time, Zone, Text, WebAddress, BrowserAddress, Store };

struct SRule {
    const char* name;
    Kind kind;
    long low;
    long high;
};

const SRule Rules[] = {
    {"ImportScheduleAlert", Kind::Switch, 0, 0},
    {"MeetingScheduleLongAlert", Kind::Switch, 0, 0},
    {"MeetingScheduleShortAlert", Kind::Switch, 0, 0},
    {"ReminderAlert", Kind::Switch, 0, 0},
    {"EmailAlert", Kind::Switch, 0, 0},
    {"AgentAlert", Kind::Switch, 0, 0},
    {"BalloonToolTips", Kind::Switch, 0, 0},
    {"StartMinimized", Kind::Switch, 0, 0},
    {"Debug", Kind::Switch, 0, 0},
    {"AutoLoadSchedule", Kind::Switch, 0, 0},
    {"AutoInvokeSchedule", Kind::Switch, 0, 0},
    {"PeerFetchLocalAddresses", Kind::Switch, 0, 0},
    {"TrustUnauthenticatedContacts", Kind::Switch, 0, 0},
    {"ANSRegistered", Kind::Switch, 0, 0},
    {"MorningBounds", Kind::Switch, 0, 0},
    {"EveningBounds", Kind::Switch, 0, 0},
    {"WeekendBounds", Kind::Switch, 0, 0},
    {"MeetingSchedulingType", Kind::Number, 0, 2},
    {"ANSPort", Kind::Number, 1, 65535},
    {"TotalTimeConsts", Kind::Number, 0, 100000},
    {"ScheduleRefreshHours", Kind::Number, 1, 8760},
    {"MorningTime", Kind::Time, 0, 0},
    {"EveningTime", Kind::Time, 0, 0},
    {"TimeZone", Kind::Zone, 0, 0},
    {"ScheduleServiceURL", Kind::WebAddress, 0, 0},
    {"CalDAVURL", Kind::WebAddress, 0, 0},
    {"CardDAVURL", Kind::WebAddress, 0, 0},
    {"CalDAVPollSeconds", Kind::Number, 1, 86400},
    {"CalDAVUser", Kind::Text, 0, 0},
    {"CalendarStore", Kind::Store, 0, 0},
    {"EmailAlertString", Kind::Text, 0, 0},
    {"AgentAlertString", Kind::Text, 0, 0},
    {"Email", Kind::Text, 0, 0},
    {"AgentName", Kind::Text, 0, 0},
    {"ANSHost", Kind::Text, 0, 0},
    {"InstallDir", Kind::Text, 0, 0},
    {"SMTPServer", Kind::Text, 0, 0},
    {"SMTPUser", Kind::Text, 0, 0},
    {"SMTPPassword", Kind::Text, 0, 0},
    {"MailFrom", Kind::Text, 0, 0},
};

bool SameIgnoringCase(const std::string& a, const char* b)
{
    if (a.size() != std::strlen(b))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The schedule browser's remembered addresses: URL1 to URL20.
bool IsBrowserAddress(const std::string& name)
{
    if (name.size() < 4 || !SameIgnoringCase(name.substr(0, 3), "URL"))
        return false;
    const std::string number = name.substr(3);
    if (number.size() > 2 || number[0] == '0' || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int n = std::stoi(number);
    return n >= 1 && n <= 20;
}

const SRule* Find(const std::string& name)
{
    for (const SRule& rule : Rules) {
        if (SameIgnoringCase(name, rule.name))
            return &rule;
    }
    static const SRule Address{"URL", Kind::BrowserAddress, 0, 0};
    return IsBrowserAddress(name) ? &Address : nullptr;
}

std::string CheckNumber(const SRule& rule, const std::string& value)
{
    const std::string range = std::to_string(rule.low) + " to " + std::to_string(rule.high);
    if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
        return std::string(rule.name) + " takes a whole number from " + range + ", not \"" + value + "\"";
    const long number = std::stol(value);
    if (number < rule.low || number > rule.high)
        return std::string(rule.name) + " takes a number from " + range + "; " + value + " is out of range";
    return std::string();
}

std::string CheckTime(const SRule& rule, const std::string& value)
{
    CDateTime time;
    if (!time.ParseDateTime(value))
        return std::string(rule.name) + " takes a time of day such as 8:00:00 or 6:30:00 PM, not \"" + value +
               "\"";
    return std::string();
}

} // namespace

const char* const CSettingRules::SettingsKey = "Software\\ORVANTE\\CalendarAgent";

bool CSettingRules::AppliesTo(const std::string& key)
{
    std::string trimmed = key;
    while (!trimmed.empty() && trimmed.back() == '\\')
        trimmed.pop_back();
    return SameIgnoringCase(trimmed, SettingsKey);
}

std::string CSettingRules::Check(const std::string& name, const std::string& value)
{
    const SRule* rule = Find(name);
    if (!rule)
        return "the calendar agent reads no value named " + name;
    switch (rule->kind) {
    case Kind::Switch:
        if (value == "true" || value == "false")
            return std::string();
        return std::string(rule->name) + " is a switch: true or false, not \"" + value + "\"";
    case Kind::Number:
        return CheckNumber(*rule, value);
    case Kind::Time:
        return CheckTime(*rule, value);
    case Kind::Zone:
        if (value.empty() || CTimeZone::Named(value))
            return std::string();
        return std::string(rule->name) +
               " takes a time zone name of the zone database such as Europe/Berlin, not \"" + value + "\"";
    case Kind::WebAddress:
        if (value.empty() || ((value.rfind("http://", 0) == 0 || value.rfind("https://", 0) == 0) &&
                              value.find_first_of(" \t\r\n") == std::string::npos))
            return std::string();
        return std::string(rule->name) + " takes an http:// or https:// address without blanks, not \"" +
               value + "\"";
    case Kind::Store:
        if (value.empty() || SameIgnoringCase(value, "file") || SameIgnoringCase(value, "caldav"))
            return std::string();
        return std::string(rule->name) + " is file or caldav, not \"" + value + "\"";
    case Kind::Text:
    case Kind::BrowserAddress:
        return std::string();
    }
    return std::string();
}
