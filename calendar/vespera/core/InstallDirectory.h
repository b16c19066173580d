#pragma once

#include <optional>
#include <string>

class CRegistry;

// Where the program keeps its logs and the toolkit its files: the install
// directory, exported to the process as ORVANTE so that the toolkit's own
// logs land in the same place as the agent's.
class CInstallDirectory {
public:
    static constexpr const char* EnvironmentVariable = "ORVANTE";

    // The text value "InstallDir" of the agent's settings key; nullopt when
    // it is missing or empty.
    static std::optional<std::string> ReadFromRegistry(const CRegistry& registry);
    // $XDG_DATA_HOME/orvante, or ~/.local/share/orvante without it.
    static std::string UserDataDirectory();
    // The stored "InstallDir" when there is one. Otherwise a home the
    // environment already gives in ORVANTE, which the toolkit logs to in any
    // case, and else the user's data directory: a user can always create
    // files there, unlike at the root of the file system.
    static std::string Choose(const CRegistry& registry);
    // Sets ORVANTE to the directory; false for an empty one or when the
    // environment refuses.
    static bool Export(const std::string& directory);
};
