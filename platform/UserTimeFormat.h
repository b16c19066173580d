#pragma once

#include <platform/DateTime.h>

#include <string>

// How dates and times are written for the user to read: the form their
// locale gives, the same in the window, its balloons and its boxes. Texts
// other agents read keep CDateTime::Format's fixed form. The windowed
// program installs its toolkit's locale form; the default follows LC_TIME
// through the C library. One form is current per process.
class CUserTimeFormat {
public:
    virtual ~CUserTimeFormat();

    // Date and time of day ("09/12/2026 14:30"); a midnight keeps its time.
    virtual std::string FormatDateTime(const CDateTime& at) const;
    virtual std::string FormatDate(const CDateTime& at) const;
    virtual std::string FormatTime(const CDateTime& at) const;
    // A short day name with the day and month ("Thu 10 Dec").
    virtual std::string FormatDay(const CDateTime& at) const;

    // "Thu 10 Dec 11:30-12:30"; an end on another day is written in full.
    std::string FormatSpan(const CDateTime& start, const CDateTime& end) const;

    static CUserTimeFormat& Current();
    // Installs a borrowed form (null restores the default) and returns the
    // previous installation (null for the default).
    static CUserTimeFormat* SetCurrent(CUserTimeFormat* format);

private:
    std::string Strftime(const CDateTime& at, const char* pattern) const;
};
