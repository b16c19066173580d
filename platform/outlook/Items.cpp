#include <outlook/Items.h>

#include <outlook/Backend.h>
#include <outlook/ItemFactory.h>

#include <utility>

namespace outlook {
CItems::CItems(std::shared_ptr<CBackend> backend, OlDefaultFolders folder)
    : m_backend(std::move(backend)), m_folder(folder)
{
}

CItems::~CItems() = default;

long CItems::GetCount() const
{
    return m_backend->GetCount(m_folder);
}

std::unique_ptr<CItem> CItems::Item(long position) const
{
    if (position < 1)
        return nullptr;
    CStoredItem stored;
    if (!m_backend->GetItem(m_folder, position - 1, stored))
        return nullptr;
    return detail::MakeItem(m_backend, stored);
}
} // namespace outlook
