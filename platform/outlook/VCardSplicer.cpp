#include <outlook/VCardSplicer.h>

#include <outlook/VCardFile.h>
#include <outlook/VCardProperty.h>

#include <strings.h>

#include <set>
#include <vector>

namespace outlook {
namespace {
std::string WithLineEnd(const std::string& text)
{
    if (text.empty() || text.back() == '\n')
        return text;
    return text + "\r\n";
}

struct CSpan {
    std::size_t begin;
    std::size_t end;
};

std::string TrimmedLine(const std::string& text, std::size_t from, std::size_t to)
{
    std::string line = text.substr(from, to - from);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line;
}

// Where each BEGIN:VCARD ... END:VCARD block of the text lies.
std::vector<CSpan> CardSpans(const std::string& text)
{
    std::vector<CSpan> spans;
    std::size_t begin = std::string::npos;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t newline = text.find('\n', at);
        const std::size_t next = newline == std::string::npos ? text.size() : newline + 1;
        const std::string line = TrimmedLine(text, at, next);
        if (::strcasecmp(line.c_str(), "BEGIN:VCARD") == 0)
            begin = at;
        else if (::strcasecmp(line.c_str(), "END:VCARD") == 0 && begin != std::string::npos) {
            spans.push_back({begin, next});
            begin = std::string::npos;
        }
        at = next;
    }
    return spans;
}

// The raw lines of a card, grouped into its logical (unfolded) lines.
std::vector<std::string> LogicalLines(const std::string& card)
{
    std::vector<std::string> lines;
    bool softBreak = false;
    for (std::size_t at = 0; at < card.size();) {
        const std::size_t newline = card.find('\n', at);
        const std::size_t next = newline == std::string::npos ? card.size() : newline + 1;
        const std::string raw = TrimmedLine(card, at, next) + "\r\n";
        const bool continues = !lines.empty() && (raw[0] == ' ' || raw[0] == '\t' || softBreak);
        if (continues)
            lines.back() += raw;
        else
            lines.push_back(raw);
        const std::string& logical = lines.back();
        softBreak = CVCardProperty::HeaderAsksQuotedPrintable(logical) && logical.size() >= 3 &&
                    logical[logical.size() - 3] == '=';
        at = next;
    }
    return lines;
}

bool IsMappedCardLine(const std::string& logical)
{
    static const std::set<std::string> mapped = {"BEGIN", "END",   "VERSION", "UID", "N",
                                                 "FN",    "EMAIL", "TEL",     "URL"};
    std::string unfolded;
    for (std::size_t i = 0; i < logical.size(); ++i) {
        if (logical[i] == '\r' || logical[i] == '\n')
            continue;
        if ((logical[i] == ' ' || logical[i] == '\t') && i > 0 && logical[i - 1] == '\n')
            continue;
        unfolded += logical[i];
    }
    CVCardProperty property;
    return !property.Parse(unfolded) || mapped.count(property.GetName()) > 0;
}

// The new card with the old card's lines the contact item does not map.
std::string MergedCard(const std::string& oldCard, const CVCard& card)
{
    std::string kept;
    for (const std::string& line : LogicalLines(oldCard))
        if (!IsMappedCardLine(line))
            kept += line;
    std::string text = CVCardFile::Format(card);
    const std::string end = "END:VCARD\r\n";
    if (text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0)
        text.insert(text.size() - end.size(), kept);
    return text;
}
// Where each block of the text that parses as one individual card lies.
bool IndividualSpans(const std::string& text, std::vector<CSpan>& individual, std::string& error)
{
    for (const CSpan& span : CardSpans(text)) {
        std::vector<CVCard> one;
        std::string ignored;
        if (CVCardFile::Parse(text.substr(span.begin, span.end - span.begin), one, ignored) &&
            one.size() == 1)
            individual.push_back(span);
    }
    std::vector<CVCard> all;
    if (!CVCardFile::Parse(text, all, error))
        return false;
    if (all.size() != individual.size()) {
        error = "the cards cannot be told apart";
        return false;
    }
    return true;
}
} // namespace

std::string CVCardSplicer::Append(const std::string& text, const CVCard& card)
{
    return WithLineEnd(text) + CVCardFile::Format(card);
}

bool CVCardSplicer::Replace(const std::string& text, std::size_t index, const CVCard& card,
                            std::string& result, std::string& error)
{
    std::vector<CSpan> individual;
    if (!IndividualSpans(text, individual, error))
        return false;
    if (index >= individual.size()) {
        error = "there is no card " + std::to_string(index + 1);
        return false;
    }
    const CSpan span = individual[index];
    result = text.substr(0, span.begin) + MergedCard(text.substr(span.begin, span.end - span.begin), card) +
             text.substr(span.end);
    return true;
}
} // namespace outlook
