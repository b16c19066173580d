#pragma once

#include <graphstore/RDFObj.h>

#include <string>

// A person named by an event: a literal (a mailto: address or a name), a
// mailto: resource, a FOAF person with name, mailboxes, workplace home page
// and calendar agent name, or a calendar person with cn and calAddress.
class CRDFPerson : public CRDFObj {
public:
    bool set(CRDFNode* node, CRDFMFCGraphStore* store) override;

    // "Name <address>", the name alone, or the address alone.
    std::string getPersonString() const;
    bool hasEmail() const { return !m_email.empty(); }
    // Every address of the person, ", " between them.
    const std::string& getEmail() const { return m_email; }
    bool hasWorkplaceHomepage() const { return !m_homepage.empty(); }
    const std::string& getWorkplaceHomepage() const { return m_homepage; }
    bool hasVesperaName() const { return !m_agentName.empty(); }
    const std::string& getVesperaName() const { return m_agentName; }
    const std::string& GetName() const { return m_name; }

private:
    std::string m_name;
    std::string m_email;
    std::string m_homepage;
    std::string m_agentName;
};
