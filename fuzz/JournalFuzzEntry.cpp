#include <FuzzEntries.h>

#include <outlook/CalDavJournal.h>

#include <string>
#include <vector>

namespace {

bool Same(const outlook::CCalDavJournal::SEntry& a, const outlook::CCalDavJournal::SEntry& b)
{
    return a.kind == b.kind && a.href == b.href && a.etag == b.etag && a.before == b.before &&
           a.text == b.text;
}

} // namespace

bool CFuzzEntries::journal(const std::uint8_t* data, std::size_t size)
{
    using outlook::CCalDavJournal;
    const std::string text =
        size == 0 ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
    std::vector<CCalDavJournal::SEntry> read;
    if (!CCalDavJournal::Parse(text, read))
        return read.empty();
    std::vector<CCalDavJournal::SEntry> again;
    if (!CCalDavJournal::Parse(CCalDavJournal::Text(read), again) || again.size() != read.size())
        return false;
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (read[i].href.empty() || !Same(read[i], again[i]))
            return false;
    }
    return true;
}
