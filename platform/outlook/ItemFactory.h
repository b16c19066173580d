#pragma once

#include <outlook/Item.h>
#include <outlook/StoredItem.h>

#include <memory>

namespace outlook {
namespace detail {
// The object-model item for an item a back-end handed out.
std::unique_ptr<CItem> MakeItem(const std::weak_ptr<CBackend>& backend, const CStoredItem& stored);
// A new, unsaved item of one of the kinds that can be created (mail,
// appointment, contact); null for any other number.
std::unique_ptr<CItem> MakeNewItem(const std::weak_ptr<CBackend>& backend, long itemType);
} // namespace detail
} // namespace outlook
