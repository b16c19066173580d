// The options page for the calendar server: its values live beside the
// agent's other settings, and the store is chosen from them at start.

#include <vespera/core/SettingsPages.h>

#include <vespera/core/AgentSettings.h>

#include <outlook/AgentSetting.h>
#include <outlook/CalendarStores.h>
#include <outlook/DavClient.h>
#include <outlook/SecretPasswords.h>
#include <platform/Registry.h>

namespace SettingsPages {

namespace {

bool IsServerAddress(const std::string& url)
{
    return (url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0) &&
           url.find_first_of(" \t\r\n") == std::string::npos;
}

} // namespace

CCalendarServerPageInput LoadCalendarServerPage(const CAgentSettings& settings)
{
    const CRegistry& registry = settings.GetRegistry();
    CCalendarServerPageInput page;
    page.useServer = outlook::Lowered(outlook::ReadAgentSetting(registry, "CalendarStore")) == "caldav";
    page.url = outlook::ReadAgentSetting(registry, "CalDAVURL");
    page.user = outlook::ReadAgentSetting(registry, "CalDAVUser");
    page.contactsUrl = outlook::ReadAgentSetting(registry, "CardDAVURL");
    const std::string poll = outlook::ReadAgentSetting(registry, "CalDAVPollSeconds");
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
    if (!outlook::CCalendarStores::ParsePollSeconds(page.pollSeconds))
        return "The server is asked for changes every 1 to 86400 seconds, not \"" + page.pollSeconds + "\".";
    if (!page.password.empty() && (page.url.empty() || page.user.empty()))
        return "A password is kept for a server's address and a user name: give both.";
    std::string keyringError;
    if (!page.password.empty() && !outlook::CSecretPasswords::Store(
                                      outlook::CDavClient::HostOf(page.url), page.user,
                                      outlook::Lowered(page.url).rfind("https://", 0) == 0 ? "https" : "http",
                                      page.password, keyringError))
        return "The password could not be kept in the desktop keyring (" + keyringError +
               "); put it in ~/.netrc instead (\"machine HOST login USER password ...\").";
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
