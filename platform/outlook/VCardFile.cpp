#include <outlook/VCardFile.h>

#include <outlook/VCardProperty.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

namespace outlook
{
namespace
{
constexpr std::size_t FoldWidth = 75;
constexpr int NoRank = 102;

// One line after unfolding, with the number of the physical line it began on.
struct LogicalLine
{
    std::string text;
    std::size_t number = 0;
    bool headerKnown = false;
    bool quotedPrintable = false;

    // The header is known once a ':' has been seen; only the new text is
    // searched, so long runs of joined lines stay linear.
    void Append(const std::string& piece)
    {
        const std::size_t from = text.size();
        text += piece;
        if (headerKnown)
            return;
        const std::string::size_type colon = text.find(':', from);
        if (colon == std::string::npos)
            return;
        headerKnown = true;
        quotedPrintable = CVCardProperty::HeaderAsksQuotedPrintable(text.substr(0, colon + 1));
    }

    bool EndsInSoftBreak() const
    {
        return quotedPrintable && !text.empty() && text.back() == '=';
    }
};

bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(" \t") == std::string::npos;
}

std::vector<std::string> PhysicalLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string::size_type start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < text.size()) {
        const std::string::size_type end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

// A soft line break before the end of the card is a writer's mistake, not a
// reason to lose the card.
bool IsCardEnd(const std::string& line)
{
    const std::string::size_type first = line.find_first_not_of(" \t");
    const std::string::size_type last = line.find_last_not_of(" \t");
    if (first == std::string::npos)
        return false;
    const std::string word = line.substr(first, last - first + 1);
    if (word.size() != 9)
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(word[i])) != "END:VCARD"[i])
            return false;
    return true;
}

