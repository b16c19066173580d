// A CalDAV back-end while its server is down: it starts from the copy it
// read last, and the writes it must make wait in a journal (an atomic,
// synced file) that is made on the server in order once it answers again.

#include <outlook/CalDavBackend.h>

#include <outlook/DavCollections.h>
#include <outlook/DavMultistatus.h>
#include <outlook/VCardFile.h>

#include <platform/AtomicFile.h>
#include <platform/EventLoop.h>

#include <algorithm>
#include <sstream>

namespace outlook {

namespace {

// Writes of the moment (a hold, then its meeting) make one copy.
constexpr unsigned CopyDelayMs = 2000;

// The owed change (from `before` to `mine`) made again on `now`, another
// device's version of the resource: each property this agent changed takes
// its value, every other keeps theirs.
bool ReapplyChange(const std::string& before, const std::string& mine, CICalendarFile& now,
                   std::string& error)
{
    CICalendarFile read, changed;
    if (!read.ParseUnchecked(before, error) || !changed.ParseUnchecked(mine, error))
        return false;
    for (const CStoredItem& was : read.GetItems()) {
        const long theirs = now.IndexOf(was.id);
        const long ours = changed.IndexOf(was.id);
        if (theirs < 0)
            continue;
        if (ours < 0) {
            if (!now.RemoveEvent(was.id, error))
                return false;
            continue;
        }
        const auto* base = std::get_if<CAppointmentData>(&was.data);
        const auto* next =
            std::get_if<CAppointmentData>(&changed.GetItems()[static_cast<std::size_t>(ours)].data);
        const auto* other =
            std::get_if<CAppointmentData>(&now.GetItems()[static_cast<std::size_t>(theirs)].data);
        if (base && next && other &&
            !now.UpdateEvent(CStoredItem{was.id, MergedChange(*base, *next, *other)}, error))
            return false;
    }
    return true;
}

} // namespace

void CCalDavBackend::KeepCopy(const std::string& name, const std::string& text) const
{
    std::string error;
    if (m_settings.cacheDirectory.empty() || !CAtomicFile::MakeDirectories(m_settings.cacheDirectory, error))
        return;
    CAtomicFile(m_settings.cacheDirectory + "/" + name).Replace(text, error);
}

bool CCalDavBackend::ReadCopy(const std::string& name, std::string& text) const
{
    bool exists = false;
    std::string error;
    return !m_settings.cacheDirectory.empty() &&
           CAtomicFile(m_settings.cacheDirectory + "/" + name).Read(text, exists, error) && exists;
}

bool CCalDavBackend::StartFromCopy(const std::string& why)
{
    std::string collections, calendar, contacts, error;
    if (!ReadCopy(CollectionsCopy, collections) || !ReadCopy(CalendarCopy, calendar))
        return false;
    std::istringstream lines(collections);
    std::string url;
    std::getline(lines, url);
    // A copy of another server's calendar is no copy of this one.
    if (url != m_settings.url || !std::getline(lines, m_calendarUrl))
        return false;
    std::getline(lines, m_contactsUrl);
    std::vector<SEvent> events;
    std::vector<std::string> notes;
    if (!EventsOf(calendar, events, notes, error))
        return false;
    std::vector<SCard> cards;
    if (m_contactsUrl.empty() || !ReadCopy(ContactsCopy, contacts) || !CardsOf(contacts, cards, error))
        m_contactsUrl.clear();
    m_events = std::move(events);
    m_cards = std::move(cards);
    m_notes = std::move(notes);
    m_fromCopy = true;
    m_statusNote = "The calendar server cannot be used now (" + why +
                   "); the agent answers from the copy it read last, and the meetings it agrees wait in its "
                   "journal until the server answers again.";
    Reindex();
    return true;
}

bool CCalDavBackend::ServerAnswersAgain()
{
    const CDavCollections collections(m_client);
    std::string calendar, error;
    if (!collections.FindCalendar(m_settings.url, calendar, error))
        return false;
    m_calendarUrl = calendar;
    m_fromCopy = false;
    m_statusNote.clear();
    m_calendarTag.clear();
    return true;
}

void CCalDavBackend::KeepCalendarCopy()
{
    if (m_settings.cacheDirectory.empty() || m_copyTimer)
        return;
    if (!m_settings.loop) {
        WriteCalendarCopy();
        return;
    }
    m_copyTimer = m_settings.loop->AddTimer(CopyDelayMs, false, [this](CEventLoop::TimerId) {
        m_copyTimer = 0;
        WriteCalendarCopy();
    });
}

// In the form the server answers, so that a start from the copy reads it
// as it reads the server.
std::string CCalDavBackend::CopyResponse(const std::string& href, const std::string& etag,
                                         const char* element, const std::string& data)
{
    return "<d:response><d:href>" + CDavMultistatus::Escaped(href) +
           "</d:href><d:propstat><d:prop><d:getetag>" + CDavMultistatus::Escaped(etag) + "</d:getetag><" +
           element + ">" + CDavMultistatus::Escaped(data) + "</" + element +
           "></d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
}

std::string CCalDavBackend::CopyText(const std::string& responses)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:multistatus xmlns:d=\"DAV:\" "
           "xmlns:c=\"urn:ietf:params:xml:ns:caldav\" xmlns:a=\"urn:ietf:params:xml:ns:carddav\">" +
           responses + "</d:multistatus>";
}

