#include <platform/RegFile.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>

const char* const CRegFile::Header = "Windows Registry Editor Version 5.00";

namespace {

const char* const OldHeader = "REGEDIT4";

char Lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && CRegFile::SameName(text.substr(0, prefix.size()), prefix);
}

std::string Quote(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// Reads a quoted text starting at `pos` (on the opening quote) and leaves
// `pos` after the closing quote.
bool ReadQuoted(const std::string& line, std::size_t& pos, std::string& text, std::string& error)
{
    text.clear();
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (pos + 1 >= line.size() || (line[pos + 1] != '\\' && line[pos + 1] != '"')) {
                error = "only \\\\ and \\\" may follow a backslash in a quoted text";
                return false;
            }
            c = line[++pos];
        }
        text += c;
    }
    error = "a quoted text has no closing quote";
    return false;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool ParseHexNumber(const std::string& digits, unsigned long& number)
{
    if (digits.empty() || digits.size() > 8)
        return false;
    number = 0;
    for (char c : digits) {
        int digit = HexDigit(c);
        if (digit < 0)
            return false;
        number = number * 16 + static_cast<unsigned long>(digit);
    }
    return true;
}

bool ParseHexBytes(const std::string& list, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t comma = list.find(',', pos);
        std::string item =
            Trim(list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        unsigned long number = 0;
        if (item.size() > 2 || !ParseHexNumber(item, number))
            return false;
        bytes.push_back(static_cast<unsigned char>(number));
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
        if (pos == list.size())
            return false;
    }
    return true;
}

std::string BytesAsText(const std::vector<unsigned char>& bytes)
{
    std::string text;
    for (unsigned char b : bytes) {
        if (b == 0)
            break;
        text += static_cast<char>(b);
    }
    return text;
}

// The string kinds hold UTF-16 code units; the text is 8-bit, so anything
// beyond one byte becomes '?'.
std::string Utf16AsText(const std::vector<unsigned char>& bytes)
{
    std::string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        unsigned unit = bytes[i] | (static_cast<unsigned>(bytes[i + 1]) << 8);
        if (unit == 0)
            break;
        text += unit < 256 ? static_cast<char>(unit) : '?';
    }
    return text;
}

std::string LittleEndianAsDecimal(const std::vector<unsigned char>& bytes)
{
    std::uint64_t number = 0;
    for (std::size_t i = bytes.size(); i-- > 0;)
        number = (number << 8) | bytes[i];
    return std::to_string(number);
}

// Windows value types as hex(N) names them.
enum { TypeSz = 1, TypeExpandSz = 2, TypeDword = 4, TypeMultiSz = 7, TypeQword = 11 };

std::string HexAsText(unsigned long type, const std::vector<unsigned char>& bytes)
{
    if (type == TypeSz || type == TypeExpandSz || type == TypeMultiSz)
        return Utf16AsText(bytes);
    if ((type == TypeDword && bytes.size() == 4) || (type == TypeQword && bytes.size() == 8))
        return LittleEndianAsDecimal(bytes);
    return BytesAsText(bytes);
}

bool ParseHexData(const std::string& data, std::string& text, std::string& error)
{
    unsigned long type = 3;
    std::size_t colon = data.find(':');
    std::string kind = data.substr(0, colon);
    if (colon == std::string::npos) {
        error = "a hex value needs a ':'";
        return false;
    }
    if (kind.size() > 3 && kind[3] == '(') {
        if (kind.back() != ')' || !ParseHexNumber(kind.substr(4, kind.size() - 5), type)) {
            error = "a hex(type) value has an unreadable type";
            return false;
        }
    } else if (kind.size() != 3) {
        error = "unknown value type '" + kind + "'";
        return false;
    }
    std::vector<unsigned char> bytes;
    if (!ParseHexBytes(data.substr(colon + 1), bytes)) {
        error = "a hex value must be bytes of two hex digits separated by commas";
        return false;
    }
    text = HexAsText(type, bytes);
    return true;
}

