#pragma once

#include <string>
#include <vector>

class CRegistry;

// The addresses the user retrieved schedules from, kept in the registry as
// "URL1" to "URL20" under the agent's key, the most recent first.
class CScheduleHistory {
public:
    static constexpr int MaxEntries = 20;

    // The stored addresses, read from "URL1" on up to the first that is
    // missing or empty.
    static std::vector<std::string> Load(const CRegistry& registry);
    // Writes the first MaxEntries addresses as "URL1", "URL2" ...; false
    // when the registry refuses (the history is then simply not kept).
    static bool Save(CRegistry& registry, const std::vector<std::string>& addresses);
    // The addresses with `address` put first, moved there when it was
    // further down.
    static std::vector<std::string> Remember(std::vector<std::string> addresses, const std::string& address);
    // The schedules shipped with the program, as file:// addresses of the
    // folder they are installed in.
    static std::vector<std::string> Examples();
    // "schedules" beside the program in a build tree, else
    // share/orvante/schedules of the installation.
    static std::string ExamplesFolder();
};
