#pragma once

// The numbers of the calendar program's object model, with its published
// values, so that code written against that model reads the same here.

namespace outlook {
enum OlDefaultFolders {
    olFolderCalendar = 9,
    olFolderContacts = 10,
};

enum OlItemType {
    olMailItem = 0,
    olAppointmentItem = 1,
    olContactItem = 2,
    olTaskItem = 3,
    olJournalItem = 4,
    olNoteItem = 5,
    olPostItem = 6,
    olDistributionListItem = 7,
};

enum OlBusyStatus {
    olFree = 0,
    olTentative = 1,
    olBusy = 2,
    olOutOfOffice = 3,
};

// 4 has no meaning in the model and is never produced.
enum OlRecurrenceType {
    olRecursDaily = 0,
    olRecursWeekly = 1,
    olRecursMonthly = 2,
    olRecursMonthNth = 3,
    olRecursYearly = 5,
    olRecursYearNth = 6,
};

enum OlDaysOfWeek {
    olSunday = 1,
    olMonday = 2,
    olTuesday = 4,
    olWednesday = 8,
    olThursday = 16,
    olFriday = 32,
    olSaturday = 64,
};

// The day-of-week masks a monthly or yearly "nth" pattern uses for "the nth
// weekday", "the nth weekend day" and "the nth day".
constexpr long olWeekdayMask = olMonday | olTuesday | olWednesday | olThursday | olFriday;
constexpr long olWeekendDayMask = olSunday | olSaturday;
constexpr long olEveryDayMask = olWeekdayMask | olWeekendDayMask;
static_assert(olWeekdayMask == 62 && olWeekendDayMask == 65 && olEveryDayMask == 127,
              "the masks keep their published values");
} // namespace outlook
