#pragma once

#include <string>
#include <vector>

// The command line of agent-tell:
//
//   agent-tell [-ans HOST] [-ansport N] [-name NAME] [--wait SECONDS]
//              [--replies N] [--at tcp://HOST:PORT | --discover]
//              [--known-agents FILE] [--trust-unauthenticated] [--json] [--] TO 'CONTENT'
//
// The name server is 127.0.0.1:6677 unless given; --at names the receiver's
// address directly, and the name server is then used only when -ans or
// -ansport is given (to register, so that the receiver can find the way
// back: agents answer only agents they can locate). --discover uses no name
// server: the receiver is searched for by multicast on the local network
// (and this agent announced there), for at most the wait. The wait (5 seconds
// unless given, fractions allowed, at most an hour) bounds how long replies
// are collected; --replies (1 unless given, 0 for no limit) ends it early
// once that many have come. "--" ends the options, for a content that
// begins with '-'. The run has a key of its own, made for it alone, so
// that it can ask the receiver to prove its name over TLS: against the key
// pinned for it in --known-agents (only read), else the one the name server
// or its announcement gives. --trust-unauthenticated sends to receivers
// without a key too, as agents that know nothing of keys did.
class CTellOptions {
public:
    static constexpr const char* DEFAULT_ANS_HOST = "127.0.0.1";
    static constexpr int DEFAULT_ANS_PORT = 6677;
    static constexpr double DEFAULT_WAIT_SECONDS = 5.0;
    static constexpr double MAX_WAIT_SECONDS = 3600.0;

    // False (with get_error() telling why) for a command line that is not
    // the one above; --help / -h set `help` and need nothing else.
    bool parse(int argc, char** argv);
    const std::string& get_error() const;

    // The container options this run gives its agent.
    std::vector<std::string> container_args() const;
    // The name the agent uses: the -name value, else "agent-tell-<pid>".
    std::string agent_name() const;

    static const char* usage();

    // Whether the run uses the name server at all.
    bool uses_name_server() const;
    // The container's lookup mask: 1 to discover, 2 for the name server.
    int lookup_mask() const;

    std::string ans_host = DEFAULT_ANS_HOST;
    int ans_port = DEFAULT_ANS_PORT;
    std::string name;
    double wait_seconds = DEFAULT_WAIT_SECONDS;
    // The wait as a person reads it: "5 seconds", "0.5 seconds".
    std::string wait_text() const;
    int replies = 1;
    // Set by --at: the receiver's address, and the text as given.
    std::string at;
    std::string at_host;
    int at_port = 0;
    std::string receiver;
    std::string content;
    bool help = false;
    // -ans or -ansport was given.
    bool ans_given = false;
    bool discover = false;
    std::string known_agents;
    bool trust_unauthenticated = false;
    // Replies as JSON lines (see CReplyJson).
    bool json = false;

private:
    bool take_option(const std::string& option, const char* value);
    bool parse_at(const char* value);
    bool fail(const std::string& error);

    std::string error;
};
