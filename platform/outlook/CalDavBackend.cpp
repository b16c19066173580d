#include <outlook/CalDavBackend.h>

#include <outlook/DavCollections.h>
#include <outlook/DavMultistatus.h>
#include <outlook/ReminderScheduler.h>

#include <platform/EventLoop.h>

#include <cctype>

namespace outlook {

namespace {

constexpr const char* CalendarData = "urn:ietf:params:xml:ns:caldavcalendar-data";
constexpr const char* CalendarCopy = "caldav-calendar.xml";
constexpr const char* CollectionsCopy = "caldav-collections";

const char* const EventsQuery =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<c:calendar-query xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
    "<d:prop><d:getetag/><c:calendar-data/></d:prop>"
    "<c:filter><c:comp-filter name=\"VCALENDAR\"><c:comp-filter name=\"VEVENT\"/></c:comp-filter></c:filter>"
    "</c:calendar-query>";

const char* const TagQuery = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                             "<d:propfind xmlns:d=\"DAV:\" xmlns:cs=\"http://calendarserver.org/ns/\">"
                             "<d:prop><cs:getctag/><d:sync-token/></d:prop></d:propfind>";

const char* const EtagQuery = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                              "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:getetag/></d:prop></d:propfind>";

std::string Said(const CDavClient::SReply& reply, const std::string& what)
{
    if (reply.status == 0)
        return what + ": the server could not be reached (" + reply.error + ")";
    return what + ": the server answered " + std::to_string(reply.status);
}

} // namespace

CCalDavBackend::CCalDavBackend(SSettings settings)
    : m_settings(std::move(settings)), m_client(m_settings.client)
{
}

CCalDavBackend::~CCalDavBackend()
{
    if (m_settings.loop && m_pollTimer)
        m_settings.loop->KillTimer(m_pollTimer);
}

bool CCalDavBackend::Start()
{
    std::string error;
    const CDavCollections collections(m_client);
    if (!collections.FindCalendar(m_settings.url, m_calendarUrl, error) || !ReadCalendar(error)) {
        if (!StartFromCopy(error))
            return Fail("The calendar on the server cannot be used: " + error);
    } else {
        std::string contactsError;
        const std::string from = m_settings.contactsUrl.empty() ? m_settings.url : m_settings.contactsUrl;
        if (!collections.FindAddressBook(from, m_contactsUrl, contactsError) ||
            !ReadContacts(contactsError)) {
            m_contactsUrl.clear();
            m_notes.push_back("No address book is used: " + contactsError);
        }
        KeepCopy(CollectionsCopy, m_settings.url + "\n" + m_calendarUrl + "\n" + m_contactsUrl + "\n");
    }
    if (!LoadJournal(error))
        return Fail(error);
    m_started = true;
    if (!m_fromCopy)
        ReplayJournal();
    // Started again (the application made anew): one poll still.
    if (m_settings.loop && m_pollTimer)
        m_settings.loop->KillTimer(m_pollTimer);
    if (m_settings.loop && m_settings.pollSeconds > 0)
        m_pollTimer = m_settings.loop->AddTimer(static_cast<unsigned>(m_settings.pollSeconds * 1000), true,
                                                [this](CEventLoop::TimerId) { Poll(); });
    return true;
}

bool CCalDavBackend::Open()
{
    if (!m_started)
        return Fail("The calendar server has not been reached.");
    m_open = true;
    Reindex();
    return true;
}

// Reminders wait for the next logon, as the file store's do.
void CCalDavBackend::Close()
{
    m_open = false;
    if (m_reminders)
        m_reminders->SetItems({});
}

bool CCalDavBackend::IsFolderAvailable(OlDefaultFolders folder) const
{
    if (!m_open)
        return false;
    return folder == olFolderCalendar || (folder == olFolderContacts && !m_contactsUrl.empty());
}

long CCalDavBackend::GetCount(OlDefaultFolders folder) const
{
    if (!IsFolderAvailable(folder))
        return 0;
    return static_cast<long>(folder == olFolderCalendar ? m_order.size() : m_cards.size());
}

bool CCalDavBackend::GetItem(OlDefaultFolders folder, long index, CStoredItem& item) const
{
    if (!IsFolderAvailable(folder))
        return Fail("The folder is not available.");
    if (index < 0 || index >= GetCount(folder))
        return Fail("The folder has no item at index " + std::to_string(index) + ".");
    const std::size_t at = static_cast<std::size_t>(index);
    if (folder == olFolderCalendar) {
        const auto [event, within] = m_order[at];
        item = m_events[event].calendar->GetItems()[within];
    } else {
        item = CStoredItem{m_cards[at].card.uid, m_cards[at].card.contact};
    }
    return true;
}

bool CCalDavBackend::ReadEvents(std::vector<SEvent>& events, std::vector<std::string>& notes,
                                std::string& tag, std::string& error, std::string* body) const
{
    tag = CollectionTag(m_calendarUrl);
    const CDavClient::SReply reply = m_client.Report(m_calendarUrl, 1, EventsQuery);
    if (reply.status != 207) {
        error = Said(reply, "the events could not be read");
        return false;
    }
    if (!EventsOf(reply.body, events, notes, error))
        return false;
    KeepCopy(CalendarCopy, reply.body);
    if (body)
        *body = reply.body;
    return true;
}

bool CCalDavBackend::EventsOf(const std::string& body, std::vector<SEvent>& events,
                              std::vector<std::string>& notes, std::string& error) const
{
    CDavMultistatus answer;
    if (!answer.Parse(body, error))
        return false;
    for (const CDavMultistatus::SResponse& response : answer.Responses()) {
        const CDavMultistatus::SProperty* data = response.Find(CalendarData);
        if (!data)
            continue;
        auto calendar = std::make_unique<CICalendarFile>();
        std::string parseError;
        if (!calendar->Parse(data->text, parseError)) {
            notes.push_back(response.href + " is not read: " + parseError);
            continue;
        }
        events.push_back({CDavClient::Resolve(m_calendarUrl, response.href), response.Text("DAV:getetag"),
                          std::move(calendar)});
    }
    return true;
}

bool CCalDavBackend::ReadCalendar(std::string& error)
{
    std::vector<SEvent> events;
    std::vector<std::string> notes;
    std::string tag;
    if (!ReadEvents(events, notes, tag, error))
        return false;
    m_events = std::move(events);
    m_notes = std::move(notes);
    m_calendarTag = tag;
    Reindex();
    return true;
}

void CCalDavBackend::Reindex()
{
    m_order.clear();
    std::vector<CStoredItem> items;
    for (std::size_t event = 0; event < m_events.size(); ++event) {
        for (std::size_t within = 0; within < m_events[event].calendar->GetItems().size(); ++within) {
            m_order.emplace_back(event, within);
            items.push_back(m_events[event].calendar->GetItems()[within]);
        }
    }
    if (!m_settings.loop || !m_open)
        return;
    if (!m_reminders) {
        m_reminders = std::make_unique<CReminderScheduler>(
            *m_settings.loop, [this](const CStoredItem& item) { RaiseReminder(item); });
        if (!m_settings.remindersPath.empty())
            m_reminders->SetRecordFile(m_settings.remindersPath);
    }
    m_reminders->SetItems(items);
}

std::string CCalDavBackend::CollectionTag(const std::string& url) const
{
    const CDavClient::SReply reply = m_client.Propfind(url, 0, TagQuery);
    CDavMultistatus answer;
    std::string error;
    if (reply.status != 207 || !answer.Parse(reply.body, error) || answer.Responses().empty())
        return std::string();
    const CDavMultistatus::SResponse& self = answer.Responses().front();
    const std::string ctag = self.Text("http://calendarserver.org/ns/getctag");
    return ctag.empty() ? self.Text("DAV:sync-token") : ctag;
}

void CCalDavBackend::Poll()
{
    if (ReadChanges())
        TellChanged();
}

bool CCalDavBackend::ReadChanges()
{
    if (!m_started || (m_fromCopy && !ServerAnswersAgain()))
        return false;
    if (!m_journal.empty() && !ReplayJournal())
        return false;
    auto polled = std::make_unique<SPolled>();
    const std::string tag = CollectionTag(m_calendarUrl);
    if (tag.empty()) {
        polled->error = "The calendar server did not say whether the calendar changed.";
    } else if (tag == m_calendarTag) {
        m_toldError.clear();
        return false;
    } else if (!ReadEvents(polled->events, polled->notes, polled->tag, polled->error)) {
        polled->error = "The calendar changed on the server but cannot be read now: " + polled->error;
    }
    // A failure already told is not told again.
    if (!polled->error.empty() && polled->error == m_toldError)
        return false;
    m_polled = std::move(polled);
    return true;
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
    m_events = std::move(polled->events);
    m_notes = std::move(polled->notes);
    m_calendarTag = polled->tag;
    Reindex();
    return RefreshResult::Reread;
}

// What a poll read before this write is older than the folder now; the
// next poll reads the calendar again.
void CCalDavBackend::Wrote()
{
    m_polled.reset();
    m_calendarTag.clear();
}

std::string CCalDavBackend::NewResource(const std::string& collection, const std::string& uid,
                                        const char* extension) const
{
    std::string name;
    for (char c : uid)
        name += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ? c : '_';
    const std::string base = collection.back() == '/' ? collection : collection + "/";
    return base + name + extension;
}

bool CCalDavBackend::AddItem(OlDefaultFolders folder, CStoredItem& item)
{
    if (!IsFolderAvailable(folder))
        return Fail("The folder is not available.");
    return folder == olFolderCalendar ? AddEvent(item) : AddContact(item);
}

bool CCalDavBackend::AddEvent(CStoredItem& item)
{
    auto calendar = std::make_unique<CICalendarFile>();
    std::string error, text;
    if (!calendar->AddEvent(item, error) || !calendar->SerializeChecked(text, error))
        return Fail("The appointment could not be written: " + error);
    const std::string href = NewResource(m_calendarUrl, item.id, ".ics");
    const CDavClient::SReply reply =
        m_fromCopy ? CDavClient::SReply{} : m_client.Put(href, text, "text/calendar", "");
    // A server that cannot be reached now gets the item later, from the
    // journal: it counts as saved once it is there.
    if ((reply.status == 0 || reply.status >= 500) && !m_settings.journalPath.empty()) {
        if (!JournalNewEvent(href, text, error))
            return Fail("The appointment was not saved: the server cannot be reached and " + error);
        calendar->Written(text);
        m_events.push_back({href, std::string(), std::move(calendar)});
        Reindex();
        return true;
    }
    if (!reply.Ok())
        return Fail(Said(reply, "The appointment was not saved on the server"));
    calendar->Written(text);
    std::string etag = reply.etag;
    if (etag.empty()) {
        const CDavClient::SReply found = m_client.Propfind(href, 0, EtagQuery);
        CDavMultistatus answer;
        if (found.status == 207 && answer.Parse(found.body, error) && !answer.Responses().empty())
            etag = answer.Responses().front().Text("DAV:getetag");
    }
    m_events.push_back({href, etag, std::move(calendar)});
    Reindex();
    Wrote();
    return true;
}

CCalDavBackend::SEvent* CCalDavBackend::EventOf(const EntryId& id)
{
    for (SEvent& event : m_events) {
        if (event.calendar->IndexOf(id) >= 0)
            return &event;
    }
    return nullptr;
}

bool CCalDavBackend::Reread(SEvent& event, std::string& error)
{
    const CDavClient::SReply reply = m_client.Request("GET", event.href, {});
    if (!reply.Ok()) {
        error = Said(reply, "the event could not be read again");
        return false;
    }
    auto calendar = std::make_unique<CICalendarFile>();
    if (!calendar->Parse(reply.body, error))
        return false;
    event.calendar = std::move(calendar);
    event.etag = reply.etag;
    return true;
}

bool CCalDavBackend::ChangeEvent(SEvent& event, const EventChange& change)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string error, text;
        if (!change(*event.calendar, error) || !event.calendar->SerializeChecked(text, error)) {
            Reread(event, error);
            return Fail("The appointment could not be written: " + error);
        }
        const CDavClient::SReply reply = m_client.Put(event.href, text, "text/calendar", event.etag);
        if (reply.Ok()) {
            event.calendar->Written(text);
            event.etag = reply.etag;
            Wrote();
            return true;
        }
        // Another device changed the event since it was read: its change is
        // read, and this one made again on top of it.
        if (reply.status != 412 || !Reread(event, error))
            return Fail(Said(reply, "The appointment was not saved on the server"));
    }
    return Fail("The appointment kept changing on the server; it was not saved.");
}

