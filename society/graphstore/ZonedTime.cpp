#include <graphstore/ZonedTime.h>

#include <platform/DateTime.h>
#include <platform/TimeZone.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <regex>

namespace zonedtime {

std::string ZoneOfDatatype(const std::string& datatype)
{
    static const std::string Prefix = "http://www.w3.org/2002/12/cal/tzd/";
    if (datatype.rfind(Prefix, 0) != 0)
        return std::string();
    const std::string rest = datatype.substr(Prefix.size());
    return rest.substr(0, rest.find('#'));
}

std::string ToUtcText(const std::string& text, const std::string& zone)
{
    static const std::regex local(
        R"(\s*(\d{4})-?(\d{2})-?(\d{2})[T ](\d{2}):?(\d{2})(?::?(\d{2}))?(?:\.\d+)?\s*)");
    std::smatch match;
    const std::optional<CTimeZone> found = CTimeZone::Named(zone);
    if (!found || !std::regex_match(text, match, local))
        return text;
    const CDateTime wall(std::stoi(match[1]), std::stoi(match[2]), std::stoi(match[3]), std::stoi(match[4]),
                         std::stoi(match[5]), match[6].length() ? std::stoi(match[6]) : 0);
    const std::optional<long long> instant = found->ToInstant(wall);
    if (wall.GetStatus() != CDateTime::valid || !instant)
        return text;
    const std::time_t seconds = static_cast<std::time_t>(*instant);
    std::tm utc{};
    if (!gmtime_r(&seconds, &utc))
        return text;
    char written[64];
    std::snprintf(written, sizeof written, "%04d%02d%02dT%02d%02d%02dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return WithZoneName(written, found->Name());
}

std::string WithZoneName(const std::string& utcText, const std::string& zone)
{
    const std::optional<CTimeZone> found = CTimeZone::Named(zone);
    const std::string name = found ? found->Name() : zone;
    const bool fits =
        !name.empty() && name.size() <= 64 &&
        std::all_of(name.begin(), name.end(), [](unsigned char c) { return c >= ' ' && c != 0x7f; }) &&
        name.find_first_of("[]") == std::string::npos;
    return fits ? utcText + "[" + name + "]" : utcText;
}

} // namespace zonedtime
