#include <outlook/CalDavJournal.h>

#include <platform/AtomicFile.h>

#include <algorithm>
#include <array>
#include <sstream>
#include <utility>

namespace outlook {

namespace {

// The first journals held new items only, as "PUT href length" lines.
constexpr const char* FirstHeader = "orvante-caldav-journal 1\n";
constexpr const char* Header = "orvante-caldav-journal 2\n";

const char* VerbOf(CCalDavJournal::Kind kind)
{
    switch (kind) {
    case CCalDavJournal::Kind::Create:
        return "PUT";
    case CCalDavJournal::Kind::Change:
        return "CHANGE";
    case CCalDavJournal::Kind::Remove:
        return "DELETE";
    }
    return "PUT";
}

bool KindOf(const std::string& verb, CCalDavJournal::Kind& kind)
{
    for (CCalDavJournal::Kind known :
         {CCalDavJournal::Kind::Create, CCalDavJournal::Kind::Change, CCalDavJournal::Kind::Remove}) {
        if (verb == VerbOf(known)) {
            kind = known;
            return true;
        }
    }
    return false;
}

// The line starting at `at`, without its end; false when there is none.
bool NextLine(const std::string& text, std::size_t& at, std::string& line)
{
    const std::size_t end = text.find('\n', at);
    if (end == std::string::npos)
        return false;
    line = text.substr(at, end - at);
    at = end + 1;
    return true;
}

// `length` bytes from `at` and the line end after them.
bool NextField(const std::string& text, std::size_t& at, std::size_t length, std::string& field)
{
    if (length >= text.size() - at || text[at + length] != '\n')
        return false;
    field = text.substr(at, length);
    at += length + 1;
    return true;
}

} // namespace

bool CCalDavJournal::Holds(const std::string& href) const
{
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&href](const SEntry& entry) { return entry.href == href; });
}

bool CCalDavJournal::ReadEntry(const std::string& text, std::size_t& at, SEntry& entry)
{
    std::string line;
    if (!NextLine(text, at, line))
        return false;
    std::istringstream words(line);
    std::string verb;
    std::array<std::size_t, 4> lengths{};
    if (!(words >> verb >> lengths[0] >> lengths[1] >> lengths[2] >> lengths[3]) || !KindOf(verb, entry.kind))
        return false;
    return NextField(text, at, lengths[0], entry.href) && NextField(text, at, lengths[1], entry.etag) &&
           NextField(text, at, lengths[2], entry.before) && NextField(text, at, lengths[3], entry.text) &&
           !entry.href.empty();
}

bool CCalDavJournal::ReadFirstEntry(const std::string& text, std::size_t& at, SEntry& entry)
{
    std::string line;
    if (!NextLine(text, at, line))
        return false;
    std::istringstream words(line);
    std::string verb;
    std::size_t length = 0;
    entry.kind = Kind::Create;
    return words >> verb >> entry.href >> length && verb == "PUT" && NextField(text, at, length, entry.text);
}

bool CCalDavJournal::Parse(const std::string& text, std::vector<SEntry>& entries)
{
    const bool first = text.rfind(FirstHeader, 0) == 0;
    const char* header = first ? FirstHeader : Header;
    if (text.rfind(header, 0) != 0)
        return false;
    std::size_t at = std::char_traits<char>::length(header);
    std::vector<SEntry> read;
    SEntry entry;
    std::size_t next = at;
    while (at < text.size() && (first ? ReadFirstEntry(text, next, entry) : ReadEntry(text, next, entry))) {
        read.push_back(std::exchange(entry, SEntry{}));
        at = next;
    }
    if (at != text.size())
        return false;
    entries = std::move(read);
    return true;
}

std::string CCalDavJournal::Text(const std::vector<SEntry>& entries)
{
    std::string text = Header;
    for (const SEntry& entry : entries) {
        text += std::string(VerbOf(entry.kind)) + " " + std::to_string(entry.href.size()) + " " +
                std::to_string(entry.etag.size()) + " " + std::to_string(entry.before.size()) + " " +
                std::to_string(entry.text.size()) + "\n";
        for (const std::string* field : {&entry.href, &entry.etag, &entry.before, &entry.text})
            text += *field + "\n";
    }
    return text;
}

bool CCalDavJournal::Load(std::string& error)
{
    m_entries.clear();
    if (m_path.empty())
        return true;
    std::string text;
    bool exists = false;
    if (!CAtomicFile(m_path).Read(text, exists, error))
        return false;
    if (exists && !Parse(text, m_entries)) {
        error = "The journal of meetings not yet on the server, " + m_path +
                ", cannot be read; it is left as it is";
        return false;
    }
    return true;
}

bool CCalDavJournal::Save(const std::vector<SEntry>& entries, std::string& error) const
{
    const std::size_t slash = m_path.rfind('/');
    return (slash == std::string::npos || CAtomicFile::MakeDirectories(m_path.substr(0, slash), error)) &&
           CAtomicFile(m_path).Replace(Text(entries), error);
}

bool CCalDavJournal::Record(SEntry entry, std::string& error)
{
    if (m_path.empty()) {
        error = "no journal is kept";
        return false;
    }
    std::vector<SEntry> entries = m_entries;
    const auto owed = std::find_if(entries.begin(), entries.end(), [&entry](const SEntry& known) {
        return known.href == entry.href && known.kind != Kind::Remove;
    });
    if (owed == entries.end() || entry.kind == Kind::Create) {
        entries.push_back(std::move(entry));
    } else if (entry.kind == Kind::Change) {
        owed->text = std::move(entry.text);
    } else if (owed->kind == Kind::Create) {
        entries.erase(owed);
    } else {
        owed->kind = Kind::Remove;
        owed->before.clear();
        owed->text.clear();
    }
    if (!Save(entries, error)) {
        error = "the journal could not be written (" + error + ")";
        return false;
    }
    m_entries = std::move(entries);
    return true;
}

bool CCalDavJournal::PopFront(std::string& error)
{
    std::vector<SEntry> entries(m_entries.begin() + 1, m_entries.end());
    if (!Save(entries, error))
        return false;
    m_entries = std::move(entries);
    return true;
}

} // namespace outlook
