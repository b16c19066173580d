#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace outlook {

// The writes a CalDAV back-end owes its server while the server cannot be
// reached, in the order they were made, kept in an atomic, synced file so
// that a meeting confirmed before a crash still reaches the server. A
// resource owes at most one write: a change of a resource whose creation is
// still owed is folded into that creation, a second change into the first,
// and the removal of a resource never put on the server drops both.
class CCalDavJournal {
public:
    enum class Kind { Create, Change, Remove };

    struct SEntry {
        Kind kind = Kind::Create;
        std::string href;
        // Change and Remove: the server's version the write was made on.
        std::string etag;
        // Change: the resource's text that version held, to make the change
        // again on another device's version.
        std::string before;
        // Create and Change: the text to put.
        std::string text;
    };

    // An empty path: no journal, every write is refused.
    explicit CCalDavJournal(std::string path) : m_path(std::move(path)) {}

    bool IsUsed() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }
    bool IsEmpty() const { return m_entries.empty(); }
    std::size_t Size() const { return m_entries.size(); }
    const SEntry& Front() const { return m_entries.front(); }
    bool Holds(const std::string& href) const;

    // Reads the file (none: an empty journal). False with the reason for a
    // file that is no journal; it is then left as it is.
    bool Load(std::string& error);
    // Adds the write, folded into the one owed for its resource; false with
    // the reason, the journal as it was, when the file cannot be written.
    bool Record(SEntry entry, std::string& error);
    // The first write reached the server (or can never be made).
    bool PopFront(std::string& error);

    // The journal file's text of `entries`, and its entries back; false for
    // a text that is no journal (of this version or the first).
    static std::string Text(const std::vector<SEntry>& entries);
    static bool Parse(const std::string& text, std::vector<SEntry>& entries);

private:
    bool Save(const std::vector<SEntry>& entries, std::string& error) const;
    static bool ReadEntry(const std::string& text, std::size_t& at, SEntry& entry);
    static bool ReadFirstEntry(const std::string& text, std::size_t& at, SEntry& entry);

    std::string m_path;
    std::vector<SEntry> m_entries;
};

} // namespace outlook
