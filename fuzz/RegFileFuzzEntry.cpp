#include <FuzzEntries.h>

#include <platform/RegFile.h>

#include <string>
#include <utility>
#include <vector>

namespace {

struct KeyContents {
    std::string path;
    bool has_key = false;
    std::vector<std::pair<std::string, std::string>> values; // name, text
};

std::string child_path(const std::string& parent, const std::string& name)
{
    return parent.empty() ? name : parent + "\\" + name;
}

// Every key reachable from the root, depth first in file order, with its
// values; an explicit stack keeps deep paths off the call stack.
std::vector<KeyContents> walk(const CRegFile& file)
{
    std::vector<KeyContents> keys;
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
        const std::string path = pending.back();
        pending.pop_back();
        KeyContents contents;
        contents.path = path;
        contents.has_key = file.HasKey(path);
        for (const CRegFile::Value& value : file.ValuesOf(path))
            contents.values.emplace_back(value.name, value.text);
        keys.push_back(std::move(contents));
        const std::vector<std::string> subkeys = file.SubkeysOf(path);
        for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it)
            pending.push_back(child_path(path, *it));
    }
    return keys;
}

bool same_keys(const std::vector<KeyContents>& a, const std::vector<KeyContents>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!CRegFile::SameName(a[i].path, b[i].path) || a[i].has_key != b[i].has_key ||
            a[i].values != b[i].values)
            return false;
    }
    return true;
}

} // namespace

bool CFuzzEntries::regfile(const std::uint8_t* data, std::size_t size)
{
    const std::string text =
        size == 0 ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
    CRegFile file("HKEY_CURRENT_USER");
    std::string error;
    if (!file.Parse(text, error))
        return !error.empty();
    CRegFile again("HKEY_CURRENT_USER");
    if (!again.Parse(file.Serialize(), error))
        return false;
    return same_keys(walk(file), walk(again)) && again.Serialize() == file.Serialize();
}
