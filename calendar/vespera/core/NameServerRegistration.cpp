#include <vespera/core/NameServerRegistration.h>

#include <agentkit/AgentContainer.h>
#include <basekit/Debug.h>
#include <basekit/LList.h>
#include <basekit/Utils.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <namekit/ANSClient.h>
#include <platform/Registry.h>
#include <wirekit/Communicator.h>

namespace {

const char* const SettingsKey = "Software\\ORVANTE\\CalendarAgent";

} // namespace

CNameServerRegistration::CNameServerRegistration(CAgentContainer& container, CDebug& applicationLog)
    : m_container(container), m_applicationLog(applicationLog)
{
}

// The real name server is set by registration; until then nothing may be
// asked of one.
void CNameServerRegistration::SetPlaceholder()
{
    CBeliefDB* beliefs = m_container.get_belief_db();
    if (CStringBelief* ans = beliefs ? beliefs->find_string_belief("ans") : nullptr)
        ans->set_value(PlaceholderANSHost);
    if (CIntBelief* ansport = beliefs ? beliefs->find_int_belief("ansport") : nullptr)
        ansport->set_value(PlaceholderANSPort);
    m_ansPort = 0;
}

bool CNameServerRegistration::LoadRegInfo()
{
    CRegistry registry;
    std::string name;
    std::string host;
    std::string port;
    if (registry.ReadValue(SettingsKey, "AgentName", name) != CRegistry::Ok ||
        registry.ReadValue(SettingsKey, "ANSHost", host) != CRegistry::Ok ||
        registry.ReadValue(SettingsKey, "ANSPort", port) != CRegistry::Ok)
        return false;
    if (port == "-1" || name == "-" || host == "-")
        return false;
    EnableANS(name, host, port);
    m_applicationLog.dprintf("CVSP::LoadRegInfo: Agent Name = %s, ANS Host = %s, ANS Port = %d",
                             m_agentName.c_str(), m_ansHost.c_str(), m_ansPort);
    return true;
}

bool CNameServerRegistration::EnableANS(const std::string& name, const std::string& host,
                                        const std::string& port)
{
    m_container.debug("<CVespera::EnableANS()> ENABLING THE ANS MODULE");
    CCommunicator* communicator = m_container.get_communicator();
    CANSClient* client = communicator ? communicator->retrieve_ans_object() : nullptr;
    if (!client)
        return false;
    client->enable(0);
    m_agentName = name;
    m_ansHost = host;
    m_ansPortText = port;
    m_ansPort = CUtils::leading_int(port.c_str());
    CBeliefDB* beliefs = m_container.get_belief_db();
    if (CStringBelief* ans = beliefs->find_string_belief("ans"))
        ans->set_value(host.c_str());
    if (CIntBelief* ansport = beliefs->find_int_belief("ansport"))
        ansport->set_value(m_ansPort);
    m_container.set_agent_name(name.c_str());
    // The name must be ours at the server: a lookup alone also succeeds for
    // a name that another agent holds and the server refused us.
    const bool accepted = client->enable(1) != 0;
    m_registered = accepted && IsKnownToANS(name);
    if (m_registered) {
        m_container.debug("ANS MODULE STARTUP SUCCEEDED");
        communicator->announce_registration();
        return true;
    }
    m_container.debug("ANS MODULE STARTUP FAILED");
    return false;
}

void CNameServerRegistration::DisableANS()
{
    m_container.debug("<CVespera::DisableANS()> DISABLING THE ANS MODULE");
    m_registered = false;
    CCommunicator* communicator = m_container.get_communicator();
    if (CANSClient* client = communicator ? communicator->retrieve_ans_object() : nullptr)
        client->enable(0);
}

bool CNameServerRegistration::IsKnownToANS(const std::string& name)
{
    CCommunicator* communicator = m_container.get_communicator();
    CANSClient* client = communicator ? communicator->retrieve_ans_object() : nullptr;
    if (!client || !client->lookup_agent(name.c_str()))
        return false;
    return IsInLookupTable(name);
}

bool CNameServerRegistration::IsInLookupTable(const std::string& name)
{
    CCommunicator* communicator = m_container.get_communicator();
    CBeliefDB* beliefs = communicator ? communicator->get_beliefdb() : nullptr;
    CListBelief* lookup = beliefs ? beliefs->find_list_belief("lookup") : nullptr;
    CLList* table = lookup ? lookup->get_value() : nullptr;
    if (!table)
        return false;
    for (CListElement* element = table->get_first_element(); element; element = table->get_next_element()) {
        const char* known = element->get_name();
        if (known && name == known)
            return true;
    }
    return false;
}
