#include <wirekit/KeyPins.h>

#include <platform/AtomicFile.h>
#include <platform/KeyPair.h>

#include <sstream>

namespace {
constexpr std::size_t MaxFileSize = 4u << 20;
} // namespace

CKeyPins::CKeyPins(std::string path, bool keepNew) : m_path(std::move(path)), m_keepNew(keepNew)
{
    Load();
}

CKeyPins::Outcome CKeyPins::Check(const std::string& name, const std::string& key)
{
    const auto found = m_keys.find(name);
    if (found != m_keys.end())
        return found->second == key ? Outcome::Same : Outcome::Changed;
    m_keys.emplace(name, key);
    Save();
    return Outcome::Pinned;
}

std::string CKeyPins::Pinned(const std::string& name) const
{
    const auto found = m_keys.find(name);
    return found == m_keys.end() ? std::string() : found->second;
}

void CKeyPins::Load()
{
    if (m_path.empty())
        return;
    std::string text;
    bool exists = false;
    std::string error;
    if (!CAtomicFile(m_path, MaxFileSize).Read(text, exists, error) || !exists)
        return;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string name, key, extra;
        if (words >> name >> key && !(words >> extra) && CKeyPair::IsPublicKeyText(key))
            m_keys.emplace(name, key);
    }
}

void CKeyPins::Save()
{
    if (m_path.empty() || !m_keepNew)
        return;
    std::string text;
    for (const auto& [name, key] : m_keys)
        text += name + " " + key + "\n";
    std::string error;
    if (!CAtomicFile(m_path, MaxFileSize).Replace(text, error))
        m_saveError = error.empty() ? "it could not be written" : error;
}
