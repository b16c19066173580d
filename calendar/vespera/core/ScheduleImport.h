#pragma once

#include <graphstore/DocumentFetch.h>
#include <graphstore/DocumentFetcher.h>

#include <eventview/ImportSource.h>

#include <outlook/AppointmentData.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

class CAgentContext;
class CAppointment;
class CImportedItems;
class CCalendarBridge;
class CKqmlFields;
class CRDFCalendar;

namespace outlook {
class CItems;
} // namespace outlook

// Web schedules another agent asks the agent to import or to show
// (objectives uploadScheduleURL and browseScheduleURL), and the writing of
// imported appointments into the calendar, which the schedule browser's
// Import uses too.
//
// An imported item is saved under a UID made from its event's identity, so
// importing the same schedule again updates the items it made before
// instead of adding twins. A series the recurrence pattern cannot hold is
// saved as its occurrences within the next year, each under that UID with
// its start after it. Importing again removes what the schedule cancelled
// or no longer has of a series: only ever items under the UIDs of its
// events.
//
// What one import may add is bounded, and so is what one peer may have
// imported in a day, so that no schedule (or the same one under ever new
// addresses) can fill the calendar past what the agent reads back.
class CScheduleImport {
public:
    static constexpr std::size_t MaxEventsPerImport = 1000;
    static constexpr std::size_t MaxPeerEventsPerDay = 2000;
    // The most occurrences one series is saved as; all the occurrences and
    // events of one import stay within its bound of events.
    static constexpr std::size_t MaxOccurrences = 500;

    // Opens the schedule browser at an address; unset without a window.
    using BrowserOpener = std::function<void(const std::string& url)>;

    CScheduleImport(CAgentContext& agent, CCalendarBridge& calendar);
    // Fetches still running are stopped.
    ~CScheduleImport();

    // uploadScheduleURL: imports the schedule at the message's url (http or
    // https only: a peer must not make the agent read local files), then
    // tells the user as ImportScheduleAlert says. The fetch runs on the
    // event loop, which answers other agents meanwhile; the import and the
    // notice follow when it ends. `peer` is the agent that asked.
    void Upload(const CKqmlFields& content, const std::string& peer = std::string());
    // Fetches of uploads not ended yet.
    std::size_t FetchesRunning() const { return m_fetches.size(); }
    // browseScheduleURL: opens the browser at the message's url.
    void Browse(const CKqmlFields& content);
    void SetBrowserOpener(BrowserOpener opener) { m_browserOpener = std::move(opener); }
    // The folder of the schedules shipped with the program: another agent
    // may ask to browse those as file:// addresses (the debug window's test
    // does), but no other local file.
    void SetShippedSchedulesFolder(const std::string& folder) { m_shippedFolder = folder; }
    // Whether another agent may have the browser open `address`.
    bool MayBrowse(const std::string& address) const;

    // What follows the fetch: reads `document`, fetched from `address`,
    // checks the bounds (the day's count of `peer`, when one asked) and
    // writes its events; false (after a notice) when nothing was imported.
    bool ImportDocument(const CFetchedDocument& document, const std::string& address,
                        const std::string& peer);
    // Writes every appointment of a built list, new or updated, in one
    // write of the calendar; the number written, or -1 (logged) when the
    // calendar refused that write and none of them was kept.
    //
    // With the items a subscription imported before: what the user changed
    // or deleted of them since is released and left alone, those whose
    // events the schedule no longer has are removed, and what is written
    // is recorded in them.
    int WriteAppointments(CRDFCalendar& calendar, CImportedItems* subscribed = nullptr);

    // What an import of a subscribed schedule did.
    struct SOutcome {
        bool imported = false;
        int written = 0;
        std::size_t removed = 0;
        std::size_t released = 0;
        // Why nothing was imported.
        std::string failure;
    };
    // A subscription's fetched document, read and written as
    // WriteAppointments says, with nothing shown to the user.
    SOutcome ImportSubscribed(const CFetchedDocument& document, const std::string& address,
                              CImportedItems& subscribed);

