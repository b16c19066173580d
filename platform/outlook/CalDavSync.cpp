// Following the changes other devices make to a CalDAV calendar: with the
// collection's sync token where the server keeps one (only what changed is
// read), else by its ctag (the whole calendar is read when it moved).

#include <outlook/CalDavBackend.h>

#include <outlook/DavMultistatus.h>

namespace outlook {

namespace {

const char* const TagQuery = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                             "<d:propfind xmlns:d=\"DAV:\" xmlns:cs=\"http://calendarserver.org/ns/\">"
                             "<d:prop><cs:getctag/><d:sync-token/></d:prop></d:propfind>";

std::string SyncQuery(const std::string& token)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<d:sync-collection xmlns:d=\"DAV:\"><d:sync-token>" +
           CDavMultistatus::Escaped(token) +
           "</d:sync-token><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>";
}

std::string MultigetQuery(const std::vector<std::string>& hrefs)
{
    std::string query = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                        "<c:calendar-multiget xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
                        "<d:prop><d:getetag/><c:calendar-data/></d:prop>";
    for (const std::string& href : hrefs)
        query += "<d:href>" + CDavMultistatus::Escaped(href) + "</d:href>";
    return query + "</c:calendar-multiget>";
}

} // namespace

CCalDavBackend::STags CCalDavBackend::CollectionTags(const std::string& url) const
{
    const CDavClient::SReply reply = m_client.Propfind(url, 0, TagQuery);
    CDavMultistatus answer;
    std::string error;
    if (reply.status != 207 || !answer.Parse(reply.body, error) || answer.Responses().empty())
        return STags{};
    const CDavMultistatus::SResponse& self = answer.Responses().front();
    return {self.Text("http://calendarserver.org/ns/getctag"), self.Text("DAV:sync-token")};
}

void CCalDavBackend::Poll()
{
    if (ReadChanges())
        TellChanged();
}

bool CCalDavBackend::ReadChanges()
{
    const bool wasDown = m_fromCopy;
    if (!m_started || (m_fromCopy && !ServerAnswersAgain()))
        return false;
    const bool owed = !m_journal.IsEmpty();
    std::vector<std::string> replayed;
    if (owed && !ReplayJournal(replayed))
        return false;
    auto polled = std::make_unique<SPolled>();
    // The writes kept while the server was down are on it now: the store is
    // read again, so that those who show it see it is the server's.
    const bool caughtUp = wasDown || owed;
    if (!(m_syncToken.empty() ? CompareTags(*polled) : SyncChanges(*polled))) {
        m_toldError.clear();
        if (!caughtUp)
            return false;
        polled = std::make_unique<SPolled>();
        polled->whole = false;
    }
    polled->notes.insert(polled->notes.begin(), replayed.begin(), replayed.end());
    // A failure already told is not told again.
    if (!polled->error.empty() && polled->error == m_toldError)
        return false;
    m_polled = std::move(polled);
    return true;
}

bool CCalDavBackend::CompareTags(SPolled& polled)
{
    const STags tags = CollectionTags(m_calendarUrl);
    const std::string tag = tags.ctag.empty() ? tags.syncToken : tags.ctag;
    if (tag.empty())
        polled.error = "The calendar server did not say whether the calendar changed.";
    else if (tag == m_calendarTag)
        return false;
    else if (!ReadEvents(polled, polled.error))
        polled.error = "The calendar changed on the server but cannot be read now: " + polled.error;
    return true;
}

// A refusal means the token is no longer valid (the server forgot it) or
// the report is not offered: the calendar is read whole, and in the second
// case tags are compared from then on. Any other failure is the server's
// trouble of the moment.
bool CCalDavBackend::SyncChanges(SPolled& polled)
{
    const CDavClient::SReply reply = m_client.Report(m_calendarUrl, 0, SyncQuery(m_syncToken));
    CDavMultistatus answer;
    std::string error;
    const bool refused = reply.status == 400 || reply.status == 403 || reply.status == 404 ||
                         reply.status == 405 || reply.status == 409 || reply.status == 501;
    if (reply.status != 207 && !refused) {
        polled.error = reply.Said("The calendar server cannot be asked for changes now");
        return true;
    }
    if (refused || !answer.Parse(reply.body, error)) {
        m_syncRefused = reply.body.find("valid-sync-token") == std::string::npos;
        m_syncToken.clear();
        m_calendarTag.clear();
        return CompareTags(polled);
    }
    polled.whole = false;
    polled.syncToken = answer.SyncToken();
    std::vector<std::string> changed;
    for (const CDavMultistatus::SResponse& response : answer.Responses()) {
        const std::string href = CDavClient::Resolve(m_calendarUrl, response.href);
        const SEvent* known = EventAt(href);
        if (response.status == 404 || response.status == 410) {
            if (known)
                polled.removed.push_back(href);
        } else if (response.Find("DAV:getetag") && (!known || known->etag != response.Text("DAV:getetag"))) {
            changed.push_back(response.href);
        }
    }
    if (changed.empty() && polled.removed.empty()) {
        // Only this agent's own writes, already held.
        m_syncToken = polled.syncToken.empty() ? m_syncToken : polled.syncToken;
        return false;
    }
    if (!changed.empty() && !Multiget(changed, polled))
        polled.error = "The calendar changed on the server but cannot be read now: " + polled.error;
    return true;
}

bool CCalDavBackend::Multiget(const std::vector<std::string>& hrefs, SPolled& polled) const
{
    const CDavClient::SReply reply = m_client.Report(m_calendarUrl, 1, MultigetQuery(hrefs));
    if (reply.status != 207) {
        polled.error = reply.Said("the changed events could not be read");
        return false;
    }
    return EventsOf(reply.body, polled.events, polled.notes, polled.error);
}

CBackend::RefreshResult CCalDavBackend::Refresh()
{
    if (!m_settings.loop)
        ReadChanges();
    if (!m_polled)
        return RefreshResult::Unchanged;
    std::unique_ptr<SPolled> polled = std::move(m_polled);
    if (!polled->error.empty()) {
        m_toldError = polled->error;
        Fail(polled->error);
        return RefreshResult::Failed;
    }
    m_toldError.clear();
    TakePolled(*polled);
    return RefreshResult::Reread;
}

void CCalDavBackend::TakePolled(SPolled& polled)
{
    if (polled.whole) {
        m_events = std::move(polled.events);
        m_notes = std::move(polled.notes);
        m_calendarTag = polled.tag;
    } else {
        for (const std::string& href : polled.removed) {
            if (const SEvent* gone = EventAt(href))
                m_events.erase(m_events.begin() + (gone - m_events.data()));
        }
        for (SEvent& event : polled.events) {
            if (SEvent* known = EventAt(event.href))
                *known = std::move(event);
            else
                m_events.push_back(std::move(event));
        }
        // The notes say what the last read met, once.
        m_notes = std::move(polled.notes);
    }
    KeepCalendarCopy();
    if (!polled.syncToken.empty())
        m_syncToken = polled.syncToken;
    Reindex();
}

} // namespace outlook
