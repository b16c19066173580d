#pragma once

#include <map>
#include <string>
#include <utility>

// The keys this agent has seen for other agents' names, kept across runs in
// a file of lines "NAME KEY": once a name's key is known, another one for it
// is refused rather than taken, so that a name server (or whoever took a
// name there) cannot swap an agent for another behind the user's back.
class CKeyPins {
public:
    enum class Outcome { Pinned, Same, Changed };

    // Reads `path` (missing: none yet); an empty path keeps the pins in
    // memory only, and so does `keepNew` false (the file is then only
    // read). Lines that are not a name and a key are skipped.
    explicit CKeyPins(std::string path = std::string(), bool keepNew = true);

    // Compares `key` with the one pinned for `name`, pinning (and saving)
    // it when there is none.
    Outcome Check(const std::string& name, const std::string& key);
    // The key pinned for `name`; empty for none.
    std::string Pinned(const std::string& name) const;
    const std::string& Path() const { return m_path; }
    // Why the last save failed, taken (empty when it did not): a pin that
    // is not on disk is held for this run only.
    std::string TakeSaveError() { return std::exchange(m_saveError, std::string()); }

private:
    void Load();
    void Save();

    std::string m_path;
    bool m_keepNew = true;
    std::string m_saveError;
    std::map<std::string, std::string> m_keys;
};
