#include <outlook/GenericItem.h>

#include <outlook/PropertyTable.h>

#include <utility>

namespace outlook {
CGenericItem::CGenericItem(std::weak_ptr<CBackend> backend, EntryId id, const CGenericItemData& data)
    : CItem(std::move(backend), std::move(id)), m_data(data)
{
}

CGenericItem::~CGenericItem() = default;

std::optional<PropertyValue> CGenericItem::GetProperty(const std::string& name) const
{
    if (!detail::SameName(name, "Subject"))
        return std::nullopt;
    return PropertyValue(m_data.subject);
}
} // namespace outlook
