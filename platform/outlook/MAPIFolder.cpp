#include <outlook/MAPIFolder.h>

#include <outlook/Backend.h>
#include <outlook/Items.h>

#include <utility>

namespace outlook {
CMAPIFolder::CMAPIFolder(std::shared_ptr<CBackend> backend, OlDefaultFolders folder)
    : m_backend(std::move(backend)), m_folder(folder)
{
}

CMAPIFolder::~CMAPIFolder() = default;

CItems* CMAPIFolder::GetItems()
{
    if (!m_backend->IsFolderAvailable(m_folder))
        return nullptr;
    if (!m_items)
        m_items = std::make_unique<CItems>(m_backend, m_folder);
    return m_items.get();
}
} // namespace outlook
