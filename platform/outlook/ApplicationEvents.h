#pragma once

namespace outlook {
class CItem;

// The application's events, for a sink advised to it.
class CApplicationEvents {
public:
    virtual ~CApplicationEvents();

    // The reminder of `item` is due. The item is the application's and lives
    // for the call only.
    virtual void Reminder(CItem& item) = 0;
};
} // namespace outlook
