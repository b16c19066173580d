#include <ansd/StateFile.h>

#include <ansd/RegistrationRules.h>
#include <platform/AtomicFile.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

namespace {

const char kHeader[] = "ansd-state 1";

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
    if (!std::getline(in, line) || line != kHeader)
        return Fail(error, 1, "does not begin with \"" + std::string(kHeader) + "\"");
    std::size_t number = 1;
    while (std::getline(in, line)) {
        ++number;
        std::string name;
        CAgentRegistry::Entry entry;
        if (!ParseEntry(line, name, entry))
            return Fail(error, number, "is not \"NAME URL OWNER REFRESHED\"");
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
    std::string text = kHeader;
    text += '\n';
    registry.ForEachLive([&](const std::string& name, const CAgentRegistry::Entry& entry) {
        text += name;
        text += ' ';
        text += entry.url;
        text += ' ';
        text += entry.owner;
        text += ' ';
        text += std::to_string(entry.refreshed);
        text += '\n';
    });
    return text;
}

bool CStateFile::ParseEntry(const std::string& line, std::string& name, CAgentRegistry::Entry& entry)
{
    std::istringstream fields(line);
    std::string url, owner, refreshed, extra;
    if (!(fields >> name >> url >> owner >> refreshed) || (fields >> extra))
        return false;
    // Exactly one blank between fields, so that what is read back is what
    // Format wrote and nothing else.
    if (line.size() != name.size() + url.size() + owner.size() + refreshed.size() + 3)
        return false;
    if (!CRegistrationRules::IsValidName(name) || !CRegistrationRules::IsValidUrl(url) ||
        !CRegistrationRules::IsValidOwner(owner))
        return false;
    if (!ParseTime(refreshed, entry.refreshed))
        return false;
    entry.url = std::move(url);
    entry.owner = std::move(owner);
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
