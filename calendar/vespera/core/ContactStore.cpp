#include <vespera/core/ContactStore.h>

#include <utility>

CContactStore::CContactStore() = default;

CContactStore::~CContactStore() = default;

const CContactRecord* CContactStore::Add(std::unique_ptr<CContactRecord> record)
{
    if (!record)
        return nullptr;
    m_records.push_back(std::move(record));
    return m_records.back().get();
}

void CContactStore::Clear()
{
    m_records.clear();
}

const CContactRecord* CContactStore::GetAt(int index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return m_records[static_cast<std::size_t>(index)].get();
}

template <class Field>
const CContactRecord* CContactStore::FindBy(Field field, const std::string& value) const
{
    if (value.empty())
        return nullptr;
    for (const std::unique_ptr<CContactRecord>& record : m_records) {
        if (((*record).*field)() == value)
            return record.get();
    }
    return nullptr;
}

const CContactRecord* CContactStore::FindByEmail(const std::string& emailAddress) const
{
    return FindBy(&CContactRecord::GetEmailAddress, emailAddress);
}

const CContactRecord* CContactStore::FindByAgentName(const std::string& agentName) const
{
    return FindBy(&CContactRecord::GetCalendarAgentName, agentName);
}
