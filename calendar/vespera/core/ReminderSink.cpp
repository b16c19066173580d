#include <vespera/core/ReminderSink.h>

#include <outlook/Application.h>
#include <outlook/Item.h>

CReminderSink::CReminderSink(outlook::CApplication& application, const CNotifier& notifier)
    : m_application(application), m_notifier(notifier)
{
}

CReminderSink::~CReminderSink()
{
    Disconnect();
}

void CReminderSink::SetEmailTarget(const std::string& target, bool on)
{
    m_targets.emailTarget = target;
    m_targets.emailOn = on;
}

void CReminderSink::SetAgentTarget(const std::string& target, bool on)
{
    m_targets.agentTarget = target;
    m_targets.agentOn = on;
}

void CReminderSink::SetCommunicator(CCommunicator* communicator)
{
    m_communicator = communicator;
}

bool CReminderSink::Connect()
{
    if (m_connected || !m_application.Advise(this))
        return false;
    m_connected = true;
    return true;
}

void CReminderSink::Disconnect()
{
    if (m_connected)
        m_application.Unadvise(this);
    m_connected = false;
}

void CReminderSink::Reminder(outlook::CItem& item)
{
    if (!m_communicator)
        return;
    m_notifier.NotifyReminder(m_targets, TextProperty(item, "Subject"), TextProperty(item, "Location"),
                              DateProperty(item, "Start"));
}

std::string CReminderSink::TextProperty(const outlook::CItem& item, const char* name)
{
    std::optional<outlook::PropertyValue> value = item.GetProperty(name);
    const std::string* text = value ? std::get_if<std::string>(&*value) : nullptr;
    return text ? *text : std::string();
}

CDateTime CReminderSink::DateProperty(const outlook::CItem& item, const char* name)
{
    std::optional<outlook::PropertyValue> value = item.GetProperty(name);
    const CDateTime* date = value ? std::get_if<CDateTime>(&*value) : nullptr;
    if (date)
        return *date;
    CDateTime missing;
    missing.SetStatus(CDateTime::invalid);
    return missing;
}
