#pragma once

#include <ansd/AgentRegistry.h>

#include <cstdint>
#include <string>

// Keeps a registry's entries in a text file across restarts:
//
//     ansd-state 1
//     NAME URL OWNER REFRESHED
//
// one entry per line, REFRESHED in seconds since 1970; once a name is held
// by a key, version 2, whose lines add KEY ("-" for none) and SIGNED, the
// time of the newest signed request taken for the name. Writes are atomic. A
// file that does not parse is never overwritten: Load fails and the caller
// refuses to start.
class CStateFile {
public:
    explicit CStateFile(std::string path);

    const std::string& Path() const;

    // Adds the file's live entries to the registry. A missing file is an
    // empty state (true). False, with `error` naming the file and line, when
    // it cannot be read or any line is malformed; the registry may then hold
    // the entries before that line.
    bool Load(CAgentRegistry& registry, std::string& error);
    // Writes every live entry.
    bool Save(const CAgentRegistry& registry, std::string& error);
    // Saves only when the registry changed since the last Load or Save.
    bool SaveIfChanged(const CAgentRegistry& registry, std::string& error);

    // The file's text for the registry, and the parse of one entry line;
    // exposed for testing the format on its own.
    static std::string Format(const CAgentRegistry& registry);
    static bool ParseEntry(const std::string& line, std::string& name, CAgentRegistry::Entry& entry,
                           bool keyed = false);

private:
    static bool ParseTime(const std::string& text, std::int64_t& value);
    bool Fail(std::string& error, std::size_t lineNumber, const std::string& why) const;

    std::string path;
    std::uint64_t savedRevision = 0;
    bool everSaved = false;
};