bool ParseData(const std::string& data, std::string& text, std::string& error)
{
    if (!data.empty() && data[0] == '"') {
        std::size_t pos = 0;
        if (!ReadQuoted(data, pos, text, error))
            return false;
        if (!Trim(data.substr(pos)).empty()) {
            error = "text follows the closing quote of a value";
            return false;
        }
        return true;
    }
    if (StartsWithNoCase(data, "dword:")) {
        unsigned long number = 0;
        if (!ParseHexNumber(Trim(data.substr(6)), number)) {
            error = "a dword value must be one to eight hex digits";
            return false;
        }
        text = std::to_string(number);
        return true;
    }
    if (StartsWithNoCase(data, "hex"))
        return ParseHexData(data, text, error);
    if (data == "-")
        error = "a value deletion ('=-') has no place in a hive";
    else
        error = "a value must be a quoted text, a dword or hex data";
    return false;
}

std::string ParentOf(const std::string& path)
{
    std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Splits a file's text into lines, joining hex continuations (a line that
// ends in a backslash goes on with the next one).
std::vector<std::pair<int, std::string>> LogicalLines(const std::string& content)
{
    std::vector<std::pair<int, std::string>> lines;
    bool continuing = false;
    int number = 0;
    std::size_t pos = 0;
    while (pos <= content.size()) {
        std::size_t end = content.find('\n', pos);
        std::string line = content.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string trimmed = Trim(line);
        if (continuing)
            lines.back().second += trimmed;
        else
            lines.emplace_back(number, trimmed);
        std::string& last = lines.back().second;
        continuing = !last.empty() && last.back() == '\\' && last[0] != '[' && last[0] != ';';
        if (continuing)
            last.pop_back();
        if (end == std::string::npos)
            break;
        pos = end + 1;
    }
    return lines;
}

} // namespace

CRegFile::CRegFile(const std::string& rootName) : m_root(rootName) {}

bool CRegFile::SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

bool CRegFile::IsLineSafe(const std::string& text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

bool CRegFile::IsValidKeyPath(const std::string& path)
{
    if (!IsLineSafe(path))
        return false;
    if (path.empty())
        return true;
    return path.front() != '\\' && path.back() != '\\' && path.find("\\\\") == std::string::npos;
}

bool CRegFile::Parse(const std::string& content, std::string& error)
{
    m_keys.clear();
    std::string text = content;
    if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
        error = "the file is UTF-16 text; save it as 8-bit text";
        return false;
    }
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    bool headerSeen = false;
    Key* current = nullptr;
    for (const auto& [number, line] : LogicalLines(text)) {
        if (line.empty() || line[0] == ';')
            continue;
        std::string lineError;
        if (!headerSeen) {
            headerSeen = line == Header || line == OldHeader;
            if (!headerSeen)
                lineError = std::string("the first line must be \"") + Header + "\"";
        } else {
            ParseLine(line, current, lineError);
        }
        if (!lineError.empty()) {
            error = "line " + std::to_string(number) + ": " + lineError;
            return false;
        }
    }
    return true;
}

bool CRegFile::ParseLine(const std::string& line, Key*& current, std::string& error)
{
    if (line[0] == '[')
        return ParseSection(line, current, error);
    if (line[0] == '"' || line[0] == '@')
        return ParseValueLine(line, current, error);
    error = "expected a [key] or a \"name\"=value line";
    return false;
}

bool CRegFile::ParseSection(const std::string& line, Key*& current, std::string& error)
{
    if (line.back() != ']') {
        error = "a key line must end with ']'";
        return false;
    }
    std::string full = line.substr(1, line.size() - 2);
    if (!full.empty() && full[0] == '-') {
        error = "a key deletion ('[-...]') has no place in a hive";
        return false;
    }
    std::string path;
    if (SameName(full, m_root))
        path.clear();
    else if (StartsWithNoCase(full, m_root + "\\"))
        path = full.substr(m_root.size() + 1);
    else {
        error = "the key does not belong to " + m_root;
        return false;
    }
    if (!IsValidKeyPath(path)) {
        error = "a key name has an empty part";
        return false;
    }
    current = FindKey(path);
    if (current == nullptr)
        current = &AddKey(path);
    return true;
}

