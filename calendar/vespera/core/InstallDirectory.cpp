#include <vespera/core/InstallDirectory.h>

#include <vespera/core/AgentSettings.h>

#include <platform/Registry.h>

#include <cstdlib>

std::optional<std::string> CInstallDirectory::ReadFromRegistry(const CRegistry& registry)
{
    std::string value;
    if (registry.ReadValue(CAgentSettings::RegistryKey, "InstallDir", value) != CRegistry::Ok ||
        value.empty())
        return std::nullopt;
    return value;
}

std::string CInstallDirectory::UserDataDirectory()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data)
        return std::string(data) + "/orvante";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/share/orvante";
}

std::string CInstallDirectory::Choose(const CRegistry& registry)
{
    if (std::optional<std::string> stored = ReadFromRegistry(registry))
        return *stored;
    const char* exported = std::getenv(EnvironmentVariable);
    if (exported && *exported)
        return exported;
    return UserDataDirectory();
}

bool CInstallDirectory::Export(const std::string& directory)
{
    return !directory.empty() && setenv(EnvironmentVariable, directory.c_str(), 1) == 0;
}
