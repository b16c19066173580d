#include <slotbook/Day.h>

#include <slotbook/Narrow.h>

#include <cstdlib>

namespace {
constexpr int WeekdayCount = 7;

const char* const FullNames[WeekdayCount] = {"Sunday ",   "Monday ", "Tuesday ", "Wednesday ",
                                             "Thursday ", "Friday ", "Saturday "};
const char* const ShortNames[WeekdayCount] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

std::string JoinNames(unsigned days, const char* const names[], const char* none)
{
    std::string text;
    for (int i = 0; i < WeekdayCount; ++i) {
        if (days & (1u << i))
            text += names[i];
    }
    return text.empty() ? std::string(none) : text;
}
} // namespace

CDay::CDay() : days(0) {}

CDay::CDay(int bits) : days(static_cast<unsigned>(bits)) {}

CDay::~CDay() = default;

// atoi reads the same digits but has no defined result on overflow, so the
// number is read wide and held to the int range.
int CDay::LeadingInteger(const std::string& text)
{
    return slotbook::ClampToInt(std::strtoll(text.c_str(), nullptr, 10));
}

unsigned CDay::BitsOf(const CDay* set)
{
    return set != nullptr ? set->days : 0u;
}

void CDay::SetDays(unsigned bits)
{
    days = bits;
}

void CDay::SetDays(const std::string& text)
{
    days = static_cast<unsigned>(LeadingInteger(text));
}

int CDay::GetDays() const
{
    return static_cast<int>(days);
}

void CDay::AddDays(const CDay& set)
{
    AddDays(set.days);
}
void CDay::AddDays(const CDay* set)
{
    AddDays(BitsOf(set));
}
void CDay::AddDays(unsigned set)
{
    days |= set;
}

void CDay::RemoveDays(const CDay& set)
{
    RemoveDays(set.days);
}
void CDay::RemoveDays(const CDay* set)
{
    RemoveDays(BitsOf(set));
}
void CDay::RemoveDays(unsigned set)
{
    days ^= set;
}

void CDay::RemoveCommonDays(const CDay& set)
{
    RemoveCommonDays(set.days);
}
void CDay::RemoveCommonDays(const CDay* set)
{
    RemoveCommonDays(BitsOf(set));
}
void CDay::RemoveCommonDays(unsigned set)
{
    days ^= (days & set);
}

bool CDay::ContainsDays(const CDay& set) const
{
    return ContainsDays(set.days);
}
bool CDay::ContainsDays(const CDay* set) const
{
    return ContainsDays(BitsOf(set));
}
bool CDay::ContainsDays(unsigned set) const
{
    return (days & set) == set;
}

bool CDay::ContainsMFCDays(int dayNumber) const
{
    const unsigned bit = MFC2CDays(dayNumber);
    return bit != 0 && ContainsDays(bit);
}

unsigned CDay::MFC2CDays(int dayNumber)
{
    if (dayNumber < 1 || dayNumber > WeekdayCount)
        return 0;
    return 1u << (dayNumber - 1);
}

bool CDay::Intersect(const CDay& set) const
{
    return Intersect(set.days);
}
bool CDay::Intersect(const CDay* set) const
{
    return Intersect(BitsOf(set));
}
bool CDay::Intersect(unsigned set) const
{
    return (days & set) != 0;
}

unsigned CDay::GetCommonDays(const CDay& set) const
{
    return GetCommonDays(set.days);
}
unsigned CDay::GetCommonDays(const CDay* set) const
{
    return GetCommonDays(BitsOf(set));
}
unsigned CDay::GetCommonDays(unsigned set) const
{
    return days & set;
}

bool CDay::operator==(const CDay& other) const
{
    return days == other.days;
}

CDay& CDay::operator=(const CDay& other)
{
    days = other.days;
    return *this;
}

CDay& CDay::operator=(const CDay* other)
{
    days = BitsOf(other);
    return *this;
}

std::string CDay::GetDaysStr() const
{
    return std::to_string(GetDays());
}

std::string CDay::ToString() const
{
    return JoinNames(days, FullNames, "No Days");
}

std::string CDay::ToStringAbb() const
{
    return JoinNames(days, ShortNames, "N");
}
