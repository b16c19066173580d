#include <lexikit/HTTPReader.h>

#include <lexikit/ParsedText.h>

#include <cctype>
#include <cstring>
#include <strings.h>

namespace {

bool is_tchar(unsigned char c)
{
    return std::isalnum(c) != 0 || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

std::string trim_blanks(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool all_digits(const std::string& text)
{
    if (text.empty())
        return false;
    for (unsigned char c : text) {
        if (std::isdigit(c) == 0)
            return false;
    }
    return true;
}

} // namespace

bool CHTTPReader::read(const char* text, std::size_t len, CParsedText& out)
{
    Line line{};
    StartLine start;
    if (!next_line(text, len, 0, line) || !parse_start_line(text, line, start))
        return false;
    std::size_t pos = line.next;
    std::vector<Header> headers;
    if (!read_headers(text, len, pos, headers))
        return false;
    std::size_t body_len = 0;
    if (!body_length(headers, len - pos, body_len))
        return false;
    out.clear();
    out.set_kind(CParsedText::KIND_HTTP);
    store(text, start, headers, pos, body_len, out);
    return true;
}

// The line starting at `pos`; false when no line end follows (the text is
// incomplete) or the line holds a bare CR.
bool CHTTPReader::next_line(const char* text, std::size_t len, std::size_t pos, Line& line)
{
    const void* found = std::memchr(text + pos, '\n', len - pos);
    if (found == nullptr)
        return false;
    const std::size_t lf = static_cast<const char*>(found) - text;
    std::size_t end = lf;
    if (end > pos && text[end - 1] == '\r')
        --end;
    if (std::memchr(text + pos, '\r', end - pos) != nullptr)
        return false;
    line = Line{pos, end, lf + 1};
    return true;
}

bool CHTTPReader::parse_start_line(const char* text, const Line& line, StartLine& start)
{
    const std::string content(text + line.begin, line.end - line.begin);
    if (content.compare(0, 5, "HTTP/") == 0)
        return parse_status_line(content, start);
    return parse_request_line(content, start);
}

bool CHTTPReader::parse_request_line(const std::string& line, StartLine& start)
{
    const std::size_t first = line.find(' ');
    if (first == std::string::npos)
        return false;
    const std::size_t second = line.find(' ', first + 1);
    if (second == std::string::npos || line.find(' ', second + 1) != std::string::npos)
        return false;
    start.method = line.substr(0, first);
    start.target = line.substr(first + 1, second - first - 1);
    start.version = line.substr(second + 1);
    if (!is_token(start.method) || start.target.empty() || !is_version(start.version))
        return false;
    for (unsigned char c : start.target) {
        if (c <= ' ' || c == 0x7f)
            return false;
    }
    return true;
}

bool CHTTPReader::parse_status_line(const std::string& line, StartLine& start)
{
    const std::size_t first = line.find(' ');
    if (first == std::string::npos)
        return false;
    start.version = line.substr(0, first);
    start.status = line.substr(first + 1, 3);
    const std::size_t after = first + 1 + 3;
    if (!is_version(start.version) || start.status.size() != 3 || !all_digits(start.status))
        return false;
    if (after < line.size()) {
        if (line[after] != ' ')
            return false;
        start.reason = line.substr(after + 1);
    }
    start.response = true;
    return true;
}

bool CHTTPReader::is_version(const std::string& text)
{
    if (text.compare(0, 5, "HTTP/") != 0)
        return false;
    const std::size_t dot = text.find('.', 5);
    if (dot == std::string::npos)
        return false;
    return all_digits(text.substr(5, dot - 5)) && all_digits(text.substr(dot + 1));
}

bool CHTTPReader::is_token(const std::string& text)
{
    if (text.empty())
        return false;
    for (unsigned char c : text) {
        if (!is_tchar(c))
            return false;
    }
    return true;
}

// Decimal digits only, at most 18 of them so that the value cannot overflow.
bool CHTTPReader::to_size(const std::string& digits, std::size_t& value)
{
    if (!all_digits(digits) || digits.size() > 18)
        return false;
    value = 0;
    for (char c : digits)
        value = value * 10 + static_cast<std::size_t>(c - '0');
    return true;
}

// Header lines up to and including the empty line; `pos` ends at the body.
bool CHTTPReader::read_headers(const char* text, std::size_t len, std::size_t& pos,
                               std::vector<Header>& headers)
{
    for (;;) {
        Line line{};
        if (!next_line(text, len, pos, line))
            return false;
        pos = line.next;
        if (line.end == line.begin)
            return true;
        if (!add_header_line(std::string(text + line.begin, line.end - line.begin), headers))
            return false;
    }
}

bool CHTTPReader::add_header_line(const std::string& line, std::vector<Header>& headers)
{
    if (line[0] == ' ' || line[0] == '\t') {
        if (headers.empty())
            return false;
        const std::string more = trim_blanks(line);
        Header& previous = headers.back();
        if (!more.empty())
            previous.value += previous.value.empty() ? more : " " + more;
        return true;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos)
        return false;
    Header header{line.substr(0, colon), trim_blanks(line.substr(colon + 1))};
    if (!is_token(header.name))
        return false;
    headers.push_back(std::move(header));
    return true;
}

// Content-Length decides the body; every such header must agree, hold only
// digits and fit in what the text has.
bool CHTTPReader::body_length(const std::vector<Header>& headers, std::size_t available, std::size_t& length)
{
    bool seen = false;
    length = available;
    for (const Header& header : headers) {
        if (strcasecmp(header.name.c_str(), "Content-Length") != 0)
            continue;
        std::size_t value = 0;
        if (!to_size(header.value, value))
            return false;
        if (seen && value != length)
            return false;
        seen = true;
        length = value;
    }
    return length <= available;
}

void CHTTPReader::store(const char* text, const StartLine& start, const std::vector<Header>& headers,
                        std::size_t body_at, std::size_t body_len, CParsedText& out)
{
    CParsedText::HttpParts parts;
    if (start.response) {
        parts.status = out.store(start.status);
        parts.reason = out.store(start.reason);
        parts.status_code =
            (start.status[0] - '0') * 100 + (start.status[1] - '0') * 10 + (start.status[2] - '0');
    } else {
        parts.method = out.store(start.method);
        parts.target = out.store(start.target);
    }
    parts.version = out.store(start.version);
    parts.body = out.store(text + body_at, body_len);
    for (const Header& header : headers)
        out.add_field(out.store(header.name), out.store(header.value));
    out.http() = parts;
}
