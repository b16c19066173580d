#include <outlook/CalendarStores.h>

#include <outlook/CalDavBackend.h>
#include <outlook/FileBackend.h>

#include <platform/Registry.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace outlook {

namespace {

constexpr const char* SettingsKey = "Software\\ORVANTE\\CalendarAgent";

std::string Lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Seconds from 1 to a day; the default for anything else, with a note.
long PollSeconds(const std::string& text, std::string& note)
{
    if (text.empty())
        return CCalendarStores::DefaultPollSeconds;
    char* end = nullptr;
    errno = 0;
    const long seconds = std::strtol(text.c_str(), &end, 10);
    if (errno == 0 && end && *end == '\0' && seconds >= 1 && seconds <= 86400)
        return seconds;
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

std::string CCalendarStores::Read(const CRegistry& registry, const char* name)
{
    std::string value;
    if (registry.ReadValueUnbounded(SettingsKey, name, value) != CRegistry::Ok)
        return std::string();
    const std::size_t first = value.find_first_not_of(" \t");
    const std::size_t last = value.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
}

CCalendarStores::SStore CCalendarStores::FromRegistry(const CRegistry& registry,
                                                      const std::string& dataDirectory, CEventLoop* loop)
{
    SStore store;
    const std::string kind = Lowered(Read(registry, "CalendarStore"));
    const std::string url = Read(registry, "CalDAVURL");
    if (kind == "caldav" && !url.empty()) {
        CCalDavBackend::SSettings settings;
        settings.url = url;
        settings.contactsUrl = Read(registry, "CardDAVURL");
        settings.client.user = Read(registry, "CalDAVUser");
        settings.pollSeconds = PollSeconds(Read(registry, "CalDAVPollSeconds"), store.note);
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
