#pragma once

#include <outlook/Backend.h>

#include <memory>
#include <optional>
#include <string>

class CEventLoop;
class CRegistry;

namespace outlook {
// Makes the calendar store the agent's settings ask for. The values are
// read from HKEY_CURRENT_USER\Software\ORVANTE\CalendarAgent:
//
//   "CalendarStore"      "file" (the default): calendar.ics and contacts.vcf
//                        in the data directory; "caldav": a CalDAV/CardDAV
//                        server
//   "CalDAVURL"          the server's address, a principal or a calendar
//                        collection (https://, or http:// on this machine)
//   "CalDAVUser"         the user name; empty: no authentication. The
//                        password is never stored here: it comes from the
//                        user's ~/.netrc
//   "CardDAVURL"         the address book's address; empty: found from
//                        CalDAVURL
//   "CalDAVPollSeconds"  how often the server is asked for changes (60)
//
// The server store keeps the last copy it read in $XDG_CACHE_HOME/orvante
// and the meetings it could not write yet in caldav-journal in the data
// directory.
class CCalendarStores {
public:
    static constexpr long DefaultPollSeconds = 60;

    struct SStore {
        std::shared_ptr<CBackend> backend;
        // A value that cannot work, in plain words; the store then is what
        // the text says it falls back on.
        std::string note;
    };

    // `loop` (borrowed, may be null) gives the file store its reminders and
    // the server store its polls.
    static SStore FromRegistry(const CRegistry& registry, const std::string& dataDirectory, CEventLoop* loop);
    // CalDAVPollSeconds as a number from 1 to 86400; nothing for any other text.
    static std::optional<long> ParsePollSeconds(const std::string& text);
};
} // namespace outlook
