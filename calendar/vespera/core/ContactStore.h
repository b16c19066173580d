#pragma once

#include <vespera/core/ContactRecord.h>

#include <memory>
#include <string>
#include <vector>

// The user's contacts, owned here, in the order they were added. The store
// grows while the agent runs and is emptied only to read the contacts
// again; records never move in memory, so a record found stays valid until
// then. Nothing keeps a record beyond the message it was found for.
class CContactStore {
public:
    CContactStore();
    ~CContactStore();

    CContactStore(const CContactStore&) = delete;
    CContactStore& operator=(const CContactStore&) = delete;

    // Appends the record and returns it; null (and nothing added) for null.
    const CContactRecord* Add(std::unique_ptr<CContactRecord> record);

    // Destroys every record.
    void Clear();

    int GetCount() const { return static_cast<int>(m_records.size()); }
    // Null outside 0..GetCount()-1.
    const CContactRecord* GetAt(int index) const;

    // The first record with exactly that e-mail address or calendar agent
    // name. An empty text finds nothing: contacts without an address have
    // no agent name, and must not answer for an empty one.
    const CContactRecord* FindByEmail(const std::string& emailAddress) const;
    const CContactRecord* FindByAgentName(const std::string& agentName) const;

private:
    template <class Field>
    const CContactRecord* FindBy(Field field, const std::string& value) const;

    std::vector<std::unique_ptr<CContactRecord>> m_records;
};
