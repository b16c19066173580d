#include <vespera/core/NegotiationStore.h>

CNegotiationStore::CNegotiationStore() = default;

CNegotiationStore::~CNegotiationStore() = default;

CNegotiation* CNegotiationStore::Add(std::unique_ptr<CNegotiation> record)
{
    if (!record)
        return nullptr;
    m_negIDs.push_back(record->GetNegID());
    m_records.push_back(std::move(record));
    return m_records.back().get();
}

CNegotiation* CNegotiationStore::Find(const std::string& negID) const
{
    for (size_t i = 0; i < m_negIDs.size(); ++i) {
        if (m_negIDs[i] == negID)
            return m_records[i].get();
    }
    return nullptr;
}

CNegotiation* CNegotiationStore::GetAt(int index) const
{
    if (index < 0 || index >= GetCount())
        return nullptr;
    return m_records[static_cast<size_t>(index)].get();
}
