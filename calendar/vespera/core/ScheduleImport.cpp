#include <vespera/core/ScheduleImport.h>

#include <vespera/core/AgentContext.h>
#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/CalendarBridge.h>
#include <vespera/core/ImportedItems.h>
#include <vespera/core/KqmlFields.h>
#include <vespera/core/WebPage.h>

#include <eventview/RDFCalendar.h>

#include <outlook/Application.h>
#include <outlook/AppointmentItem.h>
#include <outlook/Backend.h>
#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>
#include <outlook/NameSpace.h>
#include <outlook/RecurrenceRule.h>
#include <outlook/RuleExpansion.h>
#include <outlook/SaveBatch.h>

#include <platform/BalloonSink.h>
#include <platform/DateTimeSpan.h>
#include <platform/EventLoop.h>
#include <platform/MessageBoxSink.h>

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Whole minutes as every span counts them: a date value's error of a few
// microseconds must not add a minute to the event.
long SpanMinutes(const CAppointment& appointment)
{
    return (appointment.GetEndTime() - appointment.GetStartTime()).GetWholeMinutes();
}

void Fill(outlook::CAppointmentItem& item, const CAppointment& appointment, long minutes)
{
    item.SetStart(appointment.GetStartTime());
    item.SetDuration(minutes);
    item.SetSubject(appointment.GetSubject());
    item.SetBody(appointment.GetBody());
    item.SetLocation(appointment.GetLocation());
    item.SetReminderSet(appointment.IsReminder() != 0);
    if (appointment.IsReminder())
        item.SetReminderMinutesBeforeStart(appointment.GetReminder());
    item.SetRequiredAttendees(appointment.GetReqAttendees());
    item.SetOptionalAttendees(appointment.GetOptAttendees());
    item.SetAllDayEvent(appointment.IsAllDay());
    item.SetBusyStatus(appointment.GetApptStatus() == CAppointment::FreeStatus ? outlook::olFree
                                                                               : outlook::olBusy);
}

// The local start in iCalendar's basic form, which tells an occurrence of a
// series from the others.
std::string Stamp(const CDateTime& start)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", start.GetYear(), start.GetMonth(),
                  start.GetDay(), start.GetHour(), start.GetMinute(), start.GetSecond());
    return text;
}

} // namespace

// The pattern of a recurring event; nullopt (logged) for one that does not
// recur or whose rule the calendar cannot keep, which is then imported as
// its occurrences.
std::optional<outlook::CAppointmentData::Pattern>
CScheduleImport::PatternOf(const std::string& rule, const CAppointment& appointment, long minutes)
{
    if (rule.empty())
        return std::nullopt;
    outlook::CAppointmentData::Pattern pattern;
    std::string reason;
    if (outlook::CRecurrenceRule::PatternFromText(rule, appointment.GetStartTime(), minutes, pattern, reason))
        return pattern;
    m_agent.LogLine("\"" + appointment.GetSubject() +
                    "\" is imported as its occurrences within a year: " + reason);
    return std::nullopt;
}

CScheduleImport::CScheduleImport(CAgentContext& agent, CCalendarBridge& calendar)
    : m_agent(agent), m_calendar(calendar)
{
}

CScheduleImport::~CScheduleImport() = default;

std::optional<std::string> CScheduleImport::WebAddressOf(const CKqmlFields& content)
{
    std::optional<std::string> url = content.Raw("url");
    if (!url)
        return std::nullopt;
    return CKqmlFields::WithoutQuotes(*url);
}

void CScheduleImport::Upload(const CKqmlFields& content, const std::string& peer)
{
    const std::optional<std::string> url = WebAddressOf(content);
    if (!url)
        return;
    if (!webpage::IsWebAddress(*url)) {
        m_agent.LogLine("Refusing to import " + *url +
                        ": only http and https schedules are imported for other agents");
        return;
    }
    StartUpload(*url, peer);
}

void CScheduleImport::StartUpload(const std::string& url, const std::string& peer)
{
    CEventLoop* loop = CEventLoop::Current();
    if (!loop) {
        NotLoaded(url, "no event loop runs the fetch");
        TellUser(url);
        return;
    }
    const std::uint64_t id = m_nextFetch++;
    std::unique_ptr<CDocumentFetch> fetch = PeerFetcher().Start(
        url, *loop,
        [this, id, url, peer](bool fetched, CFetchedDocument& document, const std::string& error) {
            Fetched(id, fetched, document, error, url, peer);
        });
    if (fetch)
        m_fetches.emplace(id, std::move(fetch));
}