// Joins folded lines (a leading blank or tab continues the line before) and
// the soft line breaks of quoted-printable values (a trailing '=').
std::vector<LogicalLine> LogicalLines(const std::string& text)
{
    std::vector<LogicalLine> logical;
    const std::vector<std::string> physical = PhysicalLines(text);
    for (std::size_t i = 0; i < physical.size(); ++i) {
        const std::string& line = physical[i];
        const bool folded = !line.empty() && (line[0] == ' ' || line[0] == '\t');
        if (!logical.empty() && folded) {
            logical.back().Append(line.substr(1));
        } else if (!logical.empty() && logical.back().EndsInSoftBreak() && !IsCardEnd(line)) {
            logical.back().text.pop_back();
            logical.back().Append(line);
        } else {
            logical.emplace_back();
            logical.back().number = i + 1;
            logical.back().Append(line);
        }
    }
    return logical;
}

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool StartsWithText(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

bool Is(const CVCardProperty& property, const char* name, const char* value)
{
    return property.GetName() == name && SameText(property.GetText(), value);
}

// The value a field takes from several candidates: the most preferred
// non-empty one, the first of equals.
struct BestValue
{
    std::string value;
    int rank = NoRank;

    void Offer(const std::string& candidate, int candidateRank)
    {
        if (!candidate.empty() && candidateRank < rank) {
            value = candidate;
            rank = candidateRank;
        }
    }
};

// Every property of one card, read into a contact when the card ends.
class CCardReader
{
public:
    void Add(const CVCardProperty& property) { m_properties.push_back(property); }
    bool IsIndividual() const;
    CVCard Read() const;

private:
    std::string FirstText(const char* name) const;
    void ReadNames(CContactData& contact) const;
    void ReadTelephones(CContactData& contact) const;
    std::string TelephoneNumber(const CVCardProperty& property) const;
    std::string Best(const char* name) const;

    std::vector<CVCardProperty> m_properties;
};

std::string CCardReader::FirstText(const char* name) const
{
    for (const CVCardProperty& property : m_properties)
        if (property.GetName() == name)
            return property.GetText();
    return std::string();
}

bool CCardReader::IsIndividual() const
{
    const std::string kind = FirstText("KIND");
    if (!kind.empty() && !SameText(kind, "individual"))
        return false;
    return !SameText(FirstText("X-ADDRESSBOOKSERVER-KIND"), "group");
}

std::string CCardReader::Best(const char* name) const
{
    BestValue best;
    for (const CVCardProperty& property : m_properties)
        if (property.GetName() == name)
            best.Offer(property.GetText(), property.GetPreference());
    return best.value;
}

void CCardReader::ReadNames(CContactData& contact) const
{
    for (const CVCardProperty& property : m_properties) {
        if (property.GetName() != "N")
            continue;
        const std::vector<std::string> parts = property.GetComponents();
        contact.lastName = parts[0];
        contact.firstName = parts.size() > 1 ? parts[1] : std::string();
        break;
    }
    if (!contact.lastName.empty() || !contact.firstName.empty())
        return;
    const std::string full = FirstText("FN");
    const std::string::size_type blank = full.rfind(' ');
    if (blank == std::string::npos) {
        contact.lastName = full;
        return;
    }
    contact.firstName = full.substr(0, full.find_last_not_of(' ', blank) + 1);
    contact.lastName = full.substr(blank + 1);
}

std::string CCardReader::TelephoneNumber(const CVCardProperty& property) const
{
    std::string number = property.GetText();
    const bool uri = SameText(property.GetParameter("VALUE"), "uri") ||
                     StartsWithText(FirstText("VERSION"), "4");
    if (uri && StartsWithText(number, "tel:"))
        number.erase(0, 4);
    return number;
}

// No type, or only VOICE and PREF: not a fax, pager or the like.
bool IsPlainVoice(const CVCardProperty& property)
{
    for (const std::string& type : property.GetTypes())
        if (!type.empty() && type != "VOICE" && type != "PREF")
            return false;
    return true;
}

// A number typed CELL is the mobile one whatever else it says; one with no
// type but voice serves as the home number when no number is typed HOME.
void CCardReader::ReadTelephones(CContactData& contact) const
{
    BestValue mobile, business, home, untyped;
    for (const CVCardProperty& property : m_properties) {
        if (property.GetName() != "TEL")
            continue;
        const std::string number = TelephoneNumber(property);
        const int rank = property.GetPreference();
        if (property.HasType("CELL"))
            mobile.Offer(number, rank);
        else if (property.HasType("WORK"))
            business.Offer(number, rank);
        else if (property.HasType("HOME"))
            home.Offer(number, rank);
        else if (IsPlainVoice(property))
            untyped.Offer(number, rank);
    }
    contact.mobileTelephoneNumber = mobile.value;
    contact.businessTelephoneNumber = business.value;
    contact.homeTelephoneNumber = home.value.empty() ? untyped.value : home.value;
}

CVCard CCardReader::Read() const
{
    CVCard card;
    card.uid = FirstText("UID");
    ReadNames(card.contact);
    card.contact.email1Address = Best("EMAIL");
    card.contact.webPage = Best("URL");
    ReadTelephones(card.contact);
    return card;
}

std::string LineError(std::size_t number, const std::string& what)
{
    return "line " + std::to_string(number) + ": " + what;
}

// Walks the logical lines: cards between BEGIN:VCARD and END:VCARD, cards
// nested in a card (2.1 AGENT) skipped with it.
class CStreamReader
{
public:
    bool Read(const std::vector<LogicalLine>& lines, std::vector<CVCard>& cards, std::string& error);

private:
    bool Outside(const LogicalLine& line, std::string& error);
    void Inside(const CVCardProperty& property, std::vector<CVCard>& cards);

    bool m_inCard = false;
    std::size_t m_begin = 0;
    int m_nested = 0;
    CCardReader m_card;
};

bool CStreamReader::Read(const std::vector<LogicalLine>& lines, std::vector<CVCard>& cards,
                         std::string& error)
{
    for (const LogicalLine& line : lines) {
        if (!m_inCard) {
            if (!Outside(line, error))
                return false;
            continue;
        }
        CVCardProperty property;
        if (property.Parse(line.text))
            Inside(property, cards);
    }
    if (m_inCard) {
        error = LineError(m_begin, "BEGIN:VCARD without END:VCARD");
        return false;
    }
    return true;
}

bool CStreamReader::Outside(const LogicalLine& line, std::string& error)
{
    if (IsBlank(line.text))
        return true;
    CVCardProperty property;
    if (property.Parse(line.text) && Is(property, "BEGIN", "VCARD")) {
        m_inCard = true;
        m_begin = line.number;
        m_nested = 0;
        m_card = CCardReader();
        return true;
    }
    if (property.Parse(line.text) && Is(property, "END", "VCARD"))
        error = LineError(line.number, "END:VCARD without BEGIN:VCARD");
    else
        error = LineError(line.number, "not a vCard: text outside BEGIN:VCARD ... END:VCARD");
    return false;
}

void CStreamReader::Inside(const CVCardProperty& property, std::vector<CVCard>& cards)
{
    if (Is(property, "BEGIN", "VCARD")) {
        ++m_nested;
        return;
    }
    if (Is(property, "END", "VCARD")) {
        if (m_nested > 0) {
            --m_nested;
            return;
        }
        m_inCard = false;
        if (m_card.IsIndividual())
            cards.push_back(m_card.Read());
        return;
    }
    if (m_nested == 0)
        m_card.Add(property);
}

std::string Escape(const std::string& value)
{
    std::string result;
    result.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' || c == ',' || c == ';') {
            result += '\\';
            result += c;
        } else if (c == '\r' || c == '\n') {
            result += "\\n";
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
                ++i;
        } else {
            result += c;
        }
    }
    return result;
}

