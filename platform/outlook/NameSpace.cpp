#include <outlook/NameSpace.h>

#include <outlook/Backend.h>
#include <outlook/MAPIFolder.h>

#include <utility>

namespace outlook {
CNameSpace::CNameSpace(std::shared_ptr<CBackend> backend) : m_backend(std::move(backend)) {}

CNameSpace::~CNameSpace() = default;

bool CNameSpace::Logon()
{
    return m_backend->Open();
}

void CNameSpace::Logoff()
{
    m_backend->Close();
}

bool CNameSpace::IsLoggedOn() const
{
    return m_backend->IsOpen();
}

CMAPIFolder* CNameSpace::GetDefaultFolder(long folder)
{
    if (!IsLoggedOn())
        return nullptr;
    std::unique_ptr<CMAPIFolder>* slot = nullptr;
    if (folder == olFolderCalendar)
        slot = &m_calendar;
    else if (folder == olFolderContacts)
        slot = &m_contacts;
    else
        return nullptr;
    if (!*slot)
        *slot = std::make_unique<CMAPIFolder>(m_backend, static_cast<OlDefaultFolders>(folder));
    return slot->get();
}
} // namespace outlook
