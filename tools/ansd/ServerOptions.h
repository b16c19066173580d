#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The server's command line. Every option takes its value as the next
// argument or after '=' ("--port 0", "--port=0").
class CServerOptions {
public:
    enum class Outcome { Run, Help, Error };

    unsigned port = 6677;
    std::string bind = "127.0.0.1";
    std::int64_t ttlSeconds = 1800;
    std::string statePath;
    std::size_t maxClients = 1024;
    std::size_t maxNames = 65536;
    unsigned idleSeconds = 30;
    std::string portFile;
    // Set by --announce: the name under which the server makes itself known
    // on the local network by multicast (empty: it does not).
    std::string announceName;

    // Run with the fields set, Help for --help, or Error with `error` set
    // (the caller prints it and exits 2).
    Outcome Parse(int argc, const char* const* argv, std::string& error);

    static const char* Usage();

private:
    bool Apply(const std::string& option, const std::string& value, std::string& error);
    static bool TakesValue(const std::string& option);
    static bool ParseNumber(const std::string& option, const std::string& text, std::uint64_t low,
                            std::uint64_t high, std::uint64_t& value, std::string& error);
    static bool ParseAddress(const std::string& text, std::string& error);
    static bool ParseName(const std::string& text, std::string& error);
};
