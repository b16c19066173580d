#include <outlook/FileBackend.h>

#include <outlook/ICalendarFile.h>
#include <outlook/MailSender.h>
#include <outlook/ReminderScheduler.h>
#include <outlook/VCardFile.h>
#include <outlook/VCardSplicer.h>

#include <platform/AtomicFile.h>
#include <platform/EventLoop.h>

#include <algorithm>
#include <set>

#include <malloc.h>
#include <utility>

namespace outlook {
namespace {
bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}
} // namespace

CFileBackend::CFileBackend(std::string directory, CEventLoop* loop)
    : m_directory(std::move(directory)), m_loop(loop), m_calendar(std::make_unique<CICalendarFile>())
{
    while (m_directory.size() > 1 && m_directory.back() == '/')
        m_directory.pop_back();
}

CFileBackend::~CFileBackend()
{
    if (m_trimTimer != CEventLoop::kNoTimer)
        m_loop->KillTimer(m_trimTimer);
}

std::string CFileBackend::GetCalendarPath() const
{
    return m_directory + "/" + CalendarFileName;
}

std::string CFileBackend::GetContactsPath() const
{
    return m_directory + "/" + ContactsFileName;
}

const std::vector<std::string>& CFileBackend::GetCalendarNotes() const
{
    return m_calendar->GetNotes();
}

std::vector<std::string> CFileBackend::GetReadNotes(OlDefaultFolders folder) const
{
    return folder == olFolderCalendar ? GetCalendarNotes() : std::vector<std::string>();
}

bool CFileBackend::ParseCalendar(const std::string& text, std::string& error)
{
    auto calendar = std::make_unique<CICalendarFile>();
    // Whether the calendar would read back is asked before each write
    // (WriteCalendar), not on every read.
    if (!IsBlank(text) && !calendar->ParseUnchecked(text, error))
        return false;
    m_calendar = std::move(calendar);
    m_calendarText = text;
    return true;
}

bool CFileBackend::ParseContacts(const std::string& text, CContacts& contacts, std::string& error)
{
    CContacts parsed;
    parsed.text = text;
    if (!IsBlank(text) && !CVCardFile::Parse(text, parsed.cards, error))
        return false;
    std::set<std::string> used;
    for (std::size_t i = 0; i < parsed.cards.size(); ++i) {
        const std::string& uid = parsed.cards[i].uid;
        std::string id = uid.empty() ? "card:" + std::to_string(i + 1) : uid;
        const std::string base = id;
        for (int n = 2; used.count(id); ++n)
            id = base + "#" + std::to_string(n);
        used.insert(id);
        parsed.ids.push_back(id);
    }
    contacts = std::move(parsed);
    return true;
}

// Both read the file (its stamp taken first, so that a change during the
// read is seen next time) and parse it unless it holds the text already
// held; `changed` says which it was.
bool CFileBackend::ReadCalendar(std::string& error, bool* changed)
{
    const std::string path = GetCalendarPath();
    std::string text;
    if (!ReadFile(path, CICalendarFile::MaxTextSize, m_calendarStamp, text, error))
        return false;
    const bool differs = text != m_calendarText || !m_started;
    if (changed)
        *changed = differs;
    if (differs && !ParseCalendar(text, error)) {
        // The stamp is of text we do not hold: it must not later vouch for it.
        m_calendarStamp = CFileStamp();
        return Unreadable(path, error);
    }
    return true;
}

bool CFileBackend::ReadContacts(std::string& error, bool* changed)
{
    const std::string path = GetContactsPath();
    std::string text;
    if (!ReadFile(path, CVCardFile::MaxTextSize, m_contactsStamp, text, error))
        return false;
    const bool differs = text != m_contacts.text || !m_started;
    if (changed)
        *changed = differs;
    if (differs && !ParseContacts(text, m_contacts, error)) {
        m_contactsStamp = CFileStamp();
        return Unreadable(path, error);
    }
    return true;
}

bool CFileBackend::ReadFile(const std::string& path, std::size_t limit, CFileStamp& stamp, std::string& text,
                            std::string& error)
{
    stamp = CFileStamp::Of(path);
    bool exists = false;
    return CAtomicFile(path, limit).Read(text, exists, error);
}

