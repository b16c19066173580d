#pragma once

#include <string>

// A set of weekdays as a bit set: 1 Sunday, 2 Monday, 4 Tuesday, 8 Wednesday,
// 16 Thursday, 32 Friday, 64 Saturday (the same values as a calendar's
// day-of-week mask; 62 is Monday to Friday, 65 the weekend, 127 every day).
// "MFC day numbers" run 1 (Sunday) to 7 (Saturday), as the date-time value's
// day of week does; day number n is bit 2^(n-1).
//
// Every operation that takes a set accepts it as a reference, a pointer (a
// null pointer is the empty set) or a plain bit set.
class CDay {
public:
    CDay();
    CDay(int days);
    CDay(const CDay& other) = default;
    virtual ~CDay();

    void SetDays(unsigned days);
    // Reads leading decimal digits with an optional sign, as atoi does; text
    // without digits gives 0.
    void SetDays(const std::string& text);
    int GetDays() const;

    void AddDays(const CDay& set);
    void AddDays(const CDay* set);
    void AddDays(unsigned set);

    // Flips every day named in the set: a named day that was absent is added.
    void RemoveDays(const CDay& set);
    void RemoveDays(const CDay* set);
    void RemoveDays(unsigned set);

    // Removes exactly the days that are in both.
    void RemoveCommonDays(const CDay& set);
    void RemoveCommonDays(const CDay* set);
    void RemoveCommonDays(unsigned set);

    // True when every day of the set is here; the empty set always is.
    bool ContainsDays(const CDay& set) const;
    bool ContainsDays(const CDay* set) const;
    bool ContainsDays(unsigned set) const;

    bool ContainsMFCDays(int dayNumber) const;
    // The bit of a day number 1..7; 0 for any other number.
    static unsigned MFC2CDays(int dayNumber);

    bool Intersect(const CDay& set) const;
    bool Intersect(const CDay* set) const;
    bool Intersect(unsigned set) const;

    unsigned GetCommonDays(const CDay& set) const;
    unsigned GetCommonDays(const CDay* set) const;
    unsigned GetCommonDays(unsigned set) const;

    bool operator==(const CDay& other) const;
    bool operator!=(const CDay& other) const { return !(*this == other); }
    CDay& operator=(const CDay& other);
    CDay& operator=(const CDay* other);

    // The bit set in decimal ("62" for Monday to Friday).
    std::string GetDaysStr() const;
    // "Monday Friday " (each name followed by a blank), or "No Days".
    std::string ToString() const;
    // "MonWedFri" (abbreviations run together), or "N".
    std::string ToStringAbb() const;

protected:
    static unsigned BitsOf(const CDay* set);
    // The leading decimal integer of a text as atoi reads it, held to the int
    // range; 0 when there are no digits.
    static int LeadingInteger(const std::string& text);

    unsigned days;
};
