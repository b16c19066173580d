#pragma once

#include <outlook/Application.h>
#include <outlook/MemoryBackend.h>
#include <outlook/NameSpace.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace outlook_test {
// An application over a memory back-end, logged on.
struct Session {
    Session()
    {
        backend = std::make_shared<outlook::CMemoryBackend>();
        application = outlook::CApplication::Create(backend);
        if (application)
            mapi = application->GetNamespace("MAPI");
        if (mapi)
            mapi->Logon();
    }

    std::shared_ptr<outlook::CMemoryBackend> backend;
    std::unique_ptr<outlook::CApplication> application;
    outlook::CNameSpace* mapi = nullptr;
};

inline outlook::CAppointmentData Meeting(const std::string& subject, const CDateTime& start, long minutes)
{
    outlook::CAppointmentData data;
    data.subject = subject;
    data.start = start;
    data.duration = minutes;
    return data;
}

inline outlook::CContactData Person(const std::string& first, const std::string& last,
                                    const std::string& email)
{
    outlook::CContactData data;
    data.firstName = first;
    data.lastName = last;
    data.email1Address = email;
    return data;
}
} // namespace outlook_test
