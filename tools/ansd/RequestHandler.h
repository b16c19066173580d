#pragma once

#include <ansd/AgentRegistry.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Answers the request lines of the name server's protocol against a
// registry. A register or unregister may carry the agent's public key, the
// time and its signature of the request: a name registered so is held by
// that key, and only a newer request it signed changes it. Every reply is appended to the caller's buffer and
// ends with
// "\r\n" and the byte 0x04, which clients read up to.
//
// Registers, unregisters and every error are reported to the log sink as one
// line each; lookups and lists are not, so that the common case costs
// nothing.
class CRequestHandler {
public:
    using LogSink = std::function<void(const std::string& line)>;

    // Longest request line accepted, its line end not counted.
    static constexpr std::size_t kMaxRequestLength = 1024;

    CRequestHandler(CAgentRegistry& registry, LogSink log);

    // One request line (without its line end) from the peer address `peer`.
    void Handle(std::string_view line, std::string_view peer, std::string& reply);
    // The answer to a line longer than kMaxRequestLength; the caller closes
    // the connection after it.
    void HandleTooLong(std::string_view peer, std::string& reply);

private:
    static constexpr std::size_t kMaxWords = 6;
    // How far a signed request's time may be from the server's clock.
    static constexpr std::int64_t kMaxClockSkew = 300;

    struct Words {
        std::array<std::string_view, kMaxWords> word;
        std::size_t count = 0;
    };

    static Words Split(std::string_view line);
    static void Finish(std::string& reply, std::string_view text);

    void Register(const Words& words, std::string_view line, std::string_view peer, std::string& reply);
    void Unregister(const Words& words, std::string_view line, std::string_view peer, std::string& reply);
    void Lookup(const Words& words, std::string_view line, std::string_view peer, std::string& reply);
    void List(const Words& words, std::string_view line, std::string_view peer, std::string& reply);
    void Key(const Words& words, std::string_view line, std::string_view peer, std::string& reply);
    // The proof of the KEY TIME SIGNATURE words from `first` on, signed over
    // the words before the signature; nullopt (with the reply's text) when
    // the signature is bad or out of date.
    std::optional<CAgentRegistry::Proof> ProofOf(const Words& words, std::size_t first,
                                                 std::string_view& failure) const;
    void Fail(std::string_view line, std::string_view peer, std::string_view text, std::string& reply);
    void Log(std::string_view peer, std::string_view line, std::string_view outcome);

    CAgentRegistry& registry;
    LogSink log;
};
