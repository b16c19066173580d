#pragma once

#include <outlook/StoredItem.h>

namespace outlook {
// Told by a back-end that the reminder of one of its items is due. The
// application is the one listener of its back-end.
class CReminderListener {
public:
    virtual ~CReminderListener();

    virtual void OnReminder(const CStoredItem& item) = 0;
};
} // namespace outlook