void CScheduleImport::Fetched(std::uint64_t id, bool fetched, const CFetchedDocument& document,
                              const std::string& error, const std::string& url, const std::string& peer)
{
    // Ended: it goes once this returns.
    std::unique_ptr<CDocumentFetch> ended;
    if (auto it = m_fetches.find(id); it != m_fetches.end()) {
        ended = std::move(it->second);
        m_fetches.erase(it);
    }
    if (fetched)
        ImportDocument(document, url, peer);
    else
        NotLoaded(url, error);
    TellUser(url);
}

void CScheduleImport::NotLoaded(const std::string& url, const std::string& error)
{
    m_agent.LogLine("Schedule " + url + " not imported: " + error);
    CMessageBoxSink::Show("Failed to load URL");
}

void CScheduleImport::Browse(const CKqmlFields& content)
{
    const std::optional<std::string> url = WebAddressOf(content);
    if (!url)
        return;
    if (!webpage::IsWebAddress(*url)) {
        m_agent.LogLine("Refusing to browse " + *url +
                        ": only http and https schedules are opened for other agents");
        return;
    }
    if (!m_browserOpener) {
        m_agent.LogLine("No schedule browser can be shown without a window; not opening " + *url);
        return;
    }
    m_browserOpener(*url);
}

bool CScheduleImport::MayBrowse(const std::string& address) const
{
    if (webpage::IsWebAddress(address))
        return true;
    if (m_shippedFolder.empty() || address.find("..") != std::string::npos ||
        address.find('%') != std::string::npos)
        return false;
    const std::string prefix = "file://" + m_shippedFolder + "/";
    return address.size() > prefix.size() && address.compare(0, prefix.size(), prefix) == 0 &&
           address.find('/', prefix.size()) == std::string::npos;
}

CDocumentFetcher CScheduleImport::PeerFetcher() const
{
    CDocumentFetcher fetcher = m_fetcher;
    if (!m_agent.GetSettings().GetPeerFetchLocalAddresses())
        fetcher.SetAddressFilter(CDocumentFetcher::RefuseNonPublic);
    return fetcher;
}

bool CScheduleImport::ImportDocument(const CFetchedDocument& document, const std::string& address,
                                     const std::string& peer)
{
    SOutcome outcome;
    Import(document, address, peer, nullptr, outcome);
    // A calendar that refused the write has said so in the log already.
    if (!outcome.imported && outcome.written >= 0)
        CMessageBoxSink::Show(outcome.failure.rfind("too large", 0) == 0 ? "Schedule not imported: too large"
                                                                         : "Failed to load URL");
    return outcome.imported;
}

CScheduleImport::SOutcome CScheduleImport::ImportSubscribed(const CFetchedDocument& document,
                                                            const std::string& address,
                                                            CImportedItems& subscribed)
{
    SOutcome outcome;
    Import(document, address, std::string(), &subscribed, outcome);
    return outcome;
}

// An import another agent asked for changes the user's calendar: the user
// is told on the desktop too.
void CScheduleImport::TellImported(const std::string& address, const std::string& peer, int written) const
{
    const std::string what = std::to_string(written) + " appointment(s) from " + address;
    m_agent.LogLine("Imported " + what);
    if (!peer.empty())
        CBalloonSink::Show("Schedule Imported", what + "\nAsked for by " + peer);
}

void CScheduleImport::Import(const CFetchedDocument& document, const std::string& address,
                             const std::string& peer, CImportedItems* subscribed, SOutcome& outcome)
{
    {
        CRDFCalendar calendar(m_fetcher);
        if (!calendar.LoadCalendarDocument(address, document)) {
            outcome.failure = calendar.GetGraphStore().GetErrorMsg();
        } else {
            calendar.BuildAppointmentList();
            outcome.failure = TooLarge(calendar, peer);
            if (outcome.failure.empty()) {
                if (!peer.empty())
                    ImportedToday(peer) += calendar.getAppointmentPtr().size();
                outcome.written = WriteAppointments(calendar, subscribed);
                outcome.imported = outcome.written >= 0;
                outcome.removed = m_removed;
                outcome.released = m_released;
                if (outcome.imported)
                    TellImported(address, peer, outcome.written);
                else
                    outcome.failure = "the calendar refused the imported appointments: " +
                                      m_calendar.GetBackend().GetLastErrorText();
            }
        }
    }
    if (!outcome.imported && outcome.written >= 0)
        m_agent.LogLine("Schedule " + address + " not imported: " + outcome.failure);
    // A large document's graph leaves the heap full of freed pages; hand
    // them back rather than keep the peak for the agent's whole run.
    malloc_trim(0);
}

