#include <outlook/Item.h>

#include <outlook/Backend.h>

#include <utility>

namespace outlook {
CItem::CItem(std::weak_ptr<CBackend> backend, EntryId id) : m_backend(std::move(backend)), m_id(std::move(id))
{
}

CItem::~CItem() = default;

CAppointmentItem* CItem::AsAppointment()
{
    return nullptr;
}

CContactItem* CItem::AsContact()
{
    return nullptr;
}

CMailItem* CItem::AsMail()
{
    return nullptr;
}

bool CItem::Store(OlDefaultFolders folder, const CStoredItem::Data& data)
{
    const std::shared_ptr<CBackend> backend = LockBackend();
    if (!backend)
        return false;
    CStoredItem stored{m_id.empty() ? m_requestedId : m_id, data};
    if (!m_id.empty())
        return backend->UpdateItem(stored);
    if (!backend->AddItem(folder, stored))
        return false;
    m_id = stored.id;
    return true;
}

void CItem::RequestEntryID(const EntryId& id)
{
    if (m_id.empty())
        m_requestedId = id;
}

namespace {

CItem::DisplayHandler& DisplayHandlerSlot()
{
    static CItem::DisplayHandler handler;
    return handler;
}

} // namespace

bool CItem::Delete()
{
    const std::shared_ptr<CBackend> backend = LockBackend();
    return backend && !m_id.empty() && backend->RemoveItem(m_id);
}

bool CItem::Display()
{
    const DisplayHandler& handler = DisplayHandlerSlot();
    return handler ? handler(*this) : false;
}

void CItem::SetDisplayHandler(DisplayHandler handler)
{
    DisplayHandlerSlot() = std::move(handler);
}

} // namespace outlook
