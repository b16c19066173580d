#pragma once

#include <outlook/AppointmentData.h>
#include <outlook/ContactData.h>
#include <outlook/GenericItemData.h>

#include <string>
#include <variant>

namespace outlook {
// A back-end's own name for one of its items, unique within the back-end
// and stable while the item exists. Empty for an item never saved.
using EntryId = std::string;

// One item of a folder as a back-end hands it out and takes it back.
struct CStoredItem {
    using Data = std::variant<CAppointmentData, CContactData, CGenericItemData>;

    // The kind of item the data stands for.
    OlItemType GetItemType() const;

    EntryId id;
    Data data;
};
} // namespace outlook
