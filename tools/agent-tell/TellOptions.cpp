#include "TellOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

bool parse_int(const char* text, long low, long high, int& out)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high)
        return false;
    out = static_cast<int>(value);
    return true;
}

bool parse_seconds(const char* text, double& out)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < 0 ||
        value > CTellOptions::MAX_WAIT_SECONDS)
        return false;
    out = value;
    return true;
}

bool takes_value(const std::string& option)
{
    return option == "-ans" || option == "-ansport" || option == "-name" || option == "--wait" ||
           option == "--replies" || option == "--at" || option == "--known-agents";
}

} // namespace

bool CTellOptions::parse(int argc, char** argv)
{
    std::vector<std::string> positional;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] ? argv[i] : "";
        if (options_done || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "--help" || arg == "-h") {
            help = true;
            return true;
        } else if (arg == "--discover") {
            discover = true;
        } else if (arg == "--trust-unauthenticated") {
            trust_unauthenticated = true;
        } else if (arg == "--json") {
            json = true;
        } else if (!takes_value(arg)) {
            return fail("unknown option " + arg);
        } else if (i + 1 >= argc) {
            return fail("option " + arg + " needs a value");
        } else if (!take_option(arg, argv[++i])) {
            return false;
        }
    }
    if (discover && (ans_given || !at.empty()))
        return fail("--discover finds the receiver without a name server or an address; leave out "
                    "-ans, -ansport and --at");
    if (positional.size() != 2)
        return fail("expected the receiver and the content");
    receiver = positional[0];
    content = positional[1];
    if (receiver.empty())
        return fail("the receiver's name is empty");
    return true;
}

bool CTellOptions::take_option(const std::string& option, const char* value)
{
    if (option == "-ans" || option == "-ansport")
        ans_given = true;
    if (option == "-ans") {
        ans_host = value ? value : "";
        return !ans_host.empty() || fail("-ans needs a host");
    }
    if (option == "-ansport")
        return parse_int(value, 1, 65535, ans_port) || fail("-ansport needs a port from 1 to 65535");
    if (option == "-name") {
        name = value ? value : "";
        return !name.empty() || fail("-name needs a name");
    }
    if (option == "--wait")
        return parse_seconds(value, wait_seconds) || fail("--wait needs seconds from 0 to 3600");
    if (option == "--replies")
        return parse_int(value, 0, 1000000, replies) || fail("--replies needs a count");
    if (option == "--known-agents") {
        known_agents = value ? value : "";
        return !known_agents.empty() || fail("--known-agents needs a file");
    }
    return parse_at(value);
}

bool CTellOptions::parse_at(const char* value)
{
    static const std::string kScheme = "tcp://";
    const std::string text = value ? value : "";
    const std::string rest =
        text.compare(0, kScheme.size(), kScheme) == 0 ? text.substr(kScheme.size()) : std::string();
    const size_t colon = rest.rfind(':');
    const std::string host = colon == std::string::npos ? std::string() : rest.substr(0, colon);
    int port = 0;
    if (host.empty() || host.find_first_of("/?: \t") != std::string::npos ||
        !parse_int(rest.c_str() + colon + 1, 1, 65535, port))
        return fail("--at needs an address tcp://HOST:PORT");
    at = text;
    at_host = host;
    at_port = port;
    return true;
}

bool CTellOptions::fail(const std::string& text)
{
    error = text;
    return false;
}

const std::string& CTellOptions::get_error() const
{
    return error;
}

bool CTellOptions::uses_name_server() const
{
    return !discover && (at.empty() || ans_given);
}

int CTellOptions::lookup_mask() const
{
    return discover ? 1 : uses_name_server() ? 2 : 0;
}

std::string CTellOptions::agent_name() const
{
    return name.empty() ? "agent-tell-" + std::to_string(::getpid()) : name;
}

std::vector<std::string> CTellOptions::container_args() const
{
    if (discover)
        return {"-name", agent_name()};
    return {"-name", agent_name(), "-ans", ans_host, "-ansport", std::to_string(ans_port)};
}

const char* CTellOptions::usage()
{
    return "usage: agent-tell [-ans HOST] [-ansport N] [-name NAME] [--wait SECONDS]\n"
           "                  [--replies N] [--at tcp://HOST:PORT | --discover]\n"
           "                  [--known-agents FILE] [--trust-unauthenticated] [--json] [--] TO 'CONTENT'\n"
           "Sends one \"tell\" with CONTENT to the agent TO and prints what comes back on\n"
           "that connection within the wait (5 s; ends after --replies messages, 1 unless\n"
           "given, 0 for no limit). --discover finds TO by multicast on the local network\n"
           "instead of at a name server; TO must then prove its name over TLS with the\n"
           "key pinned for it in FILE (the user's agent keeps its own in known-agents),\n"
           "else the one it announced. --trust-unauthenticated also sends to an agent\n"
           "without a key. --json prints each reply as one line of JSON (its performative\n"
           "and keywords, and the fields of its content). Exit status 0 when the message\n"
           "was sent, 1 when it was not,\n"
           "2 for a wrong command line, 3 when no reply came within the wait.\n";
}

std::string CTellOptions::wait_text() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%g second%s", wait_seconds, wait_seconds == 1.0 ? "" : "s");
    return text;
}
