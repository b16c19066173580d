#include <outlook/DavCollections.h>

#include <outlook/DavMultistatus.h>

#include <algorithm>

namespace outlook {

namespace {

constexpr const char* CalDavType = "urn:ietf:params:xml:ns:caldavcalendar";
constexpr const char* CardDavType = "urn:ietf:params:xml:ns:carddavaddressbook";

const char* const WhatIsIt =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<d:propfind xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:caldav\" "
    "xmlns:a=\"urn:ietf:params:xml:ns:carddav\"><d:prop>"
    "<d:resourcetype/><d:current-user-principal/><c:calendar-home-set/><a:addressbook-home-set/>"
    "<c:supported-calendar-component-set/><d:displayname/>"
    "</d:prop></d:propfind>";

// A server's redirects (a well-known address) are followed this far.
constexpr int MaxSteps = 6;

bool HoldsEvents(const CDavMultistatus::SResponse& response)
{
    const CDavMultistatus::SProperty* set =
        response.Find("urn:ietf:params:xml:ns:caldavsupported-calendar-component-set");
    return !set || set->components.empty() ||
           std::find(set->components.begin(), set->components.end(), "VEVENT") != set->components.end();
}

std::string FirstHref(const CDavMultistatus::SResponse& response, const std::string& property)
{
    const CDavMultistatus::SProperty* found = response.Find(property);
    return found && !found->hrefs.empty() ? found->hrefs.front() : std::string();
}

std::string OriginOf(const std::string& url)
{
    const std::size_t scheme = url.find("://");
    const std::size_t path = scheme == std::string::npos ? std::string::npos : url.find('/', scheme + 3);
    return path == std::string::npos ? url : url.substr(0, path);
}

std::string Described(const CDavClient::SReply& reply, const std::string& url)
{
    if (reply.status == 0)
        return "the server at " + url + " could not be reached: " + reply.error;
    if (reply.status == 401)
        return "the server at " + url + " refused the user name or password (401)";
    return "the server at " + url + " answered " + std::to_string(reply.status);
}

} // namespace

bool CDavCollections::FindCalendar(const std::string& url, std::string& calendar, std::string& error) const
{
    return Find(
        {CalDavType, "urn:ietf:params:xml:ns:caldavcalendar-home-set", "/.well-known/caldav", "calendar"},
        url, calendar, error);
}

bool CDavCollections::FindAddressBook(const std::string& url, std::string& book, std::string& error) const
{
    return Find({CardDavType, "urn:ietf:params:xml:ns:carddavaddressbook-home-set", "/.well-known/carddav",
                 "address book"},
                url, book, error);
}

bool CDavCollections::Find(const SKind& kind, const std::string& url, std::string& found,
                           std::string& error) const
{
    std::string at = url;
    // Only the server's root leads to its well-known address: a path the
    // user named that holds nothing is an error, not a hint.
    bool triedWellKnown = url != OriginOf(url) && url != OriginOf(url) + "/";
    for (int step = 0; step < MaxSteps; ++step) {
        const CDavClient::SReply reply = m_client.Propfind(at, 0, WhatIsIt);
        if (reply.status >= 300 && reply.status < 400 && !reply.location.empty()) {
            at = CDavClient::Resolve(at, reply.location);
            continue;
        }
        CDavMultistatus answer;
        std::string parseError;
        const bool read =
            reply.status == 207 && answer.Parse(reply.body, parseError) && !answer.Responses().empty();
        if (!read && !triedWellKnown && reply.status != 401 && reply.status != 0) {
            triedWellKnown = true;
            at = OriginOf(url) + kind.wellKnown;
            continue;
        }
        if (!read) {
            error = reply.status == 207
                        ? "the server at " + at + " gave an answer that could not be read: " + parseError
                        : Described(reply, at);
            return false;
        }
        const CDavMultistatus::SResponse& self = answer.Responses().front();
        if (self.Is(kind.collectionType) && (kind.collectionType != CalDavType || HoldsEvents(self))) {
            found = at;
            return true;
        }
        if (const std::string home = FirstHref(self, kind.homeSet); !home.empty())
            return FirstInHome(kind, CDavClient::Resolve(at, home), found, error);
        const std::string principal = FirstHref(self, "DAV:current-user-principal");
        const std::string next = principal.empty() ? std::string() : CDavClient::Resolve(at, principal);
        if (next.empty() || next == at) {
            error = "no " + std::string(kind.name) + " was found at " + at;
            return false;
        }
        at = next;
    }
    error = "the server at " + url + " sent the search for a " + kind.name + " round in circles";
    return false;
}

bool CDavCollections::FirstInHome(const SKind& kind, const std::string& home, std::string& found,
                                  std::string& error) const
{
    const CDavClient::SReply reply = m_client.Propfind(home, 1, WhatIsIt);
    CDavMultistatus answer;
    std::string parseError;
    if (reply.status != 207 || !answer.Parse(reply.body, parseError)) {
        error = reply.status == 207 ? "the server's list of collections could not be read: " + parseError
                                    : Described(reply, home);
        return false;
    }
    for (const CDavMultistatus::SResponse& member : answer.Responses()) {
        if (member.Is(kind.collectionType) && (kind.collectionType != CalDavType || HoldsEvents(member))) {
            found = CDavClient::Resolve(home, member.href);
            return true;
        }
    }
    error = "the user has no " + std::string(kind.name) + " at " + home;
    return false;
}

} // namespace outlook