bool CFileBackend::Unreadable(const std::string& path, std::string& error)
{
    error = path + ": " + error + " (the file is left as it is)";
    return false;
}

// Whether the file may differ from what was read: its stamp changed, or
// the read came so soon after a write that an edit in the same clock tick
// would leave the stamp as it was.
bool CFileBackend::Unsure(const CFileStamp& known, const std::string& path)
{
    return !known.IsSettled() || CFileStamp::Of(path) != known;
}

CBackend::RefreshResult CFileBackend::Refresh()
{
    // A batch keeps the calendar locked until it has written it.
    if (!m_started || m_batchLock)
        return RefreshResult::Unchanged;
    bool calendarChanged = false;
    bool contactsChanged = false;
    std::string error;
    bool read = true;
    if (Unsure(m_calendarStamp, GetCalendarPath()))
        read = ReadCalendar(error, &calendarChanged);
    if (read && Unsure(m_contactsStamp, GetContactsPath()))
        read = ReadContacts(error, &contactsChanged);
    if (!read) {
        Fail(error);
        return RefreshResult::Failed;
    }
    if (!calendarChanged && !contactsChanged)
        return RefreshResult::Unchanged;
    if (calendarChanged) {
        TrimWhenIdle();
        ScheduleReminders();
    }
    return RefreshResult::Reread;
}

bool CFileBackend::Start()
{
    std::string error;
    if (!CAtomicFile::MakeDirectories(m_directory, error))
        return Fail(error);
    RemoveLeftoverTemporaries();
    if (!ReadCalendar(error) || !ReadContacts(error)) {
        m_started = false;
        return Fail(error);
    }
    m_started = true;
    TrimWhenIdle();
    ScheduleReminders();
    return true;
}

// A writer killed between writing its temporary and the rename leaves the
// temporary behind; nothing reads it, so it only wastes the disk. One that
// cannot be removed (not a plain file of the user's) is left: the next write
// then says why it cannot use it.
void CFileBackend::RemoveLeftoverTemporaries()
{
    for (const std::string& path : {GetCalendarPath(), GetContactsPath()}) {
        std::string error;
        CAtomicFile(path).RemoveLeftoverTemporary(error);
    }
}

bool CFileBackend::Open()
{
    m_open = true;
    ScheduleReminders();
    return true;
}

void CFileBackend::Close()
{
    m_open = false;
    // Reminders wait for the next logon; those whose meeting is still ahead
    // by then fire at once.
    if (m_reminders)
        m_reminders->SetItems({});
}

bool CFileBackend::IsFolderAvailable(OlDefaultFolders folder) const
{
    return m_open && m_started && (folder == olFolderCalendar || folder == olFolderContacts);
}

long CFileBackend::GetCount(OlDefaultFolders folder) const
{
    if (!IsFolderAvailable(folder))
        return 0;
    const std::size_t count =
        folder == olFolderCalendar ? m_calendar->GetItems().size() : m_contacts.cards.size();
    return static_cast<long>(count);
}

bool CFileBackend::GetItem(OlDefaultFolders folder, long index, CStoredItem& item) const
{
    if (!IsFolderAvailable(folder))
        return Fail("The folder is not available.");
    if (index < 0 || index >= GetCount(folder))
        return Fail("The folder has no item at index " + std::to_string(index) + ".");
    const std::size_t at = static_cast<std::size_t>(index);
    if (folder == olFolderCalendar)
        item = m_calendar->GetItems()[at];
    else
        item = CStoredItem{m_contacts.ids[at], m_contacts.cards[at].contact};
    return true;
}

bool CFileBackend::AddItem(OlDefaultFolders folder, CStoredItem& item)
{
    if (!IsFolderAvailable(folder))
        return Fail("The folder is not available.");
    if (folder == olFolderCalendar)
        return AddEvent(item);
    return AddContact(item);
}

