#pragma once

#include <platform/KeyPair.h>

#include <optional>
#include <string>

// The user's agent key: made at the agent's first start and kept, mode
// 0600, in the user's data folder beside the calendar.
class CAgentKey {
public:
    static constexpr const char* FileName = "agent-key.pem";

    // <user data folder>/agent-key.pem.
    static std::string Path();
    // The key at Path(), made for `agentName` when there is none; nothing,
    // with the reason, when the file cannot be used.
    static std::optional<CKeyPair> Load(const std::string& agentName, std::string& error);
};
