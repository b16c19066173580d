#pragma once

#include <string>

// One of the user's contacts as the agent keeps it.
class CContactRecord {
public:
    CContactRecord();
    CContactRecord(const std::string& firstName, const std::string& lastName,
                   const std::string& emailAddress);

    // The name under which the contact's calendar agent registers: the
    // address with every "@" made "_", then "-CalendarAgent". Empty for an
    // empty address, since such a contact has no agent that can be reached.
    static std::string AgentNameFor(const std::string& emailAddress);

    const std::string& GetLastName() const { return m_lastName; }
    void SetLastName(const std::string& name) { m_lastName = name; }
    const std::string& GetFirstName() const { return m_firstName; }
    void SetFirstName(const std::string& name) { m_firstName = name; }
    const std::string& GetWebPage() const { return m_webPage; }
    void SetWebPage(const std::string& address) { m_webPage = address; }
    const std::string& GetEmailAddress() const { return m_emailAddress; }
    void SetEmailAddress(const std::string& address) { m_emailAddress = address; }
    const std::string& GetCalendarAgentName() const { return m_calendarAgentName; }
    void SetCalendarAgentName(const std::string& name) { m_calendarAgentName = name; }
    const std::string& GetHomeTelephone() const { return m_homeTelephone; }
    void SetHomeTelephone(const std::string& number) { m_homeTelephone = number; }
    const std::string& GetBusinessTelephone() const { return m_businessTelephone; }
    void SetBusinessTelephone(const std::string& number) { m_businessTelephone = number; }
    const std::string& GetMobileTelephone() const { return m_mobileTelephone; }
    void SetMobileTelephone(const std::string& number) { m_mobileTelephone = number; }

    // Equal when first name, last name, e-mail address and the three
    // telephone numbers are byte for byte the same; the web page and the
    // calendar agent name do not count.
    bool operator==(const CContactRecord& other) const;
    bool operator!=(const CContactRecord& other) const { return !(*this == other); }

private:
    std::string m_lastName;
    std::string m_firstName;
    std::string m_webPage;
    std::string m_emailAddress;
    std::string m_calendarAgentName;
    std::string m_homeTelephone;
    std::string m_businessTelephone;
    std::string m_mobileTelephone;
};
