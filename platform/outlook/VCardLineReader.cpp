#include <outlook/VCardLineReader.h>

#include <outlook/VCardProperty.h>

#include <cctype>

namespace outlook {
namespace {
// Whether the header of a line under construction asks for quoted-printable.
// The header ends at the first ':', so only new text needs searching and long
// runs of joined lines stay linear.
class CHeaderWatch {
public:
    void Saw(const std::string& line, std::size_t from)
    {
        if (m_known)
            return;
        const std::string::size_type colon = line.find(':', from);
        if (colon == std::string::npos)
            return;
        m_known = true;
        m_quotedPrintable = CVCardProperty::HeaderAsksQuotedPrintable(line.substr(0, colon + 1));
    }
    bool QuotedPrintable() const { return m_quotedPrintable; }

private:
    bool m_known = false;
    bool m_quotedPrintable = false;
};
} // namespace

CVCardLineReader::CVCardLineReader(const std::string& text) : m_text(text)
{
    if (m_text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        m_pos = 3;
}

CVCardLineReader::Span CVCardLineReader::PhysicalAt(std::size_t pos) const
{
    Span span;
    span.begin = pos;
    span.end = m_text.find_first_of("\r\n", pos);
    if (span.end == std::string::npos) {
        span.end = m_text.size();
        span.next = m_text.size();
        return span;
    }
    const bool crlf =
        m_text[span.end] == '\r' && span.end + 1 < m_text.size() && m_text[span.end + 1] == '\n';
    span.next = span.end + (crlf ? 2 : 1);
    return span;
}

// A soft line break just before the end of the card is a writer's mistake,
// not a reason to lose the card.
bool CVCardLineReader::IsCardEnd(const Span& span) const
{
    static const char end[] = "END:VCARD";
    std::size_t begin = span.begin;
    std::size_t last = span.end;
    while (begin < last && (m_text[begin] == ' ' || m_text[begin] == '\t'))
        ++begin;
    while (last > begin && (m_text[last - 1] == ' ' || m_text[last - 1] == '\t'))
        --last;
    if (last - begin != sizeof end - 1)
        return false;
    for (std::size_t i = 0; i < sizeof end - 1; ++i)
        if (std::toupper(static_cast<unsigned char>(m_text[begin + i])) != end[i])
            return false;
    return true;
}

bool CVCardLineReader::Continues(const Span& span, const std::string& line, bool quotedPrintable) const
{
    if (span.begin >= m_text.size())
        return false;
    const char first = m_text[span.begin];
    if (span.end > span.begin && (first == ' ' || first == '\t'))
        return true;
    return quotedPrintable && !line.empty() && line.back() == '=' && !IsCardEnd(span);
}

bool CVCardLineReader::Next(std::string& line, std::size_t& number)
{
    if (m_pos >= m_text.size())
        return false;
    Span span = PhysicalAt(m_pos);
    number = ++m_number;
    line.assign(m_text, span.begin, span.end - span.begin);
    CHeaderWatch header;
    header.Saw(line, 0);
    m_pos = span.next;
    for (span = PhysicalAt(m_pos); Continues(span, line, header.QuotedPrintable());
         span = PhysicalAt(m_pos)) {
        const std::size_t from = line.size();
        const char first = m_text[span.begin];
        if (first == ' ' || first == '\t') {
            line.append(m_text, span.begin + 1, span.end - span.begin - 1);
        } else {
            line.pop_back();
            line.append(m_text, span.begin, span.end - span.begin);
        }
        header.Saw(line, from > 0 ? from - 1 : 0);
        ++m_number;
        m_pos = span.next;
    }
    return true;
}
} // namespace outlook
