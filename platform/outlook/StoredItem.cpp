#include <outlook/StoredItem.h>

namespace outlook {
OlItemType CStoredItem::GetItemType() const
{
    if (std::holds_alternative<CAppointmentData>(data))
        return olAppointmentItem;
    if (std::holds_alternative<CContactData>(data))
        return olContactItem;
    // Only a variant left empty by a failed assignment holds none of the three.
    const CGenericItemData* generic = std::get_if<CGenericItemData>(&data);
    return generic ? generic->type : olNoteItem;
}
} // namespace outlook