// Why the built list is past the bounds of one import or of the peer's
// day; empty when it is within them.
std::string CScheduleImport::TooLarge(CRDFCalendar& calendar, const std::string& peer)
{
    const std::size_t count = calendar.getAppointmentPtr().size();
    if (count > m_maxEvents)
        return "too large (" + std::to_string(count) + " events, at most " + std::to_string(m_maxEvents) +
               " in one import)";
    if (!peer.empty() && ImportedToday(peer) + count > m_maxPeerEvents)
        return "too large (" + peer + " had " + std::to_string(ImportedToday(peer)) +
               " events imported today, at most " + std::to_string(m_maxPeerEvents) + " a day)";
    return std::string();
}

std::size_t& CScheduleImport::ImportedToday(const std::string& peer)
{
    const CDateTime now = CDateTime::GetCurrentTime();
    const long day = now.GetYear() * 400L + now.GetMonth() * 32L + now.GetDay();
    // Past days' counts are dropped before the table grows large, so that
    // peers under ever new names cannot make it grow without end.
    if (m_peerDays.size() >= MaxPeersCounted) {
        for (auto it = m_peerDays.begin(); it != m_peerDays.end();)
            it = it->second.day == day ? std::next(it) : m_peerDays.erase(it);
    }
    SPeerDay& entry = m_peerDays[peer];
    if (entry.day != day)
        entry = SPeerDay{day, 0};
    return entry.events;
}

int CScheduleImport::WriteAppointments(CRDFCalendar& calendar, CImportedItems* subscribed)
{
    // A fetch, or the browser, ends long after any message: what another
    // program wrote meanwhile (the user's own edits among it) must be seen
    // first, or a subscription would take those edits for untouched items.
    m_calendar.SyncWithOutsideChanges();
    int written = 0;
    const std::vector<CImportSource>& sources = calendar.GetImportSources();
    Positions positions = ItemPositions();
    std::set<std::string> removals;
    m_subscribed = subscribed;
    m_written.clear();
    m_events.clear();
    m_released = 0;
    m_removed = 0;
    ReleaseChanged(positions);
    // Occurrences count against the import's bound like events do.
    m_writeBudget = std::max(m_maxEvents, calendar.getAppointmentPtr().size());
    outlook::CSaveBatch batch(m_calendar.GetBackend());
    for (std::size_t i = 0; i < calendar.getAppointmentPtr().size(); ++i)
        written += WriteEvent(*calendar.getAppointmentPtr()[i],
                              i < sources.size() ? sources[i] : CImportSource(), positions, removals);
    // A cancelled event leaves nothing of what it brought before.
    for (const std::string& identity : calendar.GetCancelledIdentities())
        MarkStale(ImportUid(identity), {}, std::nullopt, positions, removals);
    // Of a subscription, what the schedule no longer has at all goes too.
    if (m_subscribed) {
        for (const std::string& uid : m_subscribed->FollowedOutside(m_events)) {
            if (positions.count(uid))
                removals.insert(uid);
        }
    }
    const std::size_t removed = RemoveItems(removals, positions);
    m_removed = removed;
    if (!batch.Commit()) {
        m_subscribed = nullptr;
        m_agent.LogLine("The calendar refused the imported appointments: " +
                        m_calendar.GetBackend().GetLastErrorText());
        // The store took each item as it was saved; the calendar kept none.
        m_calendar.ReloadAppointments();
        m_agent.GetAppointmentStore().Refresh();
        return -1;
    }
    if (removed > 0) {
        m_agent.LogLine("Removed " + std::to_string(removed) +
                        " imported appointment(s) cancelled or left out by their schedule");
        // The items after each removed one moved up: every position changed.
        m_calendar.ReloadAppointments();
    }
    if (written > 0 || removed > 0)
        m_agent.GetAppointmentStore().Refresh();
    RecordWritten(removals);
    return written;
}

// The subscription's items that the user changed or deleted are theirs
// from now on.
void CScheduleImport::ReleaseChanged(Positions& positions)
{
    outlook::CItems* items = CalendarItems();
    if (!m_subscribed || !items)
        return;
    for (const std::string& uid : m_subscribed->ReleaseChanged(positions, *items)) {
        m_agent.LogLine("The imported appointment " + uid +
                        " was changed or deleted in the calendar: it is kept as it is and no longer updated");
        ++m_released;
    }
}