void CCalDavBackend::WriteCalendarCopy()
{
    std::string copy;
    for (const SEvent& event : m_events)
        copy += CopyResponse(event.href, event.etag, "c:calendar-data", event.calendar->Text());
    KeepCopy(CalendarCopy, CopyText(copy));
}

bool CCalDavBackend::Owe(SEvent& event, CCalDavJournal::SEntry entry)
{
    std::string error;
    const std::string before = entry.before;
    const std::string text = entry.text;
    if (!m_journal.Record(std::move(entry), error)) {
        if (!before.empty())
            Restore(event, before);
        return Fail("The appointment was not saved: the server cannot be reached and " + error);
    }
    if (!text.empty())
        event.calendar->Written(text);
    Wrote();
    return true;
}

// In order, each once; a write that can never be made (another device
// changed or removed the resource in a way that leaves nothing to do) is
// said and dropped, one the server refuses stays for the user to see.
bool CCalDavBackend::ReplayJournal(std::vector<std::string>& notes)
{
    while (!m_journal.IsEmpty()) {
        std::string note, error;
        if (Replay(m_journal.Front(), note) == Replayed::Later)
            return false;
        if (!note.empty())
            notes.push_back(note);
        if (!m_journal.PopFront(error)) {
            Fail("The journal could not be written: " + error);
            return false;
        }
        Wrote();
    }
    return true;
}

CCalDavBackend::Replayed CCalDavBackend::Replay(const CCalDavJournal::SEntry& entry, std::string& note)
{
    using Kind = CCalDavJournal::Kind;
    if (entry.kind == Kind::Change)
        return ReplayChange(entry, note);
    const CDavClient::SReply reply =
        entry.kind == Kind::Create
            ? m_client.Put(entry.href, entry.text, IsCard(entry.text) ? "text/vcard" : "text/calendar", "")
            : m_client.Request("DELETE", entry.href, {"If-Match: " + entry.etag});
    // A creation the server already holds (a 412 to If-None-Match: *)
    // landed on an earlier try whose end was not written down.
    if (reply.Ok() || (entry.kind == Kind::Create && reply.status == 412) ||
        (entry.kind == Kind::Remove && reply.status == 404)) {
        if (reply.Ok())
            Landed(entry, EtagOf(entry.href, reply));
        return Replayed::Done;
    }
    if (entry.kind == Kind::Remove && reply.status == 412) {
        note = "An appointment removed while the server was down was changed on another device meanwhile; "
               "it is kept: " +
               entry.href;
        return Replayed::Done;
    }
    return Refused(reply, entry);
}

// The entry's resource is on the server now, in its version `etag`. One
// this store does not hold (the journal of an earlier run, read before it
// was replayed) is held from now on.
void CCalDavBackend::Landed(const CCalDavJournal::SEntry& entry, const std::string& etag)
{
    const bool created = entry.kind == CCalDavJournal::Kind::Create;
    std::string error;
    if (IsCard(entry.text)) {
        const auto held = std::find_if(m_cards.begin(), m_cards.end(),
                                       [&](const SCard& card) { return card.href == entry.href; });
        std::vector<CVCard> read;
        if (held != m_cards.end())
            held->etag = etag;
        else if (created && CVCardFile::Parse(entry.text, read, error) && read.size() == 1)
            m_cards.push_back({entry.href, etag, std::move(read[0]), entry.text});
        WriteContactsCopy();
    } else if (SEvent* event = EventAt(entry.href)) {
        event->etag = etag;
    } else if (auto calendar = std::make_unique<CICalendarFile>();
               created && calendar->Parse(entry.text, error)) {
        calendar->Written(entry.text);
        Added({entry.href, etag, std::move(calendar)});
    }
}

// Tried again at the next poll; a refusal is said, as it lasts.
CCalDavBackend::Replayed CCalDavBackend::Refused(const CDavClient::SReply& reply,
                                                 const CCalDavJournal::SEntry& entry) const
{
    if (reply.status != 0 && reply.status < 500)
        Fail("The server refuses a write from the journal (" + std::to_string(reply.status) +
             "): " + entry.href + "; it stays in " + m_journal.Path());
    return Replayed::Later;
}

CCalDavBackend::Replayed CCalDavBackend::ReplayChange(const CCalDavJournal::SEntry& entry, std::string& note)
{
    CDavClient::SReply reply = m_client.Put(entry.href, entry.text, "text/calendar", entry.etag);
    SEvent* event = EventAt(entry.href);
    if (reply.status == 412) {
        // Another device changed it too: this change is made on theirs.
        const CDavClient::SReply now = m_client.Request("GET", entry.href, {});
        if (now.status == 404) {
            note =
                "An appointment changed while the server was down was removed on another device meanwhile: " +
                entry.href;
            return Replayed::Done;
        }
        CICalendarFile merged;
        std::string error, text;
        if (!now.Ok())
            return Refused(now, entry);
        if (!merged.Parse(now.body, error) || !ReapplyChange(entry.before, entry.text, merged, error) ||
            !merged.SerializeChecked(text, error)) {
            Fail("A change from the journal cannot be made on another device's version of " + entry.href +
                 " (" + error + "); it stays in " + m_journal.Path());
            return Replayed::Later;
        }
        reply = m_client.Put(entry.href, text, "text/calendar", now.etag);
        if (reply.Ok() && event)
            Restore(*event, text);
    }
    if (!reply.Ok())
        return Refused(reply, entry);
    if (event)
        event->etag = EtagOf(entry.href, reply);
    return Replayed::Done;
}

} // namespace outlook
