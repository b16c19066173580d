#include <outlook/ContactItem.h>

#include <outlook/PropertyTable.h>

#include <utility>

namespace outlook {
namespace {
using Entry = detail::PropertyEntry<CContactItem>;

const Entry Properties[] = {
    {"FirstName", [](const CContactItem& item) -> PropertyValue { return item.GetFirstName(); }},
    {"LastName", [](const CContactItem& item) -> PropertyValue { return item.GetLastName(); }},
    {"Email1Address", [](const CContactItem& item) -> PropertyValue { return item.GetEmail1Address(); }},
    {"WebPage", [](const CContactItem& item) -> PropertyValue { return item.GetWebPage(); }},
    {"BusinessTelephoneNumber",
     [](const CContactItem& item) -> PropertyValue { return item.GetBusinessTelephoneNumber(); }},
    {"HomeTelephoneNumber",
     [](const CContactItem& item) -> PropertyValue { return item.GetHomeTelephoneNumber(); }},
    {"MobileTelephoneNumber",
     [](const CContactItem& item) -> PropertyValue { return item.GetMobileTelephoneNumber(); }},
};
} // namespace

CContactItem::CContactItem(std::weak_ptr<CBackend> backend, EntryId id, const CContactData& data)
    : CItem(std::move(backend), std::move(id)), m_data(data)
{
}

CContactItem::~CContactItem() = default;

std::optional<PropertyValue> CContactItem::GetProperty(const std::string& name) const
{
    return detail::ReadProperty(Properties, name, *this);
}

bool CContactItem::Save()
{
    return Store(olFolderContacts, m_data);
}
} // namespace outlook
