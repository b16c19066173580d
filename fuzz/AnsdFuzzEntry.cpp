#include <FuzzEntries.h>

#include <ansd/AgentRegistry.h>
#include <ansd/LineBuffer.h>
#include <ansd/RegistrationRules.h>
#include <ansd/RequestHandler.h>
#include <ansd/StateFile.h>
#include <platform/KeyPair.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

namespace {

const char* const kPeers[] = {"10.0.0.1", "10.0.0.2", "127.0.0.1"};

// One reply, as appended from `from` on: exactly one 0x04, at its end, after
// "\r\n", so that a client reading to that byte gets this reply and no more.
bool well_ended(const std::string& replies, std::size_t from)
{
    const std::string_view reply = std::string_view(replies).substr(from);
    return reply.size() >= 3 && reply.substr(reply.size() - 3) == "\r\n\x04" &&
           std::count(reply.begin(), reply.end(), '\x04') == 1;
}

bool registry_holds_only_valid_entries(const CAgentRegistry& registry)
{
    bool valid = true;
    registry.ForEachLive([&](const std::string& name, const CAgentRegistry::Entry& entry) {
        valid = valid && CRegistrationRules::IsValidName(name) && CRegistrationRules::IsValidUrl(entry.url) &&
                CRegistrationRules::IsValidOwner(entry.owner) &&
                (entry.key.empty() || CKeyPair::IsPublicKeyText(entry.key));
    });
    return valid;
}

} // namespace

bool CFuzzEntries::ansd(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return true;
    // The first byte picks how the rest arrives: in pieces of 1 to 64 bytes.
    const std::size_t piece = 1 + data[0] % 64;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = size - 1;

    std::int64_t now = 1000;
    CAgentRegistry registry(5, 8, [&now] { return now; });
    CRequestHandler handler(registry, [](const std::string&) {});
    CLineBuffer input(CRequestHandler::kMaxRequestLength);
    std::string replies;
    std::size_t lines = 0;

    // As a connection answers: line by line, each from one of a few peers,
    // with the clock moving so that entries expire along the way.
    const auto answer = [&](CLineBuffer::Next next, std::string_view line) {
        const std::size_t from = replies.size();
        if (next == CLineBuffer::Next::TooLong)
            handler.HandleTooLong(kPeers[0], replies);
        else
            handler.Handle(line, kPeers[lines % 3], replies);
        ++lines;
        now += static_cast<std::int64_t>(line.size() % 4);
        return well_ended(replies, from);
    };

    for (std::size_t at = 0; at < length; at += piece) {
        input.Append(bytes + at, std::min(piece, length - at));
        std::string_view line;
        CLineBuffer::Next next;
        while ((next = input.Take(line)) != CLineBuffer::Next::NeedMore) {
            if (!answer(next, line))
                return false;
            if (next == CLineBuffer::Next::TooLong)
                return registry_holds_only_valid_entries(registry);
        }
    }
    std::string_view rest;
    const CLineBuffer::Next last = input.TakeRest(rest);
    if (last != CLineBuffer::Next::NeedMore && !answer(last, rest))
        return false;
    return registry_holds_only_valid_entries(registry);
}

namespace {

// The live entries of a registry as one comparable text.
std::string entries_of(const CAgentRegistry& registry)
{
    std::string text;
    registry.ForEachLive([&text](const std::string& name, const CAgentRegistry::Entry& entry) {
        text += name + " " + entry.url + " " + entry.owner + " " + std::to_string(entry.refreshed) + "\n";
    });
    return text;
}

std::string state_path()
{
    static std::string path;
    if (path.empty()) {
        char directory[] = "/tmp/ansd-state-fuzz-XXXXXX";
        path = std::string(mkdtemp(directory) ? directory : "/tmp") + "/state";
    }
    return path;
}

} // namespace

bool CFuzzEntries::ansd_state(const std::uint8_t* data, std::size_t size)
{
    const std::string path = state_path();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // Entries that never expire while the input runs, so that every one read
    // is live.
    const auto clock = [] { return std::int64_t{0}; };
    CAgentRegistry registry(std::int64_t{1} << 40, 1u << 16, clock);
    std::string error;
    if (!CStateFile(path).Load(registry, error))
        return !error.empty() && error.find(path) != std::string::npos;
    // What was read is written so that it reads back the same.
    const std::string first = entries_of(registry);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << CStateFile::Format(registry);
    }
    CAgentRegistry again(std::int64_t{1} << 40, 1u << 16, clock);
    return CStateFile(path).Load(again, error) && entries_of(again) == first;
}
