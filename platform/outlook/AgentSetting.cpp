#include <outlook/AgentSetting.h>

#include <platform/Registry.h>

#include <cctype>

namespace outlook {
namespace {
std::string TrimmedOf(const std::string& text, const char* blanks)
{
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}
} // namespace

std::string ReadAgentSetting(const CRegistry& registry, const char* name)
{
    std::string value;
    if (registry.ReadValueUnbounded(AgentSettingsKey, name, value) != CRegistry::Ok)
        return std::string();
    return TrimmedOf(value, " \t");
}

std::string Trimmed(const std::string& text)
{
    return TrimmedOf(text, " \t\r\n");
}

std::string Lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}
} // namespace outlook
