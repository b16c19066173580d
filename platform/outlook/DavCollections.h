#pragma once

#include <outlook/DavClient.h>

#include <string>

namespace outlook {

// Finds the user's calendar and address book on a server from the address
// the user gave: the server's root (through /.well-known/caldav and
// /.well-known/carddav), a principal, a home set or a collection itself.
// The calendar is the one given, else the first in the home set that holds
// events; the address book the one given, else the first in its home set.
class CDavCollections {
public:
    explicit CDavCollections(const CDavClient& client) : m_client(client) {}

    // False with the reason when no calendar is found from `url`.
    bool FindCalendar(const std::string& url, std::string& calendar, std::string& error) const;
    // False with the reason when no address book is found from `url`.
    bool FindAddressBook(const std::string& url, std::string& book, std::string& error) const;

private:
    struct SKind {
        const char* collectionType;
        const char* homeSet;
        const char* wellKnown;
        const char* name;
    };
    bool Find(const SKind& kind, const std::string& url, std::string& found, std::string& error) const;
    bool FirstInHome(const SKind& kind, const std::string& home, std::string& found,
                     std::string& error) const;

    const CDavClient& m_client;
};

} // namespace outlook
