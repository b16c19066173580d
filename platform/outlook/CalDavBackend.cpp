#include <outlook/CalDavBackend.h>

#include <outlook/DavCollections.h>
#include <outlook/DavMultistatus.h>
#include <outlook/ReminderScheduler.h>

#include <platform/EventLoop.h>

#include <cctype>

namespace outlook {

namespace {

const char* const EventsQuery =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<c:calendar-query xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\">"
    "<d:prop><d:getetag/><c:calendar-data/></d:prop>"
    "<c:filter><c:comp-filter name=\"VCALENDAR\"><c:comp-filter name=\"VEVENT\"/></c:comp-filter></c:filter>"
    "</c:calendar-query>";

const char* const EtagQuery = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                              "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:getetag/></d:prop></d:propfind>";

} // namespace

CCalDavBackend::CCalDavBackend(SSettings settings)
    : m_settings(std::move(settings)), m_client(m_settings.client), m_journal(m_settings.journalPath)
{
}

CCalDavBackend::~CCalDavBackend()
{
    if (m_settings.loop && m_pollTimer)
        m_settings.loop->KillTimer(m_pollTimer);
    if (m_settings.loop && m_copyTimer) {
        m_settings.loop->KillTimer(m_copyTimer);
        WriteCalendarCopy();
    }
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
    if (!m_journal.Load(error))
        return Fail(error);
    m_started = true;
    if (!m_fromCopy)
        ReplayJournal(m_notes);
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

bool CCalDavBackend::ReadEvents(SPolled& read, std::string& error) const
{
    const STags tags = CollectionTags(m_calendarUrl);
    read.tag = tags.ctag.empty() ? tags.syncToken : tags.ctag;
    read.syncToken = m_syncRefused ? std::string() : tags.syncToken;
    const CDavClient::SReply reply = m_client.ReportCollection(m_calendarUrl, EventsQuery);
    if (reply.status != 207) {
        error = reply.Said("the events could not be read");
        return false;
    }
    return EventsOf(reply.body, read.events, read.notes, error);
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
    SPolled read;
    if (!ReadEvents(read, error))
        return false;
    TakePolled(read);
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

// What a poll read before this write is older than the folder now; the
// next poll reads the calendar again.
void CCalDavBackend::Wrote()
{
    m_polled.reset();
    m_calendarTag.clear();
    KeepCalendarCopy();
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
    const bool owed = m_fromCopy || m_journal.Holds(href);
    const CDavClient::SReply reply =
        owed ? CDavClient::SReply{} : m_client.Put(href, text, "text/calendar", "");
    // A server that cannot be reached now gets the item later, from the
    // journal: it counts as saved once it is there.
    if (IsUnreachable(reply)) {
        SEvent event{href, std::string(), std::move(calendar)};
        if (!Owe(event, {CCalDavJournal::Kind::Create, href, std::string(), std::string(), text}))
            return false;
        Added(std::move(event));
        return true;
    }
    if (!reply.Ok())
        return Fail(reply.Said("The appointment was not saved on the server"));
    calendar->Written(text);
    Added({href, EtagOf(href, reply), std::move(calendar)});
    Wrote();
    return true;
}

// The new resource's item joins the folder's order and the reminders on
// its own: a calendar of many events is not gone through again.
void CCalDavBackend::Added(SEvent event)
{
    m_events.push_back(std::move(event));
    const SEvent& added = m_events.back();
    for (std::size_t within = 0; within < added.calendar->GetItems().size(); ++within) {
        m_order.emplace_back(m_events.size() - 1, within);
        if (m_reminders && m_open)
            m_reminders->AddItem(added.calendar->GetItems()[within]);
    }
}

// Servers need not say the version a PUT made; then it is asked for, so
// that the next change is made on it.
std::string CCalDavBackend::EtagOf(const std::string& href, const CDavClient::SReply& put) const
{
    if (!put.etag.empty())
        return put.etag;
    const CDavClient::SReply found = m_client.Propfind(href, 0, EtagQuery);
    CDavMultistatus answer;
    std::string error;
    if (found.status == 207 && answer.Parse(found.body, error) && !answer.Responses().empty())
        return answer.Responses().front().Text("DAV:getetag");
    return std::string();
}

// Unreachable, or failing on its side: the write waits in the journal.
bool CCalDavBackend::IsUnreachable(const CDavClient::SReply& reply) const
{
    return (reply.status == 0 || reply.status >= 500) && m_journal.IsUsed();
}

CCalDavBackend::SEvent* CCalDavBackend::EventOf(const EntryId& id)
{
    for (SEvent& event : m_events) {
        if (event.calendar->IndexOf(id) >= 0)
            return &event;
    }
    return nullptr;
}

CCalDavBackend::SEvent* CCalDavBackend::EventAt(const std::string& href)
{
    for (SEvent& event : m_events) {
        if (event.href == href)
            return &event;
    }
    return nullptr;
}

bool CCalDavBackend::Reread(SEvent& event, std::string& error)
{
    const CDavClient::SReply reply = m_client.Request("GET", event.href, {});
    if (!reply.Ok()) {
        error = reply.Said("the event could not be read again");
        return false;
    }
    auto calendar = std::make_unique<CICalendarFile>();
    if (!calendar->Parse(reply.body, error))
        return false;
    event.calendar = std::move(calendar);
    event.etag = reply.etag;
    return true;
}

void CCalDavBackend::Restore(SEvent& event, const std::string& text)
{
    auto calendar = std::make_unique<CICalendarFile>();
    std::string error;
    if (calendar->ParseUnchecked(text, error))
        event.calendar = std::move(calendar);
}

bool CCalDavBackend::ChangeEvent(SEvent& event, const EventChange& change)
{
    const bool owed = m_fromCopy || m_journal.Holds(event.href);
    for (int attempt = 0; attempt < 2; ++attempt) {
        std::string error, text;
        const std::string before = event.calendar->Text();
        if (!change(*event.calendar, error) || !event.calendar->SerializeChecked(text, error)) {
            Restore(event, before);
            return Fail("The appointment could not be written: " + error);
        }
        const CDavClient::SReply reply =
            owed ? CDavClient::SReply{} : m_client.Put(event.href, text, "text/calendar", event.etag);
        if (reply.Ok()) {
            event.calendar->Written(text);
            event.etag = EtagOf(event.href, reply);
            Wrote();
            return true;
        }
        if (IsUnreachable(reply))
            return Owe(event, {CCalDavJournal::Kind::Change, event.href, event.etag, before, text});
        // Another device changed the event since it was read: its change is
        // read, and this one made again on top of it.
        if (reply.status != 412 || !Reread(event, error)) {
            Restore(event, before);
            return Fail(reply.Said("The appointment was not saved on the server"));
        }
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
    const bool removed =
        event->calendar->GetItems().size() > 1
            ? ChangeEvent(*event, [&id](CICalendarFile& calendar,
                                        std::string& error) { return calendar.RemoveEvent(id, error); })
            : RemoveEvent(*event);
    Reindex();
    return removed;
}

bool CCalDavBackend::RemoveEvent(SEvent& event)
{
    const bool owed = m_fromCopy || m_journal.Holds(event.href);
    const CDavClient::SReply reply =
        owed ? CDavClient::SReply{} : m_client.Request("DELETE", event.href, {"If-Match: " + event.etag});
    if (IsUnreachable(reply)) {
        if (!Owe(event, {CCalDavJournal::Kind::Remove, event.href, event.etag, std::string(), std::string()}))
            return false;
    } else if (!reply.Ok() && reply.status != 404) {
        return Fail(reply.Said("The appointment was not removed from the server"));
    } else {
        Wrote();
    }
    m_events.erase(m_events.begin() + (&event - m_events.data()));
    KeepCalendarCopy();
    return true;
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