bool CCalDavBackend::UpdateItem(const CStoredItem& item)
{
    if (std::holds_alternative<CContactData>(item.data))
        return UpdateContact(item);
    SEvent* event = IsFolderAvailable(olFolderCalendar) ? EventOf(item.id) : nullptr;
    if (!event)
        return Fail("The calendar holds no appointment " + item.id + ".");
    const CStoredItem read =
        event->calendar->GetItems()[static_cast<std::size_t>(event->calendar->IndexOf(item.id))];
    const bool saved = ChangeEvent(*event, [&](CICalendarFile& calendar, std::string& error) {
        const long at = calendar.IndexOf(item.id);
        if (at < 0) {
            error = "another device removed the appointment meanwhile";
            return false;
        }
        const CStoredItem& now = calendar.GetItems()[static_cast<std::size_t>(at)];
        const auto* mine = std::get_if<CAppointmentData>(&item.data);
        const auto* before = std::get_if<CAppointmentData>(&read.data);
        const auto* theirs = std::get_if<CAppointmentData>(&now.data);
        if (!mine || !before || !theirs) {
            error = "only appointments can be saved in the calendar";
            return false;
        }
        return calendar.UpdateEvent(CStoredItem{item.id, MergedChange(*before, *mine, *theirs)}, error);
    });
    Reindex();
    return saved;
}

bool CCalDavBackend::RemoveItem(const EntryId& id)
{
    SEvent* event = IsFolderAvailable(olFolderCalendar) ? EventOf(id) : nullptr;
    if (!event)
        return Fail("The calendar holds no appointment " + id + ".");
    bool removed = false;
    if (event->calendar->GetItems().size() > 1) {
        removed = ChangeEvent(*event, [&id](CICalendarFile& calendar, std::string& error) {
            return calendar.RemoveEvent(id, error);
        });
    } else {
        const CDavClient::SReply reply =
            m_client.Request("DELETE", event->href, {"If-Match: " + event->etag});
        removed = reply.Ok() || reply.status == 404;
        if (!removed)
            Fail(Said(reply, "The appointment was not removed from the server"));
        else
            m_events.erase(m_events.begin() + (event - m_events.data()));
    }
    Wrote();
    Reindex();
    return removed;
}

bool CCalDavBackend::SendMail(const CMailData& mail)
{
    return SendWithMailSender(mail);
}

std::vector<std::string> CCalDavBackend::GetReadNotes(OlDefaultFolders folder) const
{
    return folder == olFolderCalendar ? m_notes : std::vector<std::string>();
}

} // namespace outlook
