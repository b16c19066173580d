#include <vespera/core/AgentKey.h>

#include <vespera/core/InstallDirectory.h>

std::string CAgentKey::Path()
{
    return CInstallDirectory::UserDataDirectory() + "/" + FileName;
}

std::optional<CKeyPair> CAgentKey::Load(const std::string& agentName, std::string& error)
{
    return CKeyPair::LoadOrCreate(Path(), agentName.empty() ? std::string("calendar agent") : agentName,
                                  error);
}
