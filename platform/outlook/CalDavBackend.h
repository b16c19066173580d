#pragma once

#include <outlook/Backend.h>
#include <outlook/CalDavJournal.h>
#include <outlook/DavClient.h>
#include <outlook/ICalendarFile.h>
#include <outlook/VCard.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CEventLoop;

namespace outlook {
class CReminderScheduler;

// A back-end over a CalDAV calendar and a CardDAV address book on a server
// the user's other devices share. Each event is a resource of the calendar
// collection (a whole VCALENDAR, held as a CICalendarFile, so that what
// this program does not know of survives its saves); each contact a vCard
// of the address book. Item ids are the events' UIDs and the cards' UIDs.
//
// Writes lose nobody's change: a new item is a PUT with If-None-Match: *
// to a fresh resource name, a change a PUT with If-Match of the ETag read;
// when another device changed the resource meanwhile (412) it is read again
// and the change made again on what it holds now, once. While the server
// cannot be reached, writes go into the journal and are made on the server,
// in order, when it answers again.
//
// Changes made elsewhere are asked for with a sync-collection report where
// the server keeps sync tokens, so that a poll reads only what changed;
// else the collection's ctag is compared and the calendar read again when
// it moved. With an event loop the server is polled every pollSeconds; what
// a poll read waits until the next Refresh (the outside-change check before
// each message), so that the folders change only there. Every request is
// bounded by the client's time-out.
class CCalDavBackend : public CBackend {
public:
    struct SSettings {
        // A calendar collection, a principal, a home set or the server's root.
        std::string url;
        // The address book's: empty to find it from the same place.
        std::string contactsUrl;
        CDavClient::SOptions client;
        // The server is asked for changes this often from the loop (none
        // without one: each Refresh asks then).
        long pollSeconds = 60;
        CEventLoop* loop = nullptr;
        // Where the last copy read is kept, to start from while the server
        // is down; empty: none kept.
        std::string cacheDirectory;
        // The journal of writes made while the server could not be reached;
        // empty: such writes are refused.
        std::string journalPath;
        // The reminders already given (see CReminderScheduler); empty: a
        // restart may give them again.
        std::string remindersPath;
    };

    explicit CCalDavBackend(SSettings settings);
    ~CCalDavBackend() override;

    // Finds the collections and reads them; false, with the reason, when
    // the calendar cannot be found or read.
    bool Start() override;
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    bool IsFolderAvailable(OlDefaultFolders folder) const override;
    long GetCount(OlDefaultFolders folder) const override;
    bool GetItem(OlDefaultFolders folder, long index, CStoredItem& item) const override;
    bool AddItem(OlDefaultFolders folder, CStoredItem& item) override;
    bool UpdateItem(const CStoredItem& item) override;
    bool RemoveItem(const EntryId& id) override;
    RefreshResult Refresh() override;
    // Asks the server for changes now, as the poll does, and tells the
    // change listener of one.
    void Poll();
    // The same without telling: the caller refreshes next.
    void FetchChanges() override { ReadChanges(); }
    bool SendMail(const CMailData& mail) override;
    std::vector<std::string> GetReadNotes(OlDefaultFolders folder) const override;

    // Said once after Start when the agent works from its copy (the
    // server down); empty otherwise.
    std::string GetStatusNote() const override { return m_statusNote; }
    bool IsWorkingFromCopy() const { return m_fromCopy; }
    // Writes in the journal, not yet on the server.
    std::size_t GetJournalSize() const { return m_journal.Size(); }
    // Whether polls ask for the changes since a sync token.
    bool IsSyncing() const { return !m_syncToken.empty(); }

    const CDavClient& GetClient() const { return m_client; }
    const std::string& GetCalendarUrl() const { return m_calendarUrl; }
    const std::string& GetContactsUrl() const { return m_contactsUrl; }

private:
    struct SEvent {
        std::string href;
        std::string etag;
        std::unique_ptr<CICalendarFile> calendar;
    };
    struct SCard {
        std::string href;
        std::string etag;
        CVCard card;
        // The resource as the server holds it, with what other programs
        // wrote beside the fields a contact maps.
        std::string text;
    };
    using EventChange = std::function<bool(CICalendarFile& calendar, std::string& error)>;
    // What a poll read of a change, until Refresh takes it: the whole
    // calendar, or the resources changed and removed since the sync token.
    struct SPolled {
        bool whole = true;
        std::vector<SEvent> events;
        std::vector<std::string> removed;
        std::vector<std::string> notes;
        std::string tag;
        std::string syncToken;
        std::string error;
    };
    struct STags {
        std::string ctag;
        std::string syncToken;
    };

