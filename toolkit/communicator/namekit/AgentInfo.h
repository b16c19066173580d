#pragma once

#include <optional>
#include <string>

// Where an agent lives, as a name-server lookup found it: the agent's name,
// its host, and its port both as a number and as text.
//
// A record built with a missing (null) argument is invalid, and an invalid
// record refuses every change. Text getters return text owned by the
// record, or null for a field that was never given.
class CAgentInfo {
public:
    // The port number is the decimal value of `port` (0 when the text does
    // not start with a number; values beyond int are clamped).
    CAgentInfo(const char* name, const char* host, const char* port);
    // The port text is the decimal form of `port`.
    CAgentInfo(const char* name, const char* host, int port);

    // Replace one field; 1 when done, 0 on an invalid record or for a null
    // argument (the record is then left as it was).
    int SetAgentName(const char* name);
    int SetAgentHost(const char* host);
    int SetAgentPort(const char* port);
    int SetAgentPort(int port);

    char* GetAgentName();
    char* GetAgentHost();
    int GetAgentPort();
    char* GetAgentPortStr();

    int IsValid();
    void InValidate();

private:
    static int port_from_text(const char* text);

    int valid;
    std::optional<std::string> name;
    std::optional<std::string> host;
    std::optional<std::string> port_text;
    int port;
};
