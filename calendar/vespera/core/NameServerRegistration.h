#pragma once

#include <string>

class CAgentContainer;
class CDebug;

// The calendar agent's registration with the name server: the name, host
// and port it registers under, whether the server took the name, and the
// placeholder that stands for the server until one is known.
class CNameServerRegistration {
public:
    // What the name-server belief holds until the agent registers: the
    // agent's own identifier, in a form that can never be taken for a host
    // name, so that nothing is looked up or sent for it.
    static constexpr const char* PlaceholderANSHost = "{B20EAD0D-9FA3-447b-ACA0-80FB53373A30}";
    static constexpr int PlaceholderANSPort = 6677;

    // `container` is the agent registered; `applicationLog` takes the
    // registration's start-up lines.
    CNameServerRegistration(CAgentContainer& container, CDebug& applicationLog);

    // Points the name-server beliefs at the placeholder.
    void SetPlaceholder();
    // Registers from the stored "AgentName", "ANSHost" and "ANSPort"; false
    // when one is missing or stands for "not set".
    bool LoadRegInfo();
    // True only when the server took the name and a lookup finds it.
    bool EnableANS(const std::string& name, const std::string& host, const std::string& port);
    void DisableANS();
    bool IsKnownToANS(const std::string& name);
    // Whether the agent's table of known agents holds the name, without
    // asking the name server.
    bool IsInLookupTable(const std::string& name);

    // The registration values in use.
    const std::string& GetRegisteredName() const { return m_agentName; }
    const std::string& GetANSHost() const { return m_ansHost; }
    const std::string& GetANSPortText() const { return m_ansPortText; }
    int GetANSPort() const { return m_ansPort; }
    // Whether the last EnableANS had the name taken by the server.
    bool IsRegistered() const { return m_registered; }

private:
    CAgentContainer& m_container;
    CDebug& m_applicationLog;
    std::string m_agentName;
    std::string m_ansHost;
    std::string m_ansPortText;
    int m_ansPort = 0;
    bool m_registered = false;
};
