#pragma once

#include <vespera/core/Notifier.h>

#include <outlook/ApplicationEvents.h>

#include <string>

class CCommunicator;

namespace outlook {
class CApplication;
} // namespace outlook

// Hears the calendar program's reminders and passes each on to the user
// through the notifier, by the e-mail and agent targets it was given (its
// own copies, refreshed when the options change).
//
// It answers nothing while it has no communicator. The application must
// outlive the sink or see it disconnected first; the destructor disconnects.
class CReminderSink : public outlook::CApplicationEvents {
public:
    // Both borrowed.
    CReminderSink(outlook::CApplication& application, const CNotifier& notifier);
    ~CReminderSink() override;

    CReminderSink(const CReminderSink&) = delete;
    CReminderSink& operator=(const CReminderSink&) = delete;

    void SetEmailTarget(const std::string& target, bool on);
    void SetAgentTarget(const std::string& target, bool on);
    // Borrowed; null makes the sink answer nothing.
    void SetCommunicator(CCommunicator* communicator);

    const CNotifier::SReminderTargets& GetTargets() const { return m_targets; }
    CCommunicator* GetCommunicator() const { return m_communicator; }

    // Advises the sink to the application; false when it already is.
    bool Connect();
    // Unadvises it; nothing happens when it is not connected.
    void Disconnect();
    bool IsConnected() const { return m_connected; }

    // Reads the item's "Subject", "Location" and "Start" by name and hands
    // them to the notifier.
    void Reminder(outlook::CItem& item) override;

private:
    static std::string TextProperty(const outlook::CItem& item, const char* name);
    static CDateTime DateProperty(const outlook::CItem& item, const char* name);

    outlook::CApplication& m_application;
    const CNotifier& m_notifier;
    CNotifier::SReminderTargets m_targets;
    CCommunicator* m_communicator = nullptr;
    bool m_connected = false;
};
