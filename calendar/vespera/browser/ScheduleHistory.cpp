#include <vespera/browser/ScheduleHistory.h>

#include <eventview/InstalledFiles.h>

#include <platform/Registry.h>

#include <algorithm>

namespace {

constexpr const char* AgentKey = "Software\\ORVANTE\\CalendarAgent";

const char* const ExampleFiles[] = {
    "team-schedule.rdf",    "conference-programme.rdf", "holidays.ttl",         "school-terms.ttl",
    "choir-rehearsals.rdf", "football-fixtures.ttl",    "gallery-openings.ttl", "workshop-series.rdf",
    "harbour-festival.ttl", "chamber-orchestra.rdf",
};

std::string ValueName(int number)
{
    return "URL" + std::to_string(number);
}

} // namespace

std::vector<std::string> CScheduleHistory::Load(const CRegistry& registry)
{
    std::vector<std::string> addresses;
    for (int number = 1; number <= MaxEntries; ++number) {
        std::string address;
        if (registry.ReadValueUnbounded(AgentKey, ValueName(number), address) != CRegistry::Ok ||
            address.empty())
            break;
        addresses.push_back(address);
    }
    return addresses;
}

bool CScheduleHistory::Save(CRegistry& registry, const std::vector<std::string>& addresses)
{
    const std::size_t count = std::min<std::size_t>(addresses.size(), MaxEntries);
    for (std::size_t i = 0; i < count; ++i) {
        if (registry.WriteValue(AgentKey, ValueName(static_cast<int>(i) + 1), addresses[i]) != CRegistry::Ok)
            return false;
    }
    return true;
}

std::vector<std::string> CScheduleHistory::Remember(std::vector<std::string> addresses,
                                                    const std::string& address)
{
    addresses.erase(std::remove(addresses.begin(), addresses.end(), address), addresses.end());
    addresses.insert(addresses.begin(), address);
    return addresses;
}

std::string CScheduleHistory::ExamplesFolder()
{
    return installedfiles::Folder("schedules");
}

std::vector<std::string> CScheduleHistory::Examples()
{
    std::vector<std::string> addresses;
    const std::string folder = ExamplesFolder();
    for (const char* file : ExampleFiles)
        addresses.push_back("file://" + folder + "/" + file);
    return addresses;
}
