// A CalDAV back-end while its server is down: it starts from the copy it
// read last, and the new items it must write wait in a journal (an atomic,
// synced file) that is put on the server in order once it answers again.

#include <outlook/CalDavBackend.h>

#include <outlook/DavCollections.h>

#include <platform/AtomicFile.h>

#include <sstream>

namespace outlook {

namespace {

constexpr const char* CalendarCopy = "caldav-calendar.xml";
constexpr const char* CollectionsCopy = "caldav-collections";
constexpr const char* JournalHeader = "orvante-caldav-journal 1";

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

bool CCalDavBackend::LoadJournal(std::string& error)
{
    m_journal.clear();
    if (m_settings.journalPath.empty())
        return true;
    std::string text;
    bool exists = false;
    if (!CAtomicFile(m_settings.journalPath).Read(text, exists, error))
        return false;
    if (!exists)
        return true;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    const std::string broken = "The journal of meetings not yet on the server, " + m_settings.journalPath +
                               ", cannot be read; it is left as it is";
    if (line != JournalHeader) {
        error = broken;
        return false;
    }
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string verb, href;
        std::size_t length = 0;
        if (!(words >> verb >> href >> length) || verb != "PUT" || length > text.size()) {
            error = broken;
            return false;
        }
        std::string body(length, '\0');
        if (!in.read(body.data(), static_cast<std::streamsize>(length)) || in.get() != '\n') {
            error = broken;
            return false;
        }
        m_journal.push_back({href, std::move(body)});
    }
    return true;
}

bool CCalDavBackend::SaveJournal(std::string& error) const
{
    std::string text = std::string(JournalHeader) + "\n";
    for (const SJournalEntry& entry : m_journal)
        text += "PUT " + entry.href + " " + std::to_string(entry.text.size()) + "\n" + entry.text + "\n";
    const std::size_t slash = m_settings.journalPath.rfind('/');
    return (slash == std::string::npos ||
            CAtomicFile::MakeDirectories(m_settings.journalPath.substr(0, slash), error)) &&
           CAtomicFile(m_settings.journalPath).Replace(text, error);
}

bool CCalDavBackend::JournalNewEvent(const std::string& href, const std::string& text, std::string& error)
{
    m_journal.push_back({href, text});
    if (SaveJournal(error))
        return true;
    m_journal.pop_back();
    error = "the journal could not be written (" + error + ")";
    return false;
}

// In order, each once: an item the server already holds (a 412 to
// If-None-Match: *) landed on an earlier try whose end was not written down.
bool CCalDavBackend::ReplayJournal()
{
    while (!m_journal.empty()) {
        const SJournalEntry& next = m_journal.front();
        const CDavClient::SReply reply = m_client.Put(next.href, next.text, "text/calendar", std::string());
        if (!reply.Ok() && reply.status != 412) {
            if (reply.status != 0 && reply.status < 500)
                Fail("The server refuses a meeting from the journal (" + std::to_string(reply.status) +
                     "): " + next.href + "; it stays in " + m_settings.journalPath);
            return false;
        }
        m_journal.erase(m_journal.begin());
        std::string error;
        if (!SaveJournal(error)) {
            Fail("The journal could not be written: " + error);
            return false;
        }
        Wrote();
    }
    return true;
}

} // namespace outlook
