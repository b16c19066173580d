#pragma once

#include <outlook/Item.h>
#include <outlook/ReminderListener.h>

#include <memory>
#include <string>
#include <vector>

namespace outlook {
class CApplicationEvents;
class CBackend;
class CNameSpace;

// The root of the object model, made over a back-end that keeps the data.
// It owns its namespace; folders and item collections reached from it live
// as long as it does. Items it hands out belong to the caller.
//
// Failures are reported by result (null, false); the back-end's reason for
// the last one it saw is in GetLastErrorText(). Nothing throws.
//
// Reminders of the back-end are delivered to every advised sink, in the
// order they were advised. A sink may advise or unadvise sinks while it
// handles one; it must not destroy the application there.
class CApplication : private CReminderListener {
public:
    // Null without a back-end, when the back-end does not start, or when
    // another application already runs over it.
    static std::unique_ptr<CApplication> Create(std::shared_ptr<CBackend> backend);
    ~CApplication() override;

    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;

    // The namespace for "MAPI" (any case), owned by the application; null
    // for any other type.
    CNameSpace* GetNamespace(const std::string& type);
    // A new item: olMailItem (0), olAppointmentItem (1) or olContactItem (2);
    // null for any other kind.
    std::unique_ptr<CItem> CreateItem(long itemType) const;

    // Borrowed; the sink must be unadvised before it goes. False for null and
    // for a sink already advised.
    bool Advise(CApplicationEvents* sink);
    // False for a sink that is not advised.
    bool Unadvise(CApplicationEvents* sink);

    const std::string& GetLastErrorText() const;

private:
    explicit CApplication(std::shared_ptr<CBackend> backend);

    void OnReminder(const CStoredItem& item) override;
    bool IsAdvised(const CApplicationEvents* sink) const;

    std::shared_ptr<CBackend> m_backend;
    std::unique_ptr<CNameSpace> m_namespace;
    std::vector<CApplicationEvents*> m_sinks;
};
} // namespace outlook
