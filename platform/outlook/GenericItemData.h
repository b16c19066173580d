#pragma once

#include <outlook/Constants.h>

#include <string>

namespace outlook {
// An item of a kind the model gives no interface for (a task, a distribution
// list, a note ...): folders may hold them beside their own kind of item.
struct CGenericItemData {
    OlItemType type = olNoteItem;
    std::string subject;
};
} // namespace outlook