    // The events of the calendar and its tags as the server holds them now.
    bool ReadEvents(SPolled& read, std::string& error) const;
    bool EventsOf(const std::string& body, std::vector<SEvent>& events, std::vector<std::string>& notes,
                  std::string& error) const;
    bool CardsOf(const std::string& body, std::vector<SCard>& cards, std::string& error);
    bool ReadCalendar(std::string& error);
    bool ReadContacts(std::string& error);
    STags CollectionTags(const std::string& url) const;

    // Following changes made elsewhere (CalDavSync.cpp). Each is true when
    // `polled` holds a change (or a failure) to take.
    bool ReadChanges();
    bool CompareTags(SPolled& polled);
    bool SyncChanges(SPolled& polled);
    bool Multiget(const std::vector<std::string>& hrefs, SPolled& polled) const;
    void TakePolled(SPolled& polled);

    static constexpr const char* CalendarData = "urn:ietf:params:xml:ns:caldavcalendar-data";
    static constexpr const char* CalendarCopy = "caldav-calendar.xml";
    static constexpr const char* CollectionsCopy = "caldav-collections";
    static const char* const ContactsCopy;
    // The copy and the journal (CalDavOffline.cpp).
    bool StartFromCopy(const std::string& why);
    void KeepCopy(const std::string& name, const std::string& text) const;
    bool ReadCopy(const std::string& name, std::string& text) const;
    // Writes the calendar as held now into the copy: at once without an
    // event loop, else once the writes of the moment are done.
    void KeepCalendarCopy();
    void WriteCalendarCopy();
    void WriteContactsCopy() const;
    static std::string CopyResponse(const std::string& href, const std::string& etag, const char* element,
                                    const std::string& data);
    static std::string CopyText(const std::string& responses);
    bool ServerAnswersAgain();
    // Makes the journal's writes on the server in order; false when the
    // server could not take them all yet. What could not be done is said
    // in `notes`.
    bool ReplayJournal(std::vector<std::string>& notes);
    enum class Replayed { Done, Later };
    Replayed Replay(const CCalDavJournal::SEntry& entry, std::string& note);
    Replayed ReplayChange(const CCalDavJournal::SEntry& entry, std::string& note);
    Replayed Refused(const CDavClient::SReply& reply, const CCalDavJournal::SEntry& entry) const;
    void Landed(const CCalDavJournal::SEntry& entry, const std::string& etag);
    // Whether a journal entry's text is a contact's rather than an event's.
    static bool IsCard(const std::string& text);
    // The write is owed to the server: into the journal, and the calendar
    // takes `text`; false (the calendar as `before`) when it cannot be kept.
    bool Owe(SEvent& event, CCalDavJournal::SEntry entry);
    bool IsUnreachable(const CDavClient::SReply& reply) const;

    // The event resource holding the item with `id`, or at `href`; null
    // when there is none.
    SEvent* EventOf(const EntryId& id);
    SEvent* EventAt(const std::string& href);
    bool AddEvent(CStoredItem& item);
    void Added(SEvent event);
    std::string EtagOf(const std::string& href, const CDavClient::SReply& put) const;
    bool AddContact(CStoredItem& item);
    bool UpdateContact(const CStoredItem& item);
    // Makes `change` on the resource's calendar and writes it with
    // If-Match; on a 412 reads the resource again and makes it once more.
    bool ChangeEvent(SEvent& event, const EventChange& change);
    bool RemoveEvent(SEvent& event);
    bool Reread(SEvent& event, std::string& error);
    static void Restore(SEvent& event, const std::string& text);
    std::string NewResource(const std::string& collection, const std::string& uid,
                            const char* extension) const;
    // Puts the items in folder order and hands them to the reminders.
    void Reindex();
    void Wrote();

    SSettings m_settings;
    CDavClient m_client;
    bool m_started = false;
    bool m_open = false;
    std::string m_calendarUrl;
    std::string m_contactsUrl;
    std::string m_calendarTag;
    std::vector<SEvent> m_events;
    // (event, item within its resource) in folder order.
    std::vector<std::pair<std::size_t, std::size_t>> m_order;
    std::vector<SCard> m_cards;
    std::vector<std::string> m_notes;
    std::string m_syncToken;
    // The server keeps sync tokens but refuses the report: tags only.
    bool m_syncRefused = false;
    std::unique_ptr<SPolled> m_polled;
    bool m_fromCopy = false;
    std::string m_statusNote;
    CCalDavJournal m_journal;
    std::uint64_t m_copyTimer = 0;
    std::string m_toldError;
    std::uint64_t m_pollTimer = 0;
    std::unique_ptr<CReminderScheduler> m_reminders;
};

} // namespace outlook
