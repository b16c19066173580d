#include <outlook/ItemFactory.h>

#include <outlook/AppointmentItem.h>
#include <outlook/ContactItem.h>
#include <outlook/GenericItem.h>
#include <outlook/MailItem.h>

namespace outlook {
namespace detail {
std::unique_ptr<CItem> MakeItem(const std::weak_ptr<CBackend>& backend, const CStoredItem& stored)
{
    if (const auto* appointment = std::get_if<CAppointmentData>(&stored.data))
        return std::make_unique<CAppointmentItem>(backend, stored.id, *appointment);
    if (const auto* contact = std::get_if<CContactData>(&stored.data))
        return std::make_unique<CContactItem>(backend, stored.id, *contact);
    if (const auto* generic = std::get_if<CGenericItemData>(&stored.data))
        return std::make_unique<CGenericItem>(backend, stored.id, *generic);
    return nullptr;
}

std::unique_ptr<CItem> MakeNewItem(const std::weak_ptr<CBackend>& backend, long itemType)
{
    switch (itemType) {
    case olMailItem:
        return std::make_unique<CMailItem>(backend);
    case olAppointmentItem:
        return std::make_unique<CAppointmentItem>(backend, EntryId(), CAppointmentData());
    case olContactItem:
        return std::make_unique<CContactItem>(backend, EntryId(), CContactData());
    default:
        return nullptr;
    }
}
} // namespace detail
} // namespace outlook