bool CFileBackend::LockCalendar(const CAtomicFile& file, std::optional<CAtomicFile::CLock>& lock,
                                bool& changedOutside, std::string& error)
{
    changedOutside = false;
    // The batch's first save checked the file, and its lock kept every
    // other writer out since.
    if (m_batchLock)
        return true;
    lock.emplace(file.Lock(error));
    if (!lock->IsHeld())
        return false;
    // A settled stamp as it was proves the text held is the file's; else
    // the file is read, and when another program wrote it, built on.
    std::string text;
    bool exists = false;
    const bool unsure = Unsure(m_calendarStamp, file.GetPath());
    if (unsure && !file.ReadLocked(text, exists, error))
        return false;
    changedOutside = unsure && text != m_calendarText;
    if (changedOutside && !ParseCalendar(text, error)) {
        error = file.GetPath() + " was changed and cannot be read now (" + error + "); nothing was saved.";
        return false;
    }
    if (InBatch())
        m_batchLock.emplace(std::move(*lock));
    return true;
}

bool CFileBackend::AddEvent(CStoredItem& item)
{
    if (!std::holds_alternative<CAppointmentData>(item.data))
        return Fail("Only appointments can be saved in the calendar folder.");
    const CAtomicFile file(GetCalendarPath(), CICalendarFile::MaxTextSize);
    std::string error;
    std::optional<CAtomicFile::CLock> lock;
    bool changedOutside = false;
    if (!LockCalendar(file, lock, changedOutside, error))
        return Fail(error);
    if (std::optional<CICalendarFile::SAppend> append = m_calendar->PrepareAppend(item, error)) {
        if (InBatch()) {
            item.id = append->item.id;
            m_calendar->CommitAppend(std::move(*append));
            m_batchUnwritten = true;
            return true;
        }
        if (!AppendToCalendar(file, std::move(*append), item, error))
            return Fail(error);
        if (changedOutside)
            ScheduleReminders();
        return true;
    }
    if (!error.empty())
        return Fail("The appointment could not be saved: " + error + ".");
    CStoredItem added = item;
    if (!m_calendar->AddEvent(added, error))
        return Fail("The appointment could not be saved: " + error + ".");
    item.id = added.id;
    if (InBatch()) {
        m_batchUnwritten = true;
        return true;
    }
    if (!WriteCalendar(file, error))
        return Fail(error);
    ScheduleReminders();
    return true;
}

void CFileBackend::BeginBatch()
{
    ++m_batchDepth;
}

bool CFileBackend::EndBatch()
{
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return true;
    // The lock goes when the batch ends, written or not.
    const std::optional<CAtomicFile::CLock> lock = std::move(m_batchLock);
    m_batchLock.reset();
    if (!m_batchUnwritten)
        return true;
    m_batchUnwritten = false;
    std::string error;
    const bool written = WriteBatch(CAtomicFile(GetCalendarPath(), CICalendarFile::MaxTextSize), error);
    ScheduleReminders();
    return written || Fail(error);
}

// On any failure the calendar goes back to the text last read or written,
// and the batch's saves are gone with it.
bool CFileBackend::WriteBatch(const CAtomicFile& file, std::string& error)
{
    std::string text;
    std::string ignored;
    bool exists = false;
    if (!file.ReadLocked(text, exists, error) || text != m_calendarText) {
        if (error.empty())
            error = file.GetPath() + " was changed by another program while the appointments were saved; "
                                     "nothing was saved.";
        ParseCalendar(m_calendarText, ignored);
        // The next refresh reads the file as it is now.
        m_calendarStamp = CFileStamp();
        return false;
    }
    const std::string* whole = m_calendar->TextWithoutChanges();
    if (!whole)
        return WriteCalendar(file, error);
    std::string after = *whole;
    if (!file.ReplaceLocked(after, error)) {
        ParseCalendar(m_calendarText, ignored);
        return false;
    }
    m_calendarText = std::move(after);
    m_calendarStamp = CFileStamp::Of(file.GetPath());
    TrimWhenIdle();
    return true;
}

