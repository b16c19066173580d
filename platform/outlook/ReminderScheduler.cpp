#include <outlook/ReminderScheduler.h>

#include <outlook/ICalTime.h>
#include <outlook/RecurrenceRule.h>

#include <platform/AtomicFile.h>

#include <libical/ical.h>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace outlook {
namespace {
// Bounds the walk through a rule's occurrences when the iterator cannot jump
// close to the present.
constexpr int MaxSteps = 100000;

// The record of reminders given stays small: past occurrences leave it.
constexpr std::size_t MaxRecordBytes = 4u * 1024u * 1024u;
const char* const RecordHeader =
    "# reminders given: occurrence start (seconds since 30 December 1899, local) and item id\n";

// An occurrence counts as started once it is this old, so that a reminder
// set for the start itself, fired a little late, still fires.
const CDateTimeSpan Grace(1.0 / (24.0 * 60.0));

CDateTimeSpan Minutes(long minutes)
{
    return CDateTimeSpan(static_cast<double>(minutes) / (24.0 * 60.0));
}

class COccurrences {
public:
    COccurrences(const CAppointmentData& data, const CDateTime& from)
    {
        icalrecurrencetype rule;
        std::string reason;
        if (!CRecurrenceRule::FromPattern(data.pattern, rule, reason))
            return;
        m_iterator = icalrecur_iterator_new(rule, CICalTime::FromLocal(data.start));
        // Jumping ahead saves walking a long series from its start; a day
        // of slack keeps the present's own occurrences in view.
        if (m_iterator && from > data.start)
            icalrecur_iterator_set_start(m_iterator, CICalTime::FromLocal(from - CDateTimeSpan(1.0)));
    }
    ~COccurrences()
    {
        if (m_iterator)
            icalrecur_iterator_free(m_iterator);
    }
    COccurrences(const COccurrences&) = delete;
    COccurrences& operator=(const COccurrences&) = delete;

    bool Next(CDateTime& occurrence)
    {
        if (!m_iterator || ++m_steps > MaxSteps)
            return false;
        const icaltimetype next = icalrecur_iterator_next(m_iterator);
        if (icaltime_is_null_time(next))
            return false;
        occurrence = CICalTime::ToLocal(next);
        return occurrence.GetStatus() == CDateTime::valid;
    }

private:
    icalrecur_iterator* m_iterator = nullptr;
    int m_steps = 0;
};
} // namespace

CReminderScheduler::CReminderScheduler(CEventLoop& loop, FireCallback fire, Clock now)
    : m_loop(loop), m_fire(std::move(fire)), m_now(std::move(now))
{
}

CReminderScheduler::~CReminderScheduler()
{
    if (m_timer != CEventLoop::kNoTimer)
        m_loop.KillTimer(m_timer);
}

CDateTime CReminderScheduler::Now() const
{
    return m_now ? m_now() : CDateTime::GetCurrentTime();
}

long long CReminderScheduler::Key(const CDateTime& time)
{
    return std::llround(time.GetValue() * 86400.0);
}

bool CReminderScheduler::HasReminder(const CStoredItem& item)
{
    const CAppointmentData* data = std::get_if<CAppointmentData>(&item.data);
    return data && data->reminderSet && data->start.GetStatus() == CDateTime::valid;
}

void CReminderScheduler::SetRecordFile(std::string path)
{
    m_recordFile = std::move(path);
    LoadRecord();
    Arm();
}

void CReminderScheduler::LoadRecord()
{
    std::string text, error;
    bool exists = false;
    if (m_recordFile.empty() || !CAtomicFile(m_recordFile, MaxRecordBytes).Read(text, exists, error))
        return;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        long long key = 0;
        std::string id;
        if (line.empty() || line[0] == '#' || !(fields >> key) || fields.get() != ' ' ||
            !std::getline(fields, id) || id.empty())
            continue;
        m_fired.insert(Fired(id, key));
    }
}

// Ids that would break the line format are left out: such an occurrence is
// only remembered for this run.
void CReminderScheduler::SaveRecord() const
{
    if (m_recordFile.empty())
        return;
    std::string text = RecordHeader;
    for (const Fired& fired : m_fired)
        if (fired.first.find_first_of("\r\n") == std::string::npos && !fired.first.empty())
            text += std::to_string(fired.second) + " " + fired.first + "\n";
    std::string error;
    CAtomicFile(m_recordFile, MaxRecordBytes).Replace(text, error);
}

