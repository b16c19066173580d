#include <vespera/core/SubscriptionFile.h>

#include <vespera/core/InstallDirectory.h>

#include <platform/AtomicFile.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <utility>

namespace {

// An item's value holds the tab between its UID and its fingerprint.
bool HasControl(const std::string& text, bool tabAllowed)
{
    for (unsigned char c : text) {
        if ((c < 0x20 && !(tabAllowed && c == '\t')) || c == 0x7f)
            return true;
    }
    return false;
}

// "name<TAB>value" split; false for a line without a tab.
bool SplitField(const std::string& line, std::string& name, std::string& value)
{
    const std::string::size_type tab = line.find('\t');
    if (tab == std::string::npos)
        return false;
    name = line.substr(0, tab);
    value = line.substr(tab + 1);
    return true;
}

bool ParseSeconds(const std::string& text, std::int64_t& seconds)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    seconds = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

// Fills one field of `subscription`; why not, else empty.
std::string ReadField(const std::string& name, const std::string& value, CScheduleSubscription& subscription,
                      CImportedItems::Fingerprints& items)
{
    if (name == "item") {
        std::string uid;
        std::string fingerprint;
        if (!SplitField(value, uid, fingerprint) || uid.empty() || fingerprint.empty() ||
            fingerprint.find('\t') != std::string::npos || uid.size() > CSubscriptionFile::MaxFieldBytes ||
            fingerprint.size() > CSubscriptionFile::MaxFieldBytes)
            return "an item is not \"item<TAB>uid<TAB>fingerprint\"";
        items[uid] = fingerprint;
    } else if (name == "etag") {
        subscription.etag = value;
    } else if (name == "modified") {
        subscription.lastModified = value;
    } else if (name == "result") {
        subscription.result = value;
    } else if (name == "fetched") {
        if (!ParseSeconds(value, subscription.fetchedAt))
            return "\"fetched\" is not a count of seconds";
    } else if (name == "failed") {
        if (value != "true" && value != "false")
            return "\"failed\" is neither true nor false";
        subscription.failed = value == "true";
    } else {
        return "unknown field \"" + name + "\"";
    }
    return std::string();
}

} // namespace

CSubscriptionFile::CSubscriptionFile(std::string path) : m_path(std::move(path)) {}

std::string CSubscriptionFile::DefaultPath()
{
    return CInstallDirectory::UserDataDirectory() + "/" + FileName;
}

bool CSubscriptionFile::Load(std::vector<CScheduleSubscription>& subscriptions, std::string& error) const
{
    std::string text;
    bool exists = false;
    if (!CAtomicFile(m_path, MaxBytes).Read(text, exists, error))
        return false;
    if (!exists) {
        subscriptions.clear();
        return true;
    }
    return Parse(text, subscriptions, error);
}

bool CSubscriptionFile::Save(const std::vector<CScheduleSubscription>& subscriptions,
                             std::string& error) const
{
    const CAtomicFile file(m_path, MaxBytes);
    return CAtomicFile::MakeDirectories(file.GetDirectory(), error) &&
           file.Replace(Text(subscriptions), error);
}

std::string CSubscriptionFile::Text(const std::vector<CScheduleSubscription>& subscriptions)
{
    std::string text = std::string(FirstLine) + "\n";
    for (const CScheduleSubscription& subscription : subscriptions) {
        text += "address\t" + FieldText(subscription.address) + "\n";
        text += "etag\t" + FieldText(subscription.etag) + "\n";
        text += "modified\t" + FieldText(subscription.lastModified) + "\n";
        text += "fetched\t" + std::to_string(subscription.fetchedAt) + "\n";
        text += std::string("failed\t") + (subscription.failed ? "true" : "false") + "\n";
        text += "result\t" + FieldText(subscription.result) + "\n";
        for (const auto& [uid, fingerprint] : subscription.items.Items())
            text += "item\t" + FieldText(uid) + "\t" + FieldText(fingerprint) + "\n";
    }
    return text;
}

// Why `line` (not the first) cannot be read into `read`; empty when it was.
std::string CSubscriptionFile::ParseLine(const std::string& line, std::vector<CScheduleSubscription>& read,
                                         std::vector<CImportedItems::Fingerprints>& items)
{
    std::string name;
    std::string value;
    // A blank line an editor left says nothing.
    if (line.empty())
        return std::string();
    if (!SplitField(line, name, value) || HasControl(name, false) || HasControl(value, name == "item"))
        return "not a \"name<TAB>value\" line of plain text";
    // An item's value is two fields.
    if (value.size() > (name == "item" ? 2 * MaxFieldBytes + 1 : MaxFieldBytes))
        return "a value longer than " + std::to_string(MaxFieldBytes) + " bytes";
    if (name != "address")
        return read.empty() ? "a field before the first address"
                            : ReadField(name, value, read.back(), items.back());
    if (value.empty())
        return "an empty address";
    if (read.size() == MaxSubscriptions)
        return "more than " + std::to_string(MaxSubscriptions) + " subscriptions";
    for (const CScheduleSubscription& earlier : read) {
        if (earlier.address == value)
            return "the address " + value + " is there twice";
    }
    read.emplace_back().address = value;
    items.emplace_back();
    return std::string();
}

bool CSubscriptionFile::Parse(const std::string& text, std::vector<CScheduleSubscription>& subscriptions,
                              std::string& error)
{
    std::vector<CScheduleSubscription> read;
    std::vector<CImportedItems::Fingerprints> items;
    std::size_t lineNumber = 0;
    std::string::size_type at = 0;
    std::string why = text.empty() ? "the file is empty" : "";
    while (at < text.size() && why.empty()) {
        const std::string::size_type end = text.find('\n', at);
        const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (++lineNumber == 1)
            why = line == FirstLine ? "" : "the file does not begin with \"" + std::string(FirstLine) + "\"";
        else
            why = ParseLine(line, read, items);
    }
    if (!why.empty()) {
        error = "line " + std::to_string(std::max<std::size_t>(lineNumber, 1)) + ": " + why;
        return false;
    }
    for (std::size_t i = 0; i < read.size(); ++i)
        read[i].items = CImportedItems(std::move(items[i]));
    subscriptions = std::move(read);
    return true;
}

std::string CSubscriptionFile::FieldText(const std::string& text)
{
    std::string out = text.size() > MaxFieldBytes ? text.substr(0, MaxFieldBytes) : text;
    if (text.size() > MaxFieldBytes) {
        // Cut at the start of a character, not inside one.
        std::string::size_type cut = out.size();
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        out.resize(cut);
    }
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            c = ' ';
    }
    return out;
}