// The new event's text goes in before the calendar's end; every other
// byte of the file stays as it was, and nothing else is parsed or written
// anew. The replace is as atomic and durable as a whole write.
bool CFileBackend::AppendToCalendar(const CAtomicFile& file, CICalendarFile::SAppend append,
                                    CStoredItem& item, std::string& error)
{
    std::string text = m_calendar->TextWith(append);
    if (!file.ReplaceLocked(text, error))
        return false;
    item.id = append.item.id;
    m_calendarText = std::move(text);
    const CStoredItem added = append.item;
    m_calendar->CommitAppend(std::move(append));
    m_calendarStamp = CFileStamp::Of(file.GetPath());
    TrimWhenIdle();
    if (m_reminders && m_open && m_started)
        m_reminders->AddItem(added);
    else
        ScheduleReminders();
    return true;
}

bool CFileBackend::WriteCalendar(const CAtomicFile& file, std::string& error)
{
    std::string after;
    std::string ignored;
    if (!m_calendar->SerializeChecked(after, error)) {
        error = "The appointment was not saved: " + error + "; " + file.GetPath() + " is left as it is.";
        ParseCalendar(m_calendarText, ignored);
        return false;
    }
    if (!file.ReplaceLocked(after, error)) {
        ParseCalendar(m_calendarText, ignored);
        return false;
    }
    m_calendar->Written(after);
    m_calendarText = std::move(after);
    m_calendarStamp = CFileStamp::Of(file.GetPath());
    TrimWhenIdle();
    return true;
}

bool CFileBackend::AddContact(CStoredItem& item)
{
    const CContactData* contact = std::get_if<CContactData>(&item.data);
    if (!contact)
        return Fail("Only contacts can be saved in the contacts folder.");
    const CAtomicFile file(GetContactsPath(), CVCardFile::MaxTextSize);
    std::string error, text;
    bool exists = false;
    const CAtomicFile::CLock lock = file.Lock(error);
    if (!lock.IsHeld() || !file.ReadLocked(text, exists, error))
        return Fail(error);
    if (text != m_contacts.text && !ParseContacts(text, m_contacts, error))
        return Fail(file.GetPath() + " was changed and cannot be read now (" + error +
                    "); nothing was saved.");
    CVCard card{CVCardFile::MakeUid(), *contact};
    const std::string after = CVCardSplicer::Append(text, card);
    CContacts updated;
    if (!ParseContacts(after, updated, error))
        return Fail("The contact could not be saved: " + error + ".");
    if (!file.ReplaceLocked(after, error))
        return Fail(error);
    m_contacts = std::move(updated);
    m_contactsStamp = CFileStamp::Of(file.GetPath());
    item.id = card.uid;
    return true;
}

long CFileBackend::ContactIndex(const EntryId& id) const
{
    const auto found = std::find(m_contacts.ids.begin(), m_contacts.ids.end(), id);
    return found == m_contacts.ids.end() ? -1 : static_cast<long>(found - m_contacts.ids.begin());
}

bool CFileBackend::UpdateItem(const CStoredItem& item)
{
    if (!m_open)
        return Fail("The store is closed.");
    if (!m_started)
        return Fail("The store has not been read.");
    if (std::holds_alternative<CAppointmentData>(item.data))
        return UpdateEvent(item);
    if (std::holds_alternative<CContactData>(item.data))
        return UpdateContact(item);
    return Fail("No item has the id " + item.id + ".");
}

bool CFileBackend::UpdateEvent(const CStoredItem& item)
{
    return ChangeCalendar([this, &item](std::string& error) {
        if (m_calendar->IndexOf(item.id) < 0) {
            error = ContactIndex(item.id) >= 0 ? "An item cannot change its kind."
                                               : "No item has the id " + item.id + ".";
            return false;
        }
        if (m_calendar->UpdateEvent(item, error))
            return true;
        error = "The appointment could not be saved: " + error + ".";
        return false;
    });
}

bool CFileBackend::RemoveItem(const EntryId& id)
{
    if (!m_open)
        return Fail("The store is closed.");
    if (!m_started)
        return Fail("The store has not been read.");
    return ChangeCalendar([this, &id](std::string& error) {
        if (m_calendar->RemoveEvent(id, error))
            return true;
        error = "The appointment could not be removed: " + error + ".";
        return false;
    });
}

