#pragma once

#include <outlook/Constants.h>

#include <memory>

namespace outlook {
class CBackend;
class CMAPIFolder;

// The "MAPI" namespace: logging on to the store and its default folders.
// There is one profile, so logging on takes no arguments.
class CNameSpace {
public:
    explicit CNameSpace(std::shared_ptr<CBackend> backend);
    ~CNameSpace();

    CNameSpace(const CNameSpace&) = delete;
    CNameSpace& operator=(const CNameSpace&) = delete;

    // True when the store is open afterwards (also when it already was).
    bool Logon();
    void Logoff();
    bool IsLoggedOn() const;

    // olFolderCalendar (9) or olFolderContacts (10), owned by the namespace;
    // null for any other number and while not logged on.
    CMAPIFolder* GetDefaultFolder(long folder);

private:
    std::shared_ptr<CBackend> m_backend;
    std::unique_ptr<CMAPIFolder> m_calendar;
    std::unique_ptr<CMAPIFolder> m_contacts;
};
} // namespace outlook
