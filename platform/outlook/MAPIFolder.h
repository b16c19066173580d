#pragma once

#include <outlook/Constants.h>

#include <memory>

namespace outlook {
class CBackend;
class CItems;

// One of the default folders of the store.
class CMAPIFolder {
public:
    CMAPIFolder(std::shared_ptr<CBackend> backend, OlDefaultFolders folder);
    ~CMAPIFolder();

    CMAPIFolder(const CMAPIFolder&) = delete;
    CMAPIFolder& operator=(const CMAPIFolder&) = delete;

    OlDefaultFolders GetFolderType() const { return m_folder; }
    // The folder's items, owned by the folder; null while the back-end cannot
    // give the folder's contents.
    CItems* GetItems();

private:
    std::shared_ptr<CBackend> m_backend;
    OlDefaultFolders m_folder;
    std::unique_ptr<CItems> m_items;
};
} // namespace outlook