bool CFileBackend::ChangeCalendar(const std::function<bool(std::string& error)>& change)
{
    const CAtomicFile file(GetCalendarPath(), CICalendarFile::MaxTextSize);
    std::string error;
    std::optional<CAtomicFile::CLock> lock;
    bool changedOutside = false;
    if (!LockCalendar(file, lock, changedOutside, error) || !change(error))
        return Fail(error);
    return WriteChange(file, error);
}

bool CFileBackend::WriteChange(const CAtomicFile& file, std::string& error)
{
    if (InBatch()) {
        m_batchUnwritten = true;
        return true;
    }
    if (!WriteCalendar(file, error))
        return Fail(error);
    ScheduleReminders();
    return true;
}

bool CFileBackend::UpdateContact(const CStoredItem& item)
{
    const CAtomicFile file(GetContactsPath(), CVCardFile::MaxTextSize);
    std::string error, text;
    bool exists = false;
    const CAtomicFile::CLock lock = file.Lock(error);
    if (!lock.IsHeld() || !file.ReadLocked(text, exists, error))
        return Fail(error);
    if (text != m_contacts.text && !ParseContacts(text, m_contacts, error))
        return Fail(file.GetPath() + " was changed and cannot be read now (" + error +
                    "); nothing was saved.");
    const long index = ContactIndex(item.id);
    if (index < 0) {
        const auto& events = m_calendar->GetItems();
        const bool isEvent =
            std::any_of(events.begin(), events.end(), [&](const CStoredItem& e) { return e.id == item.id; });
        return Fail(isEvent ? "An item cannot change its kind." : "No item has the id " + item.id + ".");
    }
    const std::string& uid = m_contacts.cards[static_cast<std::size_t>(index)].uid;
    const CVCard card{uid.empty() ? CVCardFile::MakeUid() : uid, std::get<CContactData>(item.data)};
    std::string after;
    if (!CVCardSplicer::Replace(text, static_cast<std::size_t>(index), card, after, error))
        return Fail(file.GetPath() + ": " + error + "; nothing was saved.");
    CContacts updated;
    if (!ParseContacts(after, updated, error) || updated.cards.size() != m_contacts.cards.size())
        return Fail("The contact could not be saved: " + (error.empty() ? "the cards would change" : error) +
                    ".");
    if (!file.ReplaceLocked(after, error))
        return Fail(error);
    // A card that had no UID keeps the id it was handed out under.
    updated.ids[static_cast<std::size_t>(index)] = item.id;
    m_contacts = std::move(updated);
    m_contactsStamp = CFileStamp::Of(file.GetPath());
    return true;
}

bool CFileBackend::SendMail(const CMailData& mail)
{
    return SendWithMailSender(mail);
}

void CFileBackend::ScheduleReminders()
{
    if (!m_loop || !m_open || !m_started)
        return;
    if (!m_reminders) {
        m_reminders = std::make_unique<CReminderScheduler>(
            *m_loop, [this](const CStoredItem& item) { OnReminderDue(item); });
        m_reminders->SetRecordFile(m_directory + "/" + RemindersFileName);
    }
    m_reminders->SetItems(m_calendar->GetItems());
}

void CFileBackend::TrimWhenIdle()
{
    // The calendar's parsed tree, freed once read, lies below the items made
    // from it, so the heap cannot shrink by itself. Giving its pages back
    // costs page faults (and, on a machine with several processors, a flush
    // of every processor's address cache) when the memory is needed again,
    // which is cheap once and dear on every write, so it waits until the
    // calendar has not been read or written for TrimDelayMs; without a loop
    // the memory stays with the process.
    if (!m_loop)
        return;
    if (m_trimTimer != CEventLoop::kNoTimer)
        m_loop->KillTimer(m_trimTimer);
    m_trimTimer = m_loop->AddTimer(TrimDelayMs, false, [this](CEventLoop::TimerId) {
        m_trimTimer = CEventLoop::kNoTimer;
        ::malloc_trim(0);
    });
}

void CFileBackend::OnReminderDue(const CStoredItem& item)
{
    RaiseReminder(item);
}
} // namespace outlook