void CScheduleImport::RecordWritten(const std::set<std::string>& removals)
{
    CImportedItems* subscribed = m_subscribed;
    m_subscribed = nullptr;
    outlook::CItems* items = CalendarItems();
    if (!subscribed || !items)
        return;
    for (const std::string& uid : removals)
        subscribed->Forget(uid);
    const Positions positions = ItemPositions();
    subscribed->ForgetDeleted(m_events, positions);
    for (const std::string& uid : m_written) {
        const auto found = positions.find(uid);
        const std::unique_ptr<outlook::CItem> item =
            found == positions.end() ? nullptr : items->Item(found->second);
        if (outlook::CAppointmentItem* appointment = item ? item->AsAppointment() : nullptr)
            subscribed->Record(uid, *appointment);
    }
}

int CScheduleImport::WriteEvent(const CAppointment& appointment, const CImportSource& source,
                                Positions& positions, std::set<std::string>& removals)
{
    const std::string uid = ImportUid(source.identity);
    m_events.insert(uid);
    std::optional<outlook::CAppointmentData::Pattern> pattern;
    if (source.Recurs() && source.excluded.empty() && source.added.empty())
        pattern = PatternOf(source.rule, appointment, SpanMinutes(appointment));
    if (source.Recurs() && !pattern)
        return WriteOccurrences(appointment, source, uid, positions, removals);
    // What the event was made of before (occurrences of a series) goes.
    MarkStale(uid, {uid}, std::nullopt, positions, removals);
    m_writeBudget -= std::min<std::size_t>(m_writeBudget, 1);
    return WriteOne(appointment, appointment.GetStartTime(), uid, pattern, source, positions) ? 1 : 0;
}

int CScheduleImport::WriteOccurrences(const CAppointment& appointment, const CImportSource& source,
                                      const std::string& uid, Positions& positions,
                                      std::set<std::string>& removals)
{
    if (m_writeBudget == 0) {
        m_agent.LogLine("Not importing \"" + appointment.GetSubject() +
                        "\": the import reached its bound of " + std::to_string(m_maxEvents) +
                        " appointments");
        return 0;
    }
    const CDateTime now = CDateTime::GetCurrentTime();
    // A series that has not begun yet gives its first year.
    const CDateTime from = std::max(now, appointment.GetStartTime());
    outlook::CRuleExpansion::SResult result;
    std::string reason;
    if (!outlook::CRuleExpansion::Expand(source.rule, appointment.GetStartTime(), source.excluded,
                                         source.added, from, from + CDateTimeSpan(366, 0, 0, 0),
                                         std::min(MaxOccurrences, m_writeBudget), result, reason)) {
        m_agent.LogLine("Not importing \"" + appointment.GetSubject() + "\": " + reason);
        return 0;
    }
    if (!result.cut.empty())
        m_agent.LogLine("Only " + std::to_string(result.starts.size()) + " occurrence(s) of \"" +
                        appointment.GetSubject() + "\" within a year are imported: " + result.cut);
    m_writeBudget -= result.starts.size();
    std::set<std::string> kept;
    int written = 0;
    for (const CDateTime& start : result.starts) {
        const std::string occurrence = uid + "-" + Stamp(start);
        kept.insert(occurrence);
        if (WriteOne(appointment, start, occurrence, std::nullopt, source, positions))
            ++written;
    }
    MarkStale(uid, kept, now, positions, removals);
    return written;
}

// The items imported for `uid` (the item itself and its occurrences) that
// are not among `kept`; occurrences that began before `from`, when given,
// stay as the past they are.
void CScheduleImport::MarkStale(const std::string& uid, const std::set<std::string>& kept,
                                const std::optional<CDateTime>& from, const Positions& positions,
                                std::set<std::string>& removals)
{
    const std::string occurrences = uid + "-";
    for (auto it = positions.lower_bound(uid);
         it != positions.end() && it->first.compare(0, uid.size(), uid) == 0; ++it) {
        const bool ours = it->first == uid || it->first.compare(0, occurrences.size(), occurrences) == 0;
        if (!ours || kept.count(it->first) || (m_subscribed && m_subscribed->IsReleased(it->first)))
            continue;
        if (from && it->first != uid && StartAt(it->second) < *from)
            continue;
        removals.insert(it->first);
    }
}

outlook::CItems* CScheduleImport::CalendarItems()
{
    outlook::CNameSpace* space = m_calendar.GetNameSpace();
    outlook::CMAPIFolder* folder = space ? space->GetDefaultFolder(outlook::olFolderCalendar) : nullptr;
    return folder ? folder->GetItems() : nullptr;
}

CDateTime CScheduleImport::StartAt(long position)
{
    std::unique_ptr<outlook::CItem> item = CalendarItems()->Item(position);
    outlook::CAppointmentItem* appointment = item ? item->AsAppointment() : nullptr;
    return appointment ? appointment->GetStart() : CDateTime();
}

