#include <ansd/RequestHandler.h>

#include <ansd/NamePattern.h>
#include <ansd/RegistrationRules.h>

#include <platform/KeyPair.h>

#include <utility>

namespace {

constexpr std::string_view kEnd = "\r\n\x04";
constexpr std::string_view kSuccess = "success";
constexpr std::string_view kNoSuchAgent = "sorry: no such agent";
constexpr std::string_view kUnknown = "error: unknown request";
constexpr std::string_view kEmpty = "error: empty request";
constexpr std::string_view kTooLong = "error: request too long";
constexpr std::string_view kBadName = "error: bad name";
constexpr std::string_view kBadUrl = "error: bad url";
constexpr std::string_view kInUse = "error: name already in use";
constexpr std::string_view kFull = "error: registry full";
constexpr std::string_view kNotOwner = "error: not the owner of this name";
constexpr std::string_view kHeldByKey = "error: name held by another key";
constexpr std::string_view kBadSignature = "error: bad signature";
constexpr std::string_view kStale = "error: signature out of date";
constexpr std::string_view kNoKey = "sorry: no key";
constexpr std::string_view kRegisterUsage = "error: usage: register NAME URL [KEY TIME SIGNATURE]";
constexpr std::string_view kUnregisterUsage = "error: usage: unregister NAME [KEY TIME SIGNATURE]";
constexpr std::string_view kKeyUsage = "error: usage: key NAME";
constexpr std::string_view kLookupUsage = "error: usage: lookup NAME";
constexpr std::string_view kListUsage = "error: usage: list all | list PATTERN";

// Log lines quote what the client sent; this keeps them one short, harmless
// line whatever it sent.
constexpr std::size_t kMaxLoggedRequest = 160;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Printable(std::string_view text)
{
    std::string out;
    const std::size_t length = std::min(text.size(), kMaxLoggedRequest);
    out.reserve(length + 3);
    for (std::size_t i = 0; i < length; ++i) {
        const char c = text[i];
        out += (c >= ' ' && c <= '~') ? c : '?';
    }
    if (text.size() > length)
        out += "...";
    return out;
}

} // namespace

CRequestHandler::CRequestHandler(CAgentRegistry& registry, LogSink log)
    : registry(registry), log(std::move(log))
{
}

void CRequestHandler::Handle(std::string_view line, std::string_view peer, std::string& reply)
{
    const Words words = Split(line);
    if (words.count == 0)
        return Fail(line, peer, kEmpty, reply);
    const std::string_view verb = words.word[0];
    if (verb == "lookup")
        return Lookup(words, line, peer, reply);
    if (verb == "register")
        return Register(words, line, peer, reply);
    if (verb == "unregister")
        return Unregister(words, line, peer, reply);
    if (verb == "list")
        return List(words, line, peer, reply);
    if (verb == "key")
        return Key(words, line, peer, reply);
    Fail(line, peer, kUnknown, reply);
}

void CRequestHandler::HandleTooLong(std::string_view peer, std::string& reply)
{
    Log(peer, "(request of more than 1024 bytes)", kTooLong);
    Finish(reply, kTooLong);
}

CRequestHandler::Words CRequestHandler::Split(std::string_view line)
{
    Words words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        if (i == line.size())
            break;
        const std::size_t begin = i;
        while (i < line.size() && !IsBlank(line[i]))
            ++i;
        // Words past the last one any request takes only need counting, so
        // that the request is refused for having too many.
        if (words.count < kMaxWords)
            words.word[words.count] = line.substr(begin, i - begin);
        ++words.count;
    }
    return words;
}

void CRequestHandler::Finish(std::string& reply, std::string_view text)
{
    reply.append(text);
    reply.append(kEnd);
}

void CRequestHandler::Register(const Words& words, std::string_view line, std::string_view peer,
                               std::string& reply)
{
    if (words.count != 3 && words.count != 6)
        return Fail(line, peer, kRegisterUsage, reply);
    const std::string_view name = words.word[1];
    const std::string_view url = words.word[2];
    if (!CRegistrationRules::IsValidName(name))
        return Fail(line, peer, kBadName, reply);
    if (!CRegistrationRules::IsValidUrl(url))
        return Fail(line, peer, kBadUrl, reply);
    std::string_view failure;
    const std::optional<CAgentRegistry::Proof> proof =
        words.count == 6 ? ProofOf(words, 3, failure) : CAgentRegistry::Proof{};
    if (!proof)
        return Fail(line, peer, failure, reply);
    switch (registry.Register(name, url, peer, *proof)) {
    case CAgentRegistry::RegisterResult::Added:
        Log(peer, line, "success (new)");
        return Finish(reply, kSuccess);
    case CAgentRegistry::RegisterResult::Replaced:
        Log(peer, line, "success (replaced)");
        return Finish(reply, kSuccess);
    case CAgentRegistry::RegisterResult::InUse:
        return Fail(line, peer, kInUse, reply);
    case CAgentRegistry::RegisterResult::Full:
        return Fail(line, peer, kFull, reply);
    case CAgentRegistry::RegisterResult::HeldByKey:
        return Fail(line, peer, kHeldByKey, reply);
    case CAgentRegistry::RegisterResult::Replayed:
        return Fail(line, peer, kStale, reply);
    }
}