bool IsUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Lines of at most 75 octets, continuations starting with a blank; a cut
// moves back to the start of a UTF-8 sequence unless the text has none.
std::string Fold(const std::string& line)
{
    std::string result;
    std::size_t pos = 0;
    std::size_t width = FoldWidth;
    while (line.size() - pos > width) {
        std::size_t cut = pos + width;
        while (cut > pos && IsUtf8Continuation(line[cut]))
            --cut;
        if (cut == pos)
            cut = pos + width;
        result.append(line, pos, cut - pos);
        result += "\r\n ";
        pos = cut;
        width = FoldWidth - 1;
    }
    result.append(line, pos, std::string::npos);
    result += "\r\n";
    return result;
}

std::string FullName(const CContactData& contact)
{
    if (contact.firstName.empty())
        return contact.lastName;
    if (contact.lastName.empty())
        return contact.firstName;
    return contact.firstName + " " + contact.lastName;
}

void AddField(std::string& card, const char* header, const std::string& value)
{
    if (!value.empty())
        card += Fold(std::string(header) + Escape(value));
}

std::uint64_t RandomWord()
{
    try {
        std::random_device device;
        return (static_cast<std::uint64_t>(device()) << 32) ^ device();
    } catch (...) {
        // No entropy source: a clock-seeded generator still keeps uids of
        // one run apart.
        static std::mt19937_64 generator(static_cast<std::uint64_t>(
            std::chrono::high_resolution_clock::now().time_since_epoch().count()));
        return generator();
    }
}
} // namespace

bool CVCardFile::Parse(const std::string& text, std::vector<CVCard>& cards, std::string& error)
{
    cards.clear();
    error.clear();
    if (text.size() > MaxTextSize) {
        error = "vCard text of " + std::to_string(text.size()) + " bytes is larger than 16 MiB";
        return false;
    }
    CStreamReader reader;
    if (reader.Read(LogicalLines(text), cards, error))
        return true;
    cards.clear();
    return false;
}

std::string CVCardFile::Format(const CVCard& card)
{
    const CContactData& contact = card.contact;
    std::string text = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    text += Fold("UID:" + Escape(card.uid.empty() ? MakeUid() : card.uid));
    text += Fold("N:" + Escape(contact.lastName) + ";" + Escape(contact.firstName) + ";;;");
    text += Fold("FN:" + Escape(FullName(contact)));
    AddField(text, "EMAIL;TYPE=INTERNET:", contact.email1Address);
    AddField(text, "TEL;TYPE=WORK:", contact.businessTelephoneNumber);
    AddField(text, "TEL;TYPE=HOME:", contact.homeTelephoneNumber);
    AddField(text, "TEL;TYPE=CELL:", contact.mobileTelephoneNumber);
    AddField(text, "URL:", contact.webPage);
    text += "END:VCARD\r\n";
    return text;
}

std::string CVCardFile::MakeUid()
{
    const std::uint64_t high = (RandomWord() & ~0xF000ull) | 0x4000ull;
    const std::uint64_t low = (RandomWord() & ~(3ull << 62)) | (2ull << 62);
    char text[37];
    std::snprintf(text, sizeof text, "%08llx-%04llx-%04llx-%04llx-%012llx",
                  static_cast<unsigned long long>(high >> 32),
                  static_cast<unsigned long long>((high >> 16) & 0xFFFF),
                  static_cast<unsigned long long>(high & 0xFFFF),
                  static_cast<unsigned long long>(low >> 48),
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
    return text;
}
} // namespace outlook