std::size_t CScheduleImport::RemoveItems(const std::set<std::string>& uids, const Positions& positions)
{
    std::vector<long> doomed;
    for (const std::string& uid : uids) {
        if (auto found = positions.find(uid); found != positions.end())
            doomed.push_back(found->second);
    }
    // From the last, so that every position still names its item.
    std::sort(doomed.rbegin(), doomed.rend());
    outlook::CItems* items = CalendarItems();
    if (!items)
        return 0;
    std::size_t removed = 0;
    for (long position : doomed) {
        std::unique_ptr<outlook::CItem> item = items->Item(position);
        if (item && item->Delete())
            ++removed;
        else
            m_agent.LogLine("The calendar kept an appointment its schedule no longer has: " +
                            m_calendar.GetBackend().GetLastErrorText());
    }
    return removed;
}

std::string CScheduleImport::ImportUid(const std::string& identity)
{
    return "orvante-import-" + CImportedItems::Hash(identity);
}

CScheduleImport::Positions CScheduleImport::ItemPositions()
{
    Positions positions;
    outlook::CItems* items = CalendarItems();
    if (!items)
        return positions;
    for (long position = 1; position <= items->GetCount(); ++position) {
        std::unique_ptr<outlook::CItem> item = items->Item(position);
        if (item)
            positions.emplace(item->GetEntryID(), position);
    }
    return positions;
}

bool CScheduleImport::WriteOne(const CAppointment& appointment, const CDateTime& start,
                               const std::string& uid,
                               const std::optional<outlook::CAppointmentData::Pattern>& pattern,
                               const CImportSource& source, Positions& positions)
{
    if (m_subscribed && m_subscribed->IsReleased(uid))
        return false;
    const long minutes = SpanMinutes(appointment);
    if (minutes < 0 || minutes > CAgentContext::MaxRequestedMinutes) {
        m_agent.LogLine("Not importing \"" + appointment.GetSubject() +
                        "\": its length is not from 0 minutes to a year");
        return false;
    }
    const auto found = positions.find(uid);
    const std::optional<long> position =
        found == positions.end() ? std::nullopt : std::optional<long>(found->second);
    outlook::CApplication* application = m_calendar.GetOutlookApplication();
    std::unique_ptr<outlook::CItem> item;
    if (position) {
        item = CalendarItems()->Item(*position);
    } else if (application) {
        item = application->CreateItem(outlook::olAppointmentItem);
        if (item)
            item->RequestEntryID(uid);
    }
    outlook::CAppointmentItem* written = item ? item->AsAppointment() : nullptr;
    if (!written) {
        m_agent.LogLine("Not importing \"" + appointment.GetSubject() + "\": the calendar is not open");
        return false;
    }
    Fill(*written, appointment, minutes);
    written->SetStart(start);
    written->SetOrganizer(source.organiser);
    written->SetRecurrencePattern(pattern);
    if (!written->Save()) {
        m_agent.LogLine("The calendar refused the imported \"" + appointment.GetSubject() + "\"");
        return false;
    }
    m_written.insert(uid);
    CAppointmentStore& store = m_agent.GetAppointmentStore();
    if (position) {
        const long index = *position;
        store.RemoveIf([index](const CAppointment& held) { return held.GetOutlookIndex() == index; });
        return m_calendar.LoadCalendarItem(static_cast<int>(index));
    }
    // A new item is the folder's last.
    const int index = static_cast<int>(CalendarItems()->GetCount());
    positions.emplace(uid, index);
    m_calendar.SetCalendarItemCount(index);
    return m_calendar.LoadCalendarItem(index);
}

std::string CScheduleImport::UploadNotice(const std::string& url)
{
    const CDateTime now = CDateTime::GetCurrentTime();
    return "tell :command schedule_uploaded :start (tell :day " + std::to_string(now.GetDay()) + " :month " +
           std::to_string(now.GetMonth()) + " :year " + std::to_string(now.GetYear()) + " :hour " +
           std::to_string(now.GetHour()) + " :minute " + std::to_string(now.GetMinute()) + " :second " +
           std::to_string(now.GetSecond()) + " ) :url \"" + url + "\"";
}

void CScheduleImport::TellUser(const std::string& url)
{
    const CAgentSettings& settings = m_agent.GetSettings();
    if (!settings.GetImportScheduleAlert())
        return;
    if (settings.GetAgentAlert())
        m_agent.SendAlertNotice(settings.GetAgentAlertString(), UploadNotice(url));
    if (settings.GetEmailAlert())
        m_agent.SendMail(settings.GetEmailAlertString(), "Imported Schedule",
                         url + "@" + CDateTime::GetCurrentTime().Format());
}