void CRequestHandler::Unregister(const Words& words, std::string_view line, std::string_view peer,
                                 std::string& reply)
{
    if (words.count != 2 && words.count != 5)
        return Fail(line, peer, kUnregisterUsage, reply);
    std::string_view failure;
    const std::optional<CAgentRegistry::Proof> proof =
        words.count == 5 ? ProofOf(words, 2, failure) : CAgentRegistry::Proof{};
    if (!proof)
        return Fail(line, peer, failure, reply);
    switch (registry.Unregister(words.word[1], peer, *proof)) {
    case CAgentRegistry::UnregisterResult::Removed:
        Log(peer, line, kSuccess);
        return Finish(reply, kSuccess);
    case CAgentRegistry::UnregisterResult::NotFound:
        Log(peer, line, kNoSuchAgent);
        return Finish(reply, kNoSuchAgent);
    case CAgentRegistry::UnregisterResult::NotOwner:
        return Fail(line, peer, kNotOwner, reply);
    case CAgentRegistry::UnregisterResult::HeldByKey:
        return Fail(line, peer, kHeldByKey, reply);
    }
}

std::optional<CAgentRegistry::Proof> CRequestHandler::ProofOf(const Words& words, std::size_t first,
                                                              std::string_view& failure) const
{
    const std::string_view key = words.word[first];
    const std::string_view time = words.word[first + 1];
    const std::string_view signature = words.word[first + 2];
    std::int64_t signedAt = 0;
    bool digits = !time.empty() && time.size() <= 18;
    for (const char c : time) {
        digits = digits && c >= '0' && c <= '9';
        signedAt = digits ? signedAt * 10 + (c - '0') : 0;
    }
    std::string text;
    for (std::size_t i = 0; i < first + 2; ++i)
        text.append(i ? " " : "").append(words.word[i]);
    if (!digits || !CKeyPair::Verify(std::string(key), text, std::string(signature))) {
        failure = kBadSignature;
        return std::nullopt;
    }
    // TIME counts milliseconds, so that an agent that restarts within a
    // second still signs a newer request than its last.
    const std::int64_t seconds = signedAt / 1000;
    const std::int64_t now = registry.Now();
    if (seconds > now + kMaxClockSkew || seconds < now - kMaxClockSkew) {
        failure = kStale;
        return std::nullopt;
    }
    return CAgentRegistry::Proof{key, signedAt};
}

void CRequestHandler::Lookup(const Words& words, std::string_view line, std::string_view peer,
                             std::string& reply)
{
    if (words.count != 2)
        return Fail(line, peer, kLookupUsage, reply);
    const CAgentRegistry::Entry* entry = registry.Lookup(words.word[1]);
    Finish(reply, entry ? std::string_view(entry->url) : kNoSuchAgent);
}

void CRequestHandler::Key(const Words& words, std::string_view line, std::string_view peer,
                          std::string& reply)
{
    if (words.count != 2)
        return Fail(line, peer, kKeyUsage, reply);
    const CAgentRegistry::Entry* entry = registry.Lookup(words.word[1]);
    Finish(reply, !entry ? kNoSuchAgent : entry->key.empty() ? kNoKey : std::string_view(entry->key));
}

void CRequestHandler::List(const Words& words, std::string_view line, std::string_view peer,
                           std::string& reply)
{
    if (words.count != 2)
        return Fail(line, peer, kListUsage, reply);
    const std::string_view pattern = words.word[1];
    const bool all = pattern == "all";
    bool any = false;
    registry.ForEachLive([&](const std::string& name, const CAgentRegistry::Entry&) {
        if (!all && !CNamePattern::Matches(pattern, name))
            return;
        reply.append(name);
        reply.append("\r\n");
        any = true;
    });
    if (!any)
        reply.append("null\r\n");
    reply.push_back('\x04');
}

void CRequestHandler::Fail(std::string_view line, std::string_view peer, std::string_view text,
                           std::string& reply)
{
    Log(peer, line, text);
    Finish(reply, text);
}

void CRequestHandler::Log(std::string_view peer, std::string_view line, std::string_view outcome)
{
    if (!log)
        return;
    std::string text = Printable(peer);
    text += ": ";
    text += Printable(line);
    text += " -> ";
    text += outcome;
    log(text);
}
