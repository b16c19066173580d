#pragma once

#include <basekit/ListElement.h>
#include <basekit/URL.h>

#include <memory>
#include <string>
#include <utility>

// One record of an agent's location table: named after the agent, with the
// address where it listens and how long the record stays valid.
class CServiceInfo : public CListElement {
public:
    // Expiration value of a record that never expires.
    static constexpr int NEVER_EXPIRES = -1;

    CServiceInfo();
    explicit CServiceInfo(const char* name);
    ~CServiceInfo() override;

    // The agent's address (owned by the record), or null when unknown.
    CURL* get_location();
    // Takes ownership of `location` and destroys the previous one. Giving
    // the current location again keeps it; null leaves no location.
    void set_location(CURL* location);

    // Where the record came from: the name-server client uses 1; 0 marks a
    // service of this agent itself.
    int get_type();
    void set_type(int type);

    // Seconds left before the record is dropped; NEVER_EXPIRES (the
    // default) keeps it for good.
    int get_expiration();
    void set_expiration(int expiration);

    // 1 once the agent is known to have disappeared.
    int get_gone();
    void set_gone(int gone);

    // 1 when the service was found on the local network rather than
    // through a name server.
    int get_localisation() const;
    void set_localisation(int localisation);

    // The public key the agent's name is held by at the name server
    // ("ed25519:..."); empty when none is known.
    const std::string& get_key() const { return key; }
    void set_key(std::string value) { key = std::move(value); }

private:
    std::unique_ptr<CURL> location;
    std::string key;
    int type = 0;
    int expiration = NEVER_EXPIRES;
    int gone = 0;
    int localisation = 0;
};
