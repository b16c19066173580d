#pragma once

#include <vespera/core/Negotiation.h>

#include <memory>
#include <string>
#include <vector>

// Every negotiation the organiser started, owned here in the order they
// were added. Records are never removed while the agent runs, so a record
// found once stays valid as long as the store.
class CNegotiationStore {
public:
    CNegotiationStore();
    ~CNegotiationStore();

    CNegotiationStore(const CNegotiationStore&) = delete;
    CNegotiationStore& operator=(const CNegotiationStore&) = delete;

    // Appends the record under its current negotiation identifier and
    // returns it; null (and nothing added) for null.
    CNegotiation* Add(std::unique_ptr<CNegotiation> record);
    // The first record filed under exactly that identifier; null when none.
    CNegotiation* Find(const std::string& negID) const;

    int GetCount() const { return static_cast<int>(m_records.size()); }
    // Null outside 0..GetCount()-1.
    CNegotiation* GetAt(int index) const;

private:
    std::vector<std::unique_ptr<CNegotiation>> m_records;
    std::vector<std::string> m_negIDs;
};