    // The UID of the item imported for an event identity.
    static std::string ImportUid(const std::string& identity);
    // The notice to the alert agent after an upload.
    static std::string UploadNotice(const std::string& url);

    // The bounds of one import and of a peer's day (tests lower them).
    void SetBounds(std::size_t eventsPerImport, std::size_t peerEventsPerDay)
    {
        m_maxEvents = eventsPerImport;
        m_maxPeerEvents = peerEventsPerDay;
    }
    // How documents are fetched (tests shorten the time-out).
    void SetFetcher(const CDocumentFetcher& fetcher) { m_fetcher = fetcher; }
    // The fetcher for an address another agent named: public addresses
    // only, unless PeerFetchLocalAddresses allows this machine and the
    // local networks too.
    CDocumentFetcher PeerFetcher() const;

private:
    // The calendar folder's 1-based positions by item id, in id order so
    // that a series' occurrences sit together.
    using Positions = std::map<std::string, long>;
    int WriteEvent(const CAppointment& appointment, const CImportSource& source, Positions& positions,
                   std::set<std::string>& removals);
    int WriteOccurrences(const CAppointment& appointment, const CImportSource& source, const std::string& uid,
                         Positions& positions, std::set<std::string>& removals);
    bool WriteOne(const CAppointment& appointment, const CDateTime& start, const std::string& uid,
                  const std::optional<outlook::CAppointmentData::Pattern>& pattern,
                  const CImportSource& source, Positions& positions);
    void MarkStale(const std::string& uid, const std::set<std::string>& kept,
                   const std::optional<CDateTime>& from, const Positions& positions,
                   std::set<std::string>& removals);
    CDateTime StartAt(long position);
    // The calendar folder's items; null while the calendar is not open.
    outlook::CItems* CalendarItems();
    std::size_t RemoveItems(const std::set<std::string>& uids, const Positions& positions);
    Positions ItemPositions();
    std::optional<outlook::CAppointmentData::Pattern>
    PatternOf(const std::string& rule, const CAppointment& appointment, long minutes);
    void TellUser(const std::string& url);
    void TellImported(const std::string& address, const std::string& peer, int written) const;
    // Reads, checks and writes as ImportDocument and ImportSubscribed say;
    // the failure in `outcome`, not shown.
    void Import(const CFetchedDocument& document, const std::string& address, const std::string& peer,
                CImportedItems* subscribed, SOutcome& outcome);
    std::string TooLarge(CRDFCalendar& calendar, const std::string& peer);
    void ReleaseChanged(Positions& positions);
    void RecordWritten(const std::set<std::string>& removals);
    // Starts fetching a peer's upload; the import follows in Fetched.
    void StartUpload(const std::string& url, const std::string& peer);
    void Fetched(std::uint64_t id, bool fetched, const CFetchedDocument& document, const std::string& error,
                 const std::string& url, const std::string& peer);
    void NotLoaded(const std::string& url, const std::string& error);
    // How many events `peer` had imported today, counting from a new day.
    std::size_t& ImportedToday(const std::string& peer);
    static std::optional<std::string> WebAddressOf(const CKqmlFields& content);

    CAgentContext& m_agent;
    CCalendarBridge& m_calendar;
    CDocumentFetcher m_fetcher;
    BrowserOpener m_browserOpener;
    std::string m_shippedFolder;
    std::size_t m_maxEvents = MaxEventsPerImport;
    std::size_t m_maxPeerEvents = MaxPeerEventsPerDay;
    // What the import being written may still add.
    std::size_t m_writeBudget = 0;
    // The subscription of the import being written (null for none), the
    // items it wrote, the UIDs of its schedule's events, what it released.
    CImportedItems* m_subscribed = nullptr;
    std::set<std::string> m_written;
    std::set<std::string> m_events;
    std::size_t m_released = 0;
    std::size_t m_removed = 0;
    struct SPeerDay {
        long day = 0;
        std::size_t events = 0;
    };
    static constexpr std::size_t MaxPeersCounted = 4096;
    std::map<std::string, SPeerDay> m_peerDays;
    std::map<std::uint64_t, std::unique_ptr<CDocumentFetch>> m_fetches;
    std::uint64_t m_nextFetch = 1;
};
