#include <platform/UserTimeFormat.h>

#include <clocale>
#include <ctime>
#include <locale.h>

namespace {

CUserTimeFormat* g_current = nullptr;

// The user's LC_TIME without touching the process's global locale, which
// number parsing elsewhere relies on staying "C".
locale_t UserTimeLocale()
{
    static const locale_t user = [] {
        locale_t made = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
        return made ? made : newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    }();
    return user;
}

bool SameDay(const CDateTime& one, const CDateTime& other)
{
    return one.GetYear() == other.GetYear() && one.GetMonth() == other.GetMonth() &&
           one.GetDay() == other.GetDay();
}

} // namespace

CUserTimeFormat::~CUserTimeFormat() = default;

std::string CUserTimeFormat::Strftime(const CDateTime& at, const char* pattern) const
{
    CDateTime::Fields fields{};
    if (!at.GetFields(fields))
        return at.Format();
    std::tm broken{};
    broken.tm_year = fields.year - 1900;
    broken.tm_mon = fields.month - 1;
    broken.tm_mday = fields.day;
    broken.tm_hour = fields.hour;
    broken.tm_min = fields.minute;
    broken.tm_sec = fields.second;
    broken.tm_wday = fields.dayOfWeek - 1;
    char text[128];
    const std::size_t length = strftime_l(text, sizeof text, pattern, &broken, UserTimeLocale());
    return std::string(text, length);
}

std::string CUserTimeFormat::FormatDateTime(const CDateTime& at) const
{
    return Strftime(at, "%x %H:%M");
}

std::string CUserTimeFormat::FormatDate(const CDateTime& at) const
{
    return Strftime(at, "%x");
}

std::string CUserTimeFormat::FormatTime(const CDateTime& at) const
{
    return Strftime(at, "%H:%M");
}

std::string CUserTimeFormat::FormatDay(const CDateTime& at) const
{
    return Strftime(at, "%a %-d %b");
}

std::string CUserTimeFormat::FormatSpan(const CDateTime& start, const CDateTime& end) const
{
    const std::string from = FormatDay(start) + " " + FormatTime(start);
    if (end.GetStatus() != CDateTime::valid || end <= start)
        return from;
    if (SameDay(start, end))
        return from + "-" + FormatTime(end);
    return from + " - " + FormatDay(end) + " " + FormatTime(end);
}

CUserTimeFormat& CUserTimeFormat::Current()
{
    static CUserTimeFormat locale;
    return g_current ? *g_current : locale;
}

CUserTimeFormat* CUserTimeFormat::SetCurrent(CUserTimeFormat* format)
{
    CUserTimeFormat* previous = g_current;
    g_current = format;
    return previous;
}
