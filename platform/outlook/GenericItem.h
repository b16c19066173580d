#pragma once

#include <outlook/GenericItemData.h>
#include <outlook/Item.h>

#include <optional>
#include <string>

namespace outlook {
// An item of a kind the model gives no interface for. It tells its kind and
// its "Subject", and nothing else.
class CGenericItem : public CItem {
public:
    CGenericItem(std::weak_ptr<CBackend> backend, EntryId id, const CGenericItemData& data);
    ~CGenericItem() override;

    OlItemType GetItemType() const override { return m_data.type; }
    std::optional<PropertyValue> GetProperty(const std::string& name) const override;

private:
    CGenericItemData m_data;
};
} // namespace outlook
