#include <outlook/Application.h>

#include <outlook/ApplicationEvents.h>
#include <outlook/Backend.h>
#include <outlook/ItemFactory.h>
#include <outlook/NameSpace.h>
#include <outlook/PropertyTable.h>

#include <algorithm>
#include <utility>

namespace outlook {
std::unique_ptr<CApplication> CApplication::Create(std::shared_ptr<CBackend> backend)
{
    if (!backend || backend->GetReminderListener() || !backend->Start())
        return nullptr;
    return std::unique_ptr<CApplication>(new CApplication(std::move(backend)));
}

CApplication::CApplication(std::shared_ptr<CBackend> backend) : m_backend(std::move(backend))
{
    m_backend->SetReminderListener(this);
}

CApplication::~CApplication()
{
    m_backend->SetReminderListener(nullptr);
}

CNameSpace* CApplication::GetNamespace(const std::string& type)
{
    if (!detail::SameName(type, "MAPI"))
        return nullptr;
    if (!m_namespace)
        m_namespace = std::make_unique<CNameSpace>(m_backend);
    return m_namespace.get();
}

std::unique_ptr<CItem> CApplication::CreateItem(long itemType) const
{
    return detail::MakeNewItem(m_backend, itemType);
}

bool CApplication::IsAdvised(const CApplicationEvents* sink) const
{
    return std::find(m_sinks.begin(), m_sinks.end(), sink) != m_sinks.end();
}

bool CApplication::Advise(CApplicationEvents* sink)
{
    if (!sink || IsAdvised(sink))
        return false;
    m_sinks.push_back(sink);
    return true;
}

bool CApplication::Unadvise(CApplicationEvents* sink)
{
    const auto found = std::find(m_sinks.begin(), m_sinks.end(), sink);
    if (found == m_sinks.end())
        return false;
    m_sinks.erase(found);
    return true;
}

const std::string& CApplication::GetLastErrorText() const
{
    return m_backend->GetLastErrorText();
}

void CApplication::OnReminder(const CStoredItem& stored)
{
    const std::unique_ptr<CItem> item = detail::MakeItem(m_backend, stored);
    if (!item)
        return;
    // Sinks may come and go while one of them runs: walk a copy, and skip
    // any that left in the meantime.
    const std::vector<CApplicationEvents*> sinks = m_sinks;
    for (CApplicationEvents* sink : sinks) {
        if (IsAdvised(sink))
            sink->Reminder(*item);
    }
}
} // namespace outlook
