#include <ansd/StateFile.h>

#include <ansd/RegistrationRules.h>
#include <platform/AtomicFile.h>
#include <platform/KeyPair.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

namespace {

// Version 2 adds each entry's key and the time of its newest signature; a
// registry without keys is written as version 1, which older servers read.
const char kHeader[] = "ansd-state 1";
const char kKeyedHeader[] = "ansd-state 2";
const char kNoKey[] = "-";

bool HasKeys(const CAgentRegistry& registry)
{
    bool any = false;
    registry.ForEachLive(
        [&any](const std::string&, const CAgentRegistry::Entry& entry) { any = any || !entry.key.empty(); });
    return any;
}

} // namespace

CStateFile::CStateFile(std::string path) : path(std::move(path)) {}

const std::string& CStateFile::Path() const
{
    return path;
}

bool CStateFile::Load(CAgentRegistry& registry, std::string& error)
{
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) {
            savedRevision = registry.Revision();
            everSaved = true;
            return true;
        }
        error = "cannot read state file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    if (!std::getline(in, line) || (line != kHeader && line != kKeyedHeader))
        return Fail(error, 1,
                    "does not begin with \"" + std::string(kHeader) + "\" or \"" + kKeyedHeader + "\"");
    const bool keyed = line == kKeyedHeader;
    std::size_t number = 1;
    while (std::getline(in, line)) {
        ++number;
        std::string name;
        CAgentRegistry::Entry entry;
        if (!ParseEntry(line, name, entry, keyed))
            return Fail(error, number,
                        keyed ? "is not \"NAME URL OWNER REFRESHED KEY SIGNED\""
                              : "is not \"NAME URL OWNER REFRESHED\"");
        if (!registry.Restore(name, std::move(entry)))
            return Fail(error, number, "repeats a name or exceeds the registry's size");
    }
    if (in.bad())
        return Fail(error, number, "cannot be read");
    savedRevision = registry.Revision();
    everSaved = true;
    return true;
}

bool CStateFile::Save(const CAgentRegistry& registry, std::string& error)
{
    if (!CAtomicFile(path).Replace(Format(registry), error))
        return false;
    savedRevision = registry.Revision();
    everSaved = true;
    return true;
}

bool CStateFile::SaveIfChanged(const CAgentRegistry& registry, std::string& error)
{
    if (everSaved && registry.Revision() == savedRevision)
        return true;
    return Save(registry, error);
}

std::string CStateFile::Format(const CAgentRegistry& registry)
{
    const bool keyed = HasKeys(registry);
    std::string text = keyed ? kKeyedHeader : kHeader;
    text += '\n';
    registry.ForEachLive([&](const std::string& name, const CAgentRegistry::Entry& entry) {
        text += name;
        text += ' ';
        text += entry.url;
        text += ' ';
        text += entry.owner;
        text += ' ';
        text += std::to_string(entry.refreshed);
        if (keyed) {
            text += ' ';
            text += entry.key.empty() ? kNoKey : entry.key;
            text += ' ';
            text += std::to_string(entry.signedAt);
        }
        text += '\n';
    });
    return text;
}

bool CStateFile::ParseEntry(const std::string& line, std::string& name, CAgentRegistry::Entry& entry,
                            bool keyed)
{
    std::istringstream fields(line);
    std::string url, owner, refreshed, key = kNoKey, signedAt = "0", extra;
    if (!(fields >> name >> url >> owner >> refreshed) || (keyed && !(fields >> key >> signedAt)) ||
        (fields >> extra))
        return false;
    // Exactly one blank between fields, so that what is read back is what
    // Format wrote and nothing else.
    const std::size_t written = name.size() + url.size() + owner.size() + refreshed.size() + 3 +
                                (keyed ? key.size() + signedAt.size() + 2 : 0);
    if (line.size() != written)
        return false;
    if (!CRegistrationRules::IsValidName(name) || !CRegistrationRules::IsValidUrl(url) ||
        !CRegistrationRules::IsValidOwner(owner) || (key != kNoKey && !CKeyPair::IsPublicKeyText(key)))
        return false;
    if (!ParseTime(refreshed, entry.refreshed) || !ParseTime(signedAt, entry.signedAt))
        return false;
    entry.url = std::move(url);
    entry.owner = std::move(owner);
    entry.key = key == kNoKey ? std::string() : std::move(key);
    return true;
}

bool CStateFile::ParseTime(const std::string& text, std::int64_t& value)
{
    if (text.empty() || text.size() > 1 + std::numeric_limits<std::int64_t>::digits10)
        return false;
    std::int64_t result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        const int digit = c - '0';
        if (result > (std::numeric_limits<std::int64_t>::max() - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

bool CStateFile::Fail(std::string& error, std::size_t lineNumber, const std::string& why) const
{
    error = "state file " + path + " line " + std::to_string(lineNumber) + " " + why +
            "; not starting, and the file is left as it is";
    return false;
}
