#pragma once

#include <outlook/StoredItem.h>

#include <platform/DateTime.h>
#include <platform/EventLoop.h>

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace outlook {
// Fires the reminders of a calendar's items from an event loop: once for
// each occurrence, at its start minus ReminderMinutesBeforeStart, recurring
// items included. One timer is set, to the next reminder due (at most an
// hour ahead, so that a change of the clock is noticed).
//
// An occurrence that has started (a minute ago, so that a reminder at the
// start itself still fires) is never reminded of. So a reminder whose
// time passed while nobody was watching (the agent was not running, the
// item was added late) fires at once if its occurrence is still to come,
// and is dropped if the occurrence has begun. An occurrence fires once
// however often the items are replaced (a reload, an added item), as long
// as it keeps its id and start.
//
// The item handed to `fire` is a copy whose start is the occurrence's start.
//
// With a record file, the occurrences already reminded of are kept there as
// well, so that a restart of the program does not remind of them again.
class CReminderScheduler {
public:
    using FireCallback = std::function<void(const CStoredItem& item)>;
    using Clock = std::function<CDateTime()>;

    // Occurrences further ahead than this are not looked for.
    static constexpr int LookAheadDays = 366 * 5;
    // The longest the timer is set for.
    static constexpr unsigned MaxTimerMs = 60u * 60u * 1000u;

    // `now` gives the local wall-clock time; CDateTime::GetCurrentTime when
    // empty.
    CReminderScheduler(CEventLoop& loop, FireCallback fire, Clock now = Clock());
    ~CReminderScheduler();

    CReminderScheduler(const CReminderScheduler&) = delete;
    CReminderScheduler& operator=(const CReminderScheduler&) = delete;

    // Reads the occurrences already reminded of from `path` (a missing or
    // unreadable file means none) and writes them there after every
    // reminder. Lines it cannot read are ignored.
    void SetRecordFile(std::string path);

    // The calendar's items now; reminders due are fired from the loop, not
    // from inside this call. Only the items with a reminder are kept.
    void SetItems(const std::vector<CStoredItem>& items);
    // One item added to the calendar: only it is looked at, and the timer
    // moves only when its reminder comes before the one armed.
    void AddItem(const CStoredItem& item);
    // Looks at the clock again (after it was changed, or a test moved it).
    void Reschedule();

    // The time of the next reminder, invalid when none is due in the
    // look-ahead.
    CDateTime GetNextReminderTime() const;
    bool IsTimerSet() const { return m_timer != CEventLoop::kNoTimer; }

private:
    struct Due {
        std::size_t index = 0;
        CDateTime occurrence;
        CDateTime reminder;
    };
    using Fired = std::pair<EntryId, long long>;

    CDateTime Now() const;
    static bool HasReminder(const CStoredItem& item);
    bool NextDue(const CStoredItem& item, const CDateTime& now, Due& due) const;
    bool Earliest(const CDateTime& now, Due& due) const;
    void Arm();
    void ArmFor(const CDateTime& now, const CDateTime& reminder);
    void OnTimer();
    void Forget(const CDateTime& now);
    static long long Key(const CDateTime& time);
    void LoadRecord();
    void SaveRecord() const;

    CEventLoop& m_loop;
    FireCallback m_fire;
    Clock m_now;
    std::vector<CStoredItem> m_items;
    std::set<Fired> m_fired;
    std::string m_recordFile;
    CEventLoop::TimerId m_timer = CEventLoop::kNoTimer;
    // The reminder the timer is armed for.
    CDateTime m_armedFor;
};
} // namespace outlook
