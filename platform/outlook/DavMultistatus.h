#pragma once

#include <map>
#include <string>
#include <vector>

namespace outlook {

// A WebDAV multistatus answer (RFC 4918, with the collection sync of RFC
// 6578), read with libxml2 from untrusted text: no network, no external
// entities, no DTD, a bounded size. Each response is its href and the
// properties its server found (a 2xx propstat); a property is known by its
// namespace and local name, "DAV:getetag",
// "urn:ietf:params:xml:ns:caldav:calendar-data".
class CDavMultistatus {
public:
    static constexpr std::size_t MaxTextSize = 64u << 20;

    struct SProperty {
        // The text inside it, for a value property.
        std::string text;
        // The hrefs inside it (a home set, a principal).
        std::vector<std::string> hrefs;
        // The names of the elements inside it (a resource type's kinds).
        std::vector<std::string> children;
        // A supported component set's names ("VEVENT").
        std::vector<std::string> components;
    };

    struct SResponse {
        std::string href;
        // The response's own status (a member removed since a sync token);
        // 0 when it has none.
        int status = 0;
        std::map<std::string, SProperty> properties;

        const SProperty* Find(const std::string& name) const;
        std::string Text(const std::string& name) const;
        bool Is(const std::string& kind) const;
    };

    // `text` as XML character data, so that it reads back unchanged (line
    // ends too).
    static std::string Escaped(const std::string& text);

    // False with the reason for text that is no multistatus.
    bool Parse(const std::string& text, std::string& error);

    const std::vector<SResponse>& Responses() const { return m_responses; }
    // The sync-token of a sync-collection answer; empty otherwise.
    const std::string& SyncToken() const { return m_syncToken; }

private:
    std::vector<SResponse> m_responses;
    std::string m_syncToken;
};

} // namespace outlook
