#pragma once

#include <lexikit/HTTPParser.h>

#include <string>

// The datagrams of service discovery (SSDP over multicast): reads the start
// line and header lines of announcements, searches and answers, and builds
// the four kinds the discovery module sends.
class CSSDPParser : public CHTTPParser {
public:
    CSSDPParser();

    // The request target for an M-SEARCH or NOTIFY request, the version for
    // an answer ("HTTP/1.1 200 OK"); null for any other start line.
    const char* find_M_SEARCH();
    const char* find_NOTIFY();
    const char* find_HTTP();
    // Header values by name (case does not matter); null when absent.
    const char* find_S() { return find_token("S"); }
    const char* find_ST() { return find_token("ST"); }
    const char* find_Host() { return find_token("Host"); }
    const char* find_Man() { return find_token("Man"); }
    const char* find_MX() { return find_token("MX"); }
    const char* find_NTS() { return find_token("NTS"); }
    const char* find_NT() { return find_token("NT"); }
    const char* find_Ext() { return find_token("Ext"); }
    const char* find_Cache_Control() { return find_token("Cache-Control"); }
    const char* find_USN() { return find_token("USN"); }
    const char* find_AL() { return find_token("AL"); }
    const char* find_Location() { return find_token("Location"); }
    // The announced agent's public key ("ed25519:..."), which it must then
    // prove over TLS; absent from agents without keys.
    const char* find_Agent_Key() { return find_token("Agent-Key"); }

    // The datagrams: an agent alive or leaving, a search, an answer. An
    // announcement and an answer carry the agent's key when `key` is given.
    static std::string Announce(const std::string& group, int groupPort, const std::string& type,
                                const std::string& usn, const std::string& host, int port,
                                const std::string& key = std::string());
    static std::string Withdraw(const std::string& group, int groupPort, const std::string& type,
                                const std::string& usn, const std::string& host, int port);
    static std::string Search(const std::string& searcher, const std::string& host, int port,
                              const std::string& searched);
    static std::string Answer(const std::string& searcher, const std::string& usn, const std::string& type,
                              const std::string& host, int port, const std::string& key = std::string());
};
