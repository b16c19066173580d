#pragma once

#include <outlook/Constants.h>
#include <outlook/Item.h>

#include <memory>

namespace outlook {
class CBackend;

// The items of one folder, as the back-end holds them at the moment of each
// call: an item saved into the folder counts at once.
class CItems {
public:
    CItems(std::shared_ptr<CBackend> backend, OlDefaultFolders folder);
    ~CItems();

    CItems(const CItems&) = delete;
    CItems& operator=(const CItems&) = delete;

    // 0 while the folder is not available.
    long GetCount() const;
    // The item at the 1-based position, owned by the caller; null for a
    // position outside 1..GetCount().
    std::unique_ptr<CItem> Item(long position) const;

private:
    std::shared_ptr<CBackend> m_backend;
    OlDefaultFolders m_folder;
};
} // namespace outlook
