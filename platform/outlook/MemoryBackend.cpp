#include <outlook/MemoryBackend.h>

#include <outlook/MailSender.h>

#include <algorithm>

namespace outlook {
namespace {
bool IsModelledKind(OlItemType type)
{
    return type == olMailItem || type == olAppointmentItem || type == olContactItem;
}

bool SameKind(const CStoredItem& a, const CStoredItem& b)
{
    return a.data.index() == b.data.index() && a.GetItemType() == b.GetItemType();
}
} // namespace

CMemoryBackend::CMemoryBackend() = default;

CMemoryBackend::~CMemoryBackend() = default;

void CMemoryBackend::SetFailing(Operation operation, bool failing)
{
    m_failing[static_cast<int>(operation)] = failing;
}

bool CMemoryBackend::IsFailing(Operation operation) const
{
    return m_failing[static_cast<int>(operation)];
}

std::vector<CStoredItem>* CMemoryBackend::FolderOf(OlDefaultFolders folder)
{
    return const_cast<std::vector<CStoredItem>*>(static_cast<const CMemoryBackend*>(this)->FolderOf(folder));
}

const std::vector<CStoredItem>* CMemoryBackend::FolderOf(OlDefaultFolders folder) const
{
    switch (folder) {
    case olFolderCalendar:
        return &m_calendar;
    case olFolderContacts:
        return &m_contacts;
    }
    return nullptr;
}

const CStoredItem* CMemoryBackend::Find(const EntryId& id) const
{
    for (const std::vector<CStoredItem>* folder : {&m_calendar, &m_contacts}) {
        const auto found = std::find_if(folder->begin(), folder->end(),
                                        [&id](const CStoredItem& item) { return item.id == id; });
        if (found != folder->end())
            return &*found;
    }
    return nullptr;
}

CStoredItem* CMemoryBackend::Find(const EntryId& id)
{
    return const_cast<CStoredItem*>(static_cast<const CMemoryBackend*>(this)->Find(id));
}

EntryId CMemoryBackend::NextId()
{
    return "mem:" + std::to_string(++m_lastId);
}

EntryId CMemoryBackend::Put(OlDefaultFolders folder, CStoredItem::Data data)
{
    std::vector<CStoredItem>* items = FolderOf(folder);
    const CGenericItemData* generic = std::get_if<CGenericItemData>(&data);
    if (!items || (generic && IsModelledKind(generic->type)))
        return EntryId();
    items->push_back(CStoredItem{NextId(), std::move(data)});
    return items->back().id;
}

bool CMemoryBackend::FireReminder(const EntryId& id)
{
    if (!m_open)
        return Fail("The store is closed.");
    const CStoredItem* item = Find(id);
    if (!item)
        return Fail("No item has the id " + id + ".");
    // A copy, so that a listener that saves into the folder cannot move the
    // item from under its own reminder.
    const CStoredItem due = *item;
    RaiseReminder(due);
    return true;
}

bool CMemoryBackend::Start()
{
    return IsFailing(Operation::Start) ? Fail("The store cannot be reached.") : true;
}

bool CMemoryBackend::Open()
{
    if (IsFailing(Operation::Open))
        return Fail("The store refused the logon.");
    m_open = true;
    return true;
}

void CMemoryBackend::Close()
{
    m_open = false;
}

bool CMemoryBackend::IsFolderAvailable(OlDefaultFolders folder) const
{
    if (!m_open || !FolderOf(folder))
        return false;
    return !IsFailing(folder == olFolderCalendar ? Operation::CalendarFolder : Operation::ContactsFolder);
}

long CMemoryBackend::GetCount(OlDefaultFolders folder) const
{
    return IsFolderAvailable(folder) ? static_cast<long>(FolderOf(folder)->size()) : 0;
}

bool CMemoryBackend::GetItem(OlDefaultFolders folder, long index, CStoredItem& item) const
{
    if (!IsFolderAvailable(folder))
        return Fail("The folder is not available.");
    const std::vector<CStoredItem>& items = *FolderOf(folder);
    if (index < 0 || static_cast<unsigned long>(index) >= items.size())
        return Fail("The folder has no item at index " + std::to_string(index) + ".");
    item = items[static_cast<std::size_t>(index)];
    return true;
}

bool CMemoryBackend::AddItem(OlDefaultFolders folder, CStoredItem& item)
{
    if (!IsFolderAvailable(folder))
        return Fail("The folder is not available.");
    if (IsFailing(Operation::Save))
        return Fail("The item could not be saved.");
    std::vector<CStoredItem>& items = *FolderOf(folder);
    if (!item.id.empty()) {
        for (const CStoredItem& held : items) {
            if (held.id == item.id)
                return Fail("An item with the id " + item.id + " is already in the folder.");
        }
    } else {
        item.id = NextId();
    }
    items.push_back(item);
    return true;
}

bool CMemoryBackend::UpdateItem(const CStoredItem& item)
{
    if (!m_open)
        return Fail("The store is closed.");
    if (IsFailing(Operation::Save))
        return Fail("The item could not be saved.");
    CStoredItem* stored = Find(item.id);
    if (!stored)
        return Fail("No item has the id " + item.id + ".");
    if (!SameKind(*stored, item))
        return Fail("An item cannot change its kind.");
    stored->data = item.data;
    return true;
}

bool CMemoryBackend::RemoveItem(const EntryId& id)
{
    if (!m_open)
        return Fail("The store is closed.");
    if (IsFailing(Operation::Save))
        return Fail("The item could not be removed.");
    const auto found = std::find_if(m_calendar.begin(), m_calendar.end(),
                                    [&id](const CStoredItem& item) { return item.id == id; });
    if (found == m_calendar.end())
        return Fail("No appointment has the id " + id + ".");
    m_calendar.erase(found);
    return true;
}

bool CMemoryBackend::SendMail(const CMailData& mail)
{
    if (IsFailing(Operation::SendMail))
        return Fail("The message could not be sent.");
    std::string error;
    if (GetMailSender() && !GetMailSender()->Send(mail, error))
        return Fail(error.empty() ? "The mail sender refused the message." : error);
    m_sentMail.push_back(mail);
    return true;
}
} // namespace outlook
