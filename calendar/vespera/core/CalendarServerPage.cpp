// The options page for the calendar server: its values live beside the
// agent's other settings, and the store is chosen from them at start.

#include <vespera/core/SettingsPages.h>

#include <vespera/core/AgentSettings.h>

#include <platform/Registry.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace SettingsPages {

namespace {

std::string Read(const CRegistry& registry, const char* name)
{
    std::string value;
    return registry.ReadValueUnbounded(CAgentSettings::RegistryKey, name, value) == CRegistry::Ok
               ? value
               : std::string();
}

bool IsServerAddress(const std::string& url)
{
    return (url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0) &&
           url.find_first_of(" \t\r\n") == std::string::npos;
}

bool IsPollSeconds(const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const long seconds = std::strtol(text.c_str(), &end, 10);
    return !text.empty() && errno == 0 && *end == '\0' && seconds >= 1 && seconds <= 86400;
}

} // namespace

CCalendarServerPageInput LoadCalendarServerPage(const CAgentSettings& settings)
{
    const CRegistry& registry = settings.GetRegistry();
    CCalendarServerPageInput page;
    const std::string store = Read(registry, "CalendarStore");
    std::string lowered;
    for (const char c : store)
        lowered += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    page.useServer = lowered == "caldav";
    page.url = Read(registry, "CalDAVURL");
    page.user = Read(registry, "CalDAVUser");
    page.contactsUrl = Read(registry, "CardDAVURL");
    const std::string poll = Read(registry, "CalDAVPollSeconds");
    if (!poll.empty())
        page.pollSeconds = poll;
    return page;
}

std::string ApplyCalendarServerPage(CAgentSettings& settings, const CCalendarServerPageInput& page)
{
    if (page.useServer && page.url.empty())
        return "A calendar server needs its address, such as https://dav.example.org/.";
    if (!page.url.empty() && !IsServerAddress(page.url))
        return "The server's address must begin with https:// (or http:// on this machine): " + page.url;
    if (!page.contactsUrl.empty() && !IsServerAddress(page.contactsUrl))
        return "The address book's address must begin with https:// (or http:// on this machine): " +
               page.contactsUrl;
    if (!IsPollSeconds(page.pollSeconds))
        return "The server is asked for changes every 1 to 86400 seconds, not \"" + page.pollSeconds + "\".";
    CRegistry registry = settings.GetRegistry();
    for (const auto& [name, value] :
         {std::pair<const char*, std::string>{"CalendarStore", page.useServer ? "caldav" : "file"},
          {"CalDAVURL", page.url},
          {"CalDAVUser", page.user},
          {"CardDAVURL", page.contactsUrl},
          {"CalDAVPollSeconds", page.pollSeconds}}) {
        if (registry.WriteValue(CAgentSettings::RegistryKey, name, value) != CRegistry::Ok)
            return "The calendar server's settings could not be stored: " + registry.ErrorText();
    }
    return std::string();
}

} // namespace SettingsPages