void CReminderScheduler::SetItems(const std::vector<CStoredItem>& items)
{
    // A large calendar has most of its items without a reminder; copying
    // them all would double the memory the items take.
    std::vector<CStoredItem> reminded;
    reminded.reserve(static_cast<std::size_t>(std::count_if(items.begin(), items.end(), HasReminder)));
    for (const CStoredItem& item : items)
        if (HasReminder(item))
            reminded.push_back(item);
    m_items = std::move(reminded);
    Arm();
}

void CReminderScheduler::AddItem(const CStoredItem& item)
{
    if (!HasReminder(item))
        return;
    m_items.push_back(item);
    const CDateTime now = Now();
    Due due;
    if (NextDue(item, now, due) && (m_timer == CEventLoop::kNoTimer || due.reminder < m_armedFor))
        ArmFor(now, due.reminder);
}

void CReminderScheduler::Reschedule()
{
    Arm();
}

bool CReminderScheduler::NextDue(const CStoredItem& item, const CDateTime& now, Due& due) const
{
    if (!HasReminder(item))
        return false;
    const CAppointmentData* data = std::get_if<CAppointmentData>(&item.data);
    const long minutes = data->reminderMinutesBeforeStart > 0 ? data->reminderMinutesBeforeStart : 0;
    const auto candidate = [&](const CDateTime& occurrence) {
        if (occurrence + Grace <= now || m_fired.count(Fired(item.id, Key(occurrence))))
            return false;
        due.occurrence = occurrence;
        due.reminder = occurrence - Minutes(minutes);
        return true;
    };
    if (!data->isRecurring)
        return candidate(data->start);
    const CDateTime horizon = now + CDateTimeSpan(static_cast<double>(LookAheadDays));
    COccurrences occurrences(*data, now - Grace);
    CDateTime occurrence;
    while (occurrences.Next(occurrence) && occurrence <= horizon)
        if (candidate(occurrence))
            return true;
    return false;
}

bool CReminderScheduler::Earliest(const CDateTime& now, Due& due) const
{
    bool found = false;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        Due next;
        if (!NextDue(m_items[i], now, next))
            continue;
        if (!found || next.reminder < due.reminder) {
            due = next;
            due.index = i;
            found = true;
        }
    }
    return found;
}

CDateTime CReminderScheduler::GetNextReminderTime() const
{
    Due due;
    if (Earliest(Now(), due))
        return due.reminder;
    CDateTime none;
    none.SetStatus(CDateTime::invalid);
    return none;
}

void CReminderScheduler::Arm()
{
    if (m_timer != CEventLoop::kNoTimer)
        m_loop.KillTimer(m_timer);
    m_timer = CEventLoop::kNoTimer;
    const CDateTime now = Now();
    Due due;
    if (Earliest(now, due))
        ArmFor(now, due.reminder);
}

void CReminderScheduler::ArmFor(const CDateTime& now, const CDateTime& reminder)
{
    if (m_timer != CEventLoop::kNoTimer)
        m_loop.KillTimer(m_timer);
    const double ms = std::ceil((reminder - now).GetTotalDays() * 86400000.0);
    const unsigned delay = ms <= 0 ? 0u : ms >= MaxTimerMs ? MaxTimerMs : static_cast<unsigned>(ms);
    m_armedFor = reminder;
    m_timer = m_loop.AddTimer(delay, false, [this](CEventLoop::TimerId) { OnTimer(); });
}

void CReminderScheduler::Forget(const CDateTime& now)
{
    const long long present = Key(now - Grace);
    for (auto fired = m_fired.begin(); fired != m_fired.end();)
        fired = fired->second < present ? m_fired.erase(fired) : std::next(fired);
}

void CReminderScheduler::OnTimer()
{
    m_timer = CEventLoop::kNoTimer;
    const CDateTime now = Now();
    Forget(now);
    // Everything due is marked fired before anyone hears of it, so that a
    // listener that changes the calendar cannot have it fired again.
    std::vector<CStoredItem> due;
    for (const CStoredItem& item : m_items) {
        Due next;
        while (NextDue(item, now, next) && next.reminder <= now) {
            m_fired.insert(Fired(item.id, Key(next.occurrence)));
            CStoredItem occurrence = item;
            std::get<CAppointmentData>(occurrence.data).start = next.occurrence;
            due.push_back(std::move(occurrence));
        }
    }
    if (!due.empty())
        SaveRecord();
    for (const CStoredItem& item : due)
        m_fire(item);
    if (m_timer == CEventLoop::kNoTimer)
        Arm();
}
} // namespace outlook
