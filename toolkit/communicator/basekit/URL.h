#pragma once

#include <basekit/LList.h>

#include <optional>
#include <string>

// An address of the form "proto[:subproto]://host[:port][/path][?query]".
//
// The list's elements are the '&'-separated pieces of the query, as plain
// elements named after each piece. Text getters return text owned by the URL,
// or null when that part is not set.
class CURL : public CLList {
public:
    // Protocol "HTTP", port 80, nothing else set.
    CURL();
    // As CURL() followed by parse_url(url).
    explicit CURL(const char* url);
    ~CURL() override;

    // Clears protocol, sub-protocol, host, web page, query path and the
    // query pieces (the port keeps its value), names the object after the
    // whole URL and parses a copy of it. 0 without "://" or when no host is
    // found; 1 when a host was found.
    //
    // After "://" the host (see set_host) runs up to the first '/' or '?'.
    // After a '/' a '?' separates the path (kept by set_cgi) from the
    // query; the web page is the query when there is one, else the path. A
    // '?' before any '/' starts the query straight after the host, so a '/'
    // inside a query never makes the query part of the host.
    int parse_url(const char* url);

    // "a:b" sets protocol a and sub-protocol b; text without ':' sets the
    // protocol and clears the sub-protocol. Null clears both.
    void set_proto(const char* proto);
    char* get_proto();
    char* get_subproto();

    // "host:port" sets both; without ':' only the host. The port is read as
    // atoi does (leading blanks, a sign, then digits up to the first other
    // character, so "80x" is 80 and "x" is 0), but a value outside 0..65535
    // gives port 0 rather than a number no socket could use. An empty host
    // (or null) leaves no host.
    void set_host(const char* host);
    char* get_host();

    int get_port();
    void set_port(int port);

    char* get_webpage();
    void set_webpage(const char* page);

    // The query path; a leading '/' is added when missing. Null clears it.
    void set_cgi(const char* cgi);
    char* get_cgi();

    // Building a URL text from the parts is not offered: always null.
    char* generate_url();

private:
    void clear_parts();
    void set_query(const std::string& query);
    void parse_after_slash(const std::string& rest);

    std::optional<std::string> proto;
    std::optional<std::string> subproto;
    std::optional<std::string> host;
    std::optional<std::string> webpage;
    std::optional<std::string> cgi;
    int port = 80;
};