bool CRegFile::ParseValueLine(const std::string& line, Key* current, std::string& error)
{
    if (current == nullptr) {
        error = "a value comes before any [key] line";
        return false;
    }
    Value value;
    std::size_t pos = 1;
    if (line[0] == '"') {
        pos = 0;
        if (!ReadQuoted(line, pos, value.name, error))
            return false;
    }
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    if (pos >= line.size() || line[pos] != '=') {
        error = "a value name must be followed by '='";
        return false;
    }
    value.data = Trim(line.substr(pos + 1));
    if (!ParseData(value.data, value.text, error))
        return false;
    for (Value& existing : current->values) {
        if (SameName(existing.name, value.name)) {
            existing = value;
            return true;
        }
    }
    current->values.push_back(value);
    return true;
}

std::string CRegFile::Serialize() const
{
    std::string out = std::string(Header) + "\n";
    for (const Key& key : m_keys) {
        out += "\n[" + m_root + (key.path.empty() ? "" : "\\" + key.path) + "]\n";
        for (const Value& value : key.values)
            out += (value.name.empty() ? std::string("@") : Quote(value.name)) + "=" + value.data + "\n";
    }
    return out;
}

CRegFile::Key* CRegFile::FindKey(const std::string& path)
{
    for (Key& key : m_keys) {
        if (SameName(key.path, path))
            return &key;
    }
    return nullptr;
}

const CRegFile::Key* CRegFile::FindKey(const std::string& path) const
{
    return const_cast<CRegFile*>(this)->FindKey(path);
}

CRegFile::Key& CRegFile::AddKey(const std::string& path)
{
    m_keys.push_back(Key{path, {}});
    return m_keys.back();
}

bool CRegFile::IsBelow(const std::string& path, const std::string& ancestor) const
{
    if (ancestor.empty())
        return !path.empty();
    return path.size() > ancestor.size() && path[ancestor.size()] == '\\' &&
           SameName(path.substr(0, ancestor.size()), ancestor);
}

bool CRegFile::HasKey(const std::string& path) const
{
    if (path.empty() || FindKey(path) != nullptr)
        return true;
    for (const Key& key : m_keys) {
        if (IsBelow(key.path, path))
            return true;
    }
    return false;
}

const CRegFile::Value* CRegFile::FindValue(const std::string& path, const std::string& name) const
{
    const Key* key = FindKey(path);
    if (key == nullptr)
        return nullptr;
    for (const Value& value : key->values) {
        if (SameName(value.name, name))
            return &value;
    }
    return nullptr;
}

std::vector<CRegFile::Value> CRegFile::ValuesOf(const std::string& path) const
{
    const Key* key = FindKey(path);
    return key == nullptr ? std::vector<Value>() : key->values;
}

std::vector<std::string> CRegFile::SubkeysOf(const std::string& path) const
{
    std::vector<std::string> names;
    std::size_t skip = path.empty() ? 0 : path.size() + 1;
    for (const Key& key : m_keys) {
        if (!IsBelow(key.path, path))
            continue;
        std::string rest = key.path.substr(skip);
        std::string name = rest.substr(0, rest.find('\\'));
        bool known = false;
        for (const std::string& seen : names)
            known = known || SameName(seen, name);
        if (!known)
            names.push_back(name);
    }
    return names;
}

void CRegFile::CreateKey(const std::string& path)
{
    if (path.empty() || FindKey(path) != nullptr)
        return;
    CreateKey(ParentOf(path));
    AddKey(path);
}

void CRegFile::SetValue(const std::string& path, const std::string& name, const std::string& text)
{
    CreateKey(path);
    Key* key = FindKey(path);
    if (key == nullptr)
        key = &AddKey(path);
    Value value{name, text, Quote(text)};
    for (Value& existing : key->values) {
        if (SameName(existing.name, name)) {
            value.name = existing.name;
            existing = value;
            return;
        }
    }
    key->values.push_back(value);
}

bool CRegFile::DeleteValue(const std::string& path, const std::string& name)
{
    Key* key = FindKey(path);
    if (key == nullptr)
        return false;
    for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (SameName(it->name, name)) {
            key->values.erase(it);
            return true;
        }
    }
    return false;
}

bool CRegFile::DeleteKey(const std::string& path)
{
    if (!HasKey(path))
        return false;
    std::vector<Key> kept;
    for (Key& key : m_keys) {
        if (!SameName(key.path, path) && !IsBelow(key.path, path))
            kept.push_back(std::move(key));
    }
    m_keys = std::move(kept);
    return true;
}
