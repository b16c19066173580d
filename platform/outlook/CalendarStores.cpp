#include <outlook/CalendarStores.h>

#include <outlook/AgentSetting.h>
#include <outlook/CalDavBackend.h>
#include <outlook/FileBackend.h>

#include <platform/Registry.h>

#include <cerrno>
#include <cstdlib>

namespace outlook {

namespace {

// Seconds from 1 to a day; the default for anything else, with a note.
long PollSeconds(const std::string& text, std::string& note)
{
    if (text.empty())
        return CCalendarStores::DefaultPollSeconds;
    if (const std::optional<long> seconds = CCalendarStores::ParsePollSeconds(text))
        return *seconds;
    note = "CalDAVPollSeconds must be a number of seconds from 1 to 86400, not \"" + text + "\"; " +
           std::to_string(CCalendarStores::DefaultPollSeconds) + " is used";
    return CCalendarStores::DefaultPollSeconds;
}

// $XDG_CACHE_HOME/orvante, else ~/.cache/orvante; empty without a home.
std::string CacheDirectory()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && *cache == '/')
        return std::string(cache) + "/orvante";
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.cache/orvante" : std::string();
}

} // namespace

std::optional<long> CCalendarStores::ParsePollSeconds(const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    const long seconds = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0' || seconds < 1 || seconds > 86400)
        return std::nullopt;
    return seconds;
}

CCalendarStores::SStore CCalendarStores::FromRegistry(const CRegistry& registry,
                                                      const std::string& dataDirectory, CEventLoop* loop)
{
    SStore store;
    const std::string kind = Lowered(ReadAgentSetting(registry, "CalendarStore"));
    const std::string url = ReadAgentSetting(registry, "CalDAVURL");
    if (kind == "caldav" && !url.empty()) {
        CCalDavBackend::SSettings settings;
        settings.url = url;
        settings.contactsUrl = ReadAgentSetting(registry, "CardDAVURL");
        settings.client.user = ReadAgentSetting(registry, "CalDAVUser");
        settings.pollSeconds = PollSeconds(ReadAgentSetting(registry, "CalDAVPollSeconds"), store.note);
        settings.loop = loop;
        settings.cacheDirectory = CacheDirectory();
        settings.journalPath = dataDirectory + "/caldav-journal";
        settings.remindersPath = dataDirectory + "/" + CFileBackend::RemindersFileName;
        store.backend = std::make_shared<CCalDavBackend>(settings);
        return store;
    }
    if (kind == "caldav")
        store.note = "CalendarStore is caldav but CalDAVURL is empty; the calendar file in " + dataDirectory +
                     " is used";
    else if (!kind.empty() && kind != "file")
        store.note = "CalendarStore must be file or caldav, not \"" + kind + "\"; the calendar file in " +
                     dataDirectory + " is used";
    store.backend = std::make_shared<CFileBackend>(dataDirectory, loop);
    return store;
}
} // namespace outlook
