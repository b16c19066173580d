#include <outlook/Backend.h>

#include <outlook/MailSender.h>
#include <outlook/ReminderListener.h>

namespace outlook {
CBackend::CBackend() = default;

CBackend::~CBackend() = default;

void CBackend::SetReminderListener(CReminderListener* listener)
{
    m_reminderListener = listener;
}

void CBackend::SetMailSender(CMailSender* sender)
{
    m_mailSender = sender;
}

bool CBackend::Fail(const std::string& reason) const
{
    m_lastError = reason;
    return false;
}

void CBackend::RaiseReminder(const CStoredItem& item) const
{
    if (m_reminderListener)
        m_reminderListener->OnReminder(item);
}

CBackend::RefreshResult CBackend::Refresh()
{
    return RefreshResult::Unchanged;
}

void CBackend::BeginBatch() {}

bool CBackend::EndBatch()
{
    return true;
}

std::vector<std::string> CBackend::GetReadNotes(OlDefaultFolders) const
{
    return {};
}

bool CBackend::SendWithMailSender(const CMailData& mail)
{
    CMailSender* sender = GetMailSender();
    if (!sender)
        return Fail("No mail sender is set up; the message was not sent.");
    std::string error;
    if (!sender->Send(mail, error))
        return Fail(error.empty() ? "The mail sender refused the message." : error);
    return true;
}

} // namespace outlook
