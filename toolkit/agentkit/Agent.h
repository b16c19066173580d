#pragma once

#include <basekit/ListElement.h>
#include <basekit/NameSpace.h>
#include <platform/DateTime.h>

#include <optional>
#include <string>

// What an agent says about itself: where it can be reached, when it was
// made, what kind of agent it is and the lineage of kinds it descends from.
//
// Text getters return text owned by the agent (null when unset); setters
// copy, and null clears.
class CAgent : public CListElement {
public:
    static constexpr const char* DEFAULT_HOST = "localhost";

    CAgent();
    explicit CAgent(const char* name);
    ~CAgent() override;

    void set_url(const char* url);
    char* get_url();

    // "localhost" until set; null restores that default.
    void set_host(const char* host);
    char* get_host();

    void set_date(const CDateTime& date);
    CDateTime get_date() const;

    void set_port(int port);
    int get_port();

    // The transport the agent speaks; 1 is TCP, as for connections.
    void set_protocol(int protocol);
    int get_protocol();

    // The kind of agent ("agent" for a container).
    void set_type(const char* type);
    char* get_type();

    // The lineage, oldest kind first, owned by the agent and never null.
    CNameSpace* get_base_type();

private:
    std::optional<std::string> url;
    std::string host = DEFAULT_HOST;
    CDateTime date = CDateTime::GetCurrentTime();
    int port = 0;
    int protocol = 1;
    std::optional<std::string> type;
    CNameSpace base_type{"base type"};
};
