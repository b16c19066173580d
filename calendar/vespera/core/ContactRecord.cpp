#include <vespera/core/ContactRecord.h>

#include <algorithm>
#include <tuple>

CContactRecord::CContactRecord() = default;

CContactRecord::CContactRecord(const std::string& firstName, const std::string& lastName,
                               const std::string& emailAddress)
    : m_lastName(lastName), m_firstName(firstName), m_emailAddress(emailAddress)
{
}

std::string CContactRecord::AgentNameFor(const std::string& emailAddress)
{
    if (emailAddress.empty())
        return std::string();
    std::string name = emailAddress;
    std::replace(name.begin(), name.end(), '@', '_');
    return name + "-CalendarAgent";
}

bool CContactRecord::operator==(const CContactRecord& other) const
{
    return std::tie(m_firstName, m_lastName, m_emailAddress, m_homeTelephone, m_businessTelephone,
                    m_mobileTelephone) == std::tie(other.m_firstName, other.m_lastName, other.m_emailAddress,
                                                   other.m_homeTelephone, other.m_businessTelephone,
                                                   other.m_mobileTelephone);
}
