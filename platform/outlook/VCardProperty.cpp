#include <outlook/VCardProperty.h>

#include <cctype>

namespace outlook {
namespace {
std::string ToUpper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text)
{
    const std::string::size_type first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const std::string::size_type last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Splits at `separator` where it is not inside double quotes.
std::vector<std::string> SplitOutsideQuotes(const std::string& text, char separator)
{
    std::vector<std::string> pieces(1);
    bool quoted = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        if (c == separator && !quoted)
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    return pieces;
}

std::string WithoutQuotes(const std::string& text)
{
    std::string result;
    for (const char c : text)
        if (c != '"')
            result += c;
    return result;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper >= 'A' && upper <= 'F')
        return upper - 'A' + 10;
    return -1;
}

// "=XX" becomes the byte; a '=' that starts no escape stays as it is.
std::string DecodeQuotedPrintable(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size()) {
            const int high = HexDigit(text[i + 1]);
            const int low = HexDigit(text[i + 2]);
            if (high >= 0 && low >= 0) {
                result += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

std::string Latin1ToUtf8(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            result += c;
        } else {
            result += static_cast<char>(0xC0 | (byte >> 6));
            result += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return result;
}

bool IsLatin1(const std::string& charset)
{
    const std::string upper = ToUpper(charset);
    return upper == "ISO-8859-1" || upper == "LATIN1" || upper == "ISO8859-1";
}

// Undoes the text escapes; an unknown escape keeps its backslash.
std::string Unescape(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            result += text[i];
            continue;
        }
        const char next = text[i + 1];
        if (next == 'n' || next == 'N')
            result += '\n';
        else if (next == '\\' || next == ',' || next == ';' || next == ':')
            result += next;
        else
            result.append(text, i, 2);
        ++i;
    }
    return result;
}

// CRLF and lone CR become LF; NUL bytes go, since callers hand these texts
// on as C strings.
std::string NormaliseText(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\0')
            continue;
        if (c == '\r') {
            result += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            continue;
        }
        result += c;
    }
    return result;
}

std::string DecodeText(const std::string& bytes)
{
    return Trim(NormaliseText(Unescape(bytes)));
}
} // namespace

std::string::size_type CVCardProperty::ValueStart(const std::string& line)
{
    bool quoted = false;
    for (std::string::size_type i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i + 1;
    }
    // An unbalanced quote must not hide the value of the whole line.
    const std::string::size_type colon = line.find(':');
    return colon == std::string::npos ? colon : colon + 1;
}

bool CVCardProperty::HeaderAsksQuotedPrintable(const std::string& line)
{
    const std::string::size_type start = ValueStart(line);
    if (start == std::string::npos)
        return false;
    return ToUpper(line.substr(0, start)).find("QUOTED-PRINTABLE") != std::string::npos;
}

bool CVCardProperty::Parse(const std::string& line)
{
    m_name.clear();
    m_parameters.clear();
    m_value.clear();
    const std::string::size_type start = ValueStart(line);
    if (start == std::string::npos)
        return false;
    ParseHeader(line.substr(0, start - 1));
    m_value = line.substr(start);
    return !m_name.empty();
}

void CVCardProperty::ParseHeader(const std::string& header)
{
    std::vector<std::string> pieces = SplitOutsideQuotes(header, ';');
    std::string name = Trim(pieces.front());
    const std::string::size_type dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(0, dot + 1);
    m_name = ToUpper(name);
    for (std::vector<std::string>::size_type i = 1; i < pieces.size(); ++i)
        AddParameter(pieces[i]);
}

void CVCardProperty::AddParameter(const std::string& text)
{
    const std::string trimmed = Trim(text);
    if (trimmed.empty())
        return;
    Parameter parameter;
    const std::string::size_type equals = trimmed.find('=');
    std::string values;
    if (equals == std::string::npos) {
        parameter.name = "TYPE";
        values = trimmed;
    } else {
        parameter.name = ToUpper(Trim(trimmed.substr(0, equals)));
        values = trimmed.substr(equals + 1);
    }
    for (const std::string& value : SplitOutsideQuotes(WithoutQuotes(values), ','))
        parameter.values.push_back(Trim(value));
    m_parameters.push_back(std::move(parameter));
}

const CVCardProperty::Parameter* CVCardProperty::FindParameter(const std::string& name) const
{
    for (const Parameter& parameter : m_parameters)
        if (parameter.name == name && !parameter.values.empty())
            return &parameter;
    return nullptr;
}

std::string CVCardProperty::GetParameter(const std::string& name) const
{
    const Parameter* parameter = FindParameter(ToUpper(name));
    return parameter ? parameter->values.front() : std::string();
}

std::vector<std::string> CVCardProperty::GetTypes() const
{
    std::vector<std::string> types;
    for (const Parameter& parameter : m_parameters)
        if (parameter.name == "TYPE")
            for (const std::string& value : parameter.values)
                types.push_back(ToUpper(value));
    return types;
}

bool CVCardProperty::HasType(const std::string& type) const
{
    const std::string wanted = ToUpper(type);
    for (const Parameter& parameter : m_parameters) {
        if (parameter.name != "TYPE")
            continue;
        for (const std::string& value : parameter.values)
            if (value.size() == wanted.size() && ToUpper(value) == wanted)
                return true;
    }
    return false;
}

int CVCardProperty::GetPreference() const
{
    const std::string pref = GetParameter("PREF");
    if (!pref.empty()) {
        int rank = 0;
        for (const char c : pref) {
            if (!std::isdigit(static_cast<unsigned char>(c)))
                return 101;
            rank = rank * 10 + (c - '0');
            if (rank > 100)
                return 100;
        }
        return rank < 1 ? 1 : rank;
    }
    return HasType("PREF") ? 1 : 101;
}

bool CVCardProperty::IsQuotedPrintable() const
{
    return ToUpper(GetParameter("ENCODING")) == "QUOTED-PRINTABLE" || HasType("QUOTED-PRINTABLE");
}

std::string CVCardProperty::DecodedBytes() const
{
    const std::string bytes = IsQuotedPrintable() ? DecodeQuotedPrintable(m_value) : m_value;
    return IsLatin1(GetParameter("CHARSET")) ? Latin1ToUtf8(bytes) : bytes;
}

std::string CVCardProperty::GetText() const
{
    return DecodeText(DecodedBytes());
}

std::vector<std::string> CVCardProperty::GetComponents() const
{
    const std::string bytes = DecodedBytes();
    std::vector<std::string> components;
    std::string piece;
    for (std::string::size_type i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\\' && i + 1 < bytes.size()) {
            piece.append(bytes, i, 2);
            ++i;
        } else if (bytes[i] == ';') {
            components.push_back(DecodeText(piece));
            piece.clear();
        } else {
            piece += bytes[i];
        }
    }
    components.push_back(DecodeText(piece));
    return components;
}
} // namespace outlook
