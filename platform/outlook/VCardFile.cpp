#include <outlook/VCardFile.h>

#include <outlook/VCardContactReader.h>
#include <outlook/VCardLineReader.h>
#include <outlook/VCardProperty.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

namespace outlook {
namespace {
constexpr std::size_t FoldWidth = 75;

bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(" \t") == std::string::npos;
}

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool Is(const CVCardProperty& property, const char* name, const char* value)
{
    return property.GetName() == name && SameText(property.GetText(), value);
}

std::string LineError(std::size_t number, const std::string& what)
{
    return "line " + std::to_string(number) + ": " + what;
}

// Walks the logical lines: cards between BEGIN:VCARD and END:VCARD, cards
// nested in a card (2.1 AGENT) skipped with it.
class CStreamReader {
public:
    bool Read(const std::string& text, std::vector<CVCard>& cards, std::string& error);

private:
    bool Outside(const std::string& line, std::size_t number, std::string& error);
    void Inside(const CVCardProperty& property, std::vector<CVCard>& cards);

    bool m_inCard = false;
    std::size_t m_begin = 0;
    int m_nested = 0;
    CVCardContactReader m_card;
};

bool CStreamReader::Read(const std::string& text, std::vector<CVCard>& cards, std::string& error)
{
    CVCardLineReader lines(text);
    std::string line;
    std::size_t number = 0;
    while (lines.Next(line, number)) {
        if (!m_inCard) {
            if (!Outside(line, number, error))
                return false;
            continue;
        }
        CVCardProperty property;
        if (property.Parse(line))
            Inside(property, cards);
    }
    if (m_inCard) {
        error = LineError(m_begin, "BEGIN:VCARD without END:VCARD");
        return false;
    }
    return true;
}

bool CStreamReader::Outside(const std::string& line, std::size_t number, std::string& error)
{
    if (IsBlank(line))
        return true;
    CVCardProperty property;
    const bool parsed = property.Parse(line);
    if (parsed && Is(property, "BEGIN", "VCARD")) {
        m_inCard = true;
        m_begin = number;
        m_nested = 0;
        m_card = CVCardContactReader();
        return true;
    }
    if (parsed && Is(property, "END", "VCARD"))
        error = LineError(number, "END:VCARD without BEGIN:VCARD");
    else
        error = LineError(number, "not a vCard: text outside BEGIN:VCARD ... END:VCARD");
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
            cards.push_back(m_card.GetCard());
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

// Readers take blanks around a value for layout, so a value is written
// without them: the card then reads back exactly as it was written.
std::string WithoutOuterBlanks(const std::string& value)
{
    const std::string::size_type first = value.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

void AddField(std::string& card, const char* header, const std::string& value)
{
    const std::string written = WithoutOuterBlanks(value);
    if (!written.empty())
        card += Fold(std::string(header) + Escape(written));
}

// Seeded once per thread: a file of many cards without uids must not open the
// entropy source for every card.
std::uint64_t RandomWord()
{
    thread_local std::mt19937_64 generator = [] {
        const auto now = std::chrono::high_resolution_clock::now().time_since_epoch();
        std::uint64_t seed = static_cast<std::uint64_t>(now.count());
        try {
            std::random_device device;
            seed ^= (static_cast<std::uint64_t>(device()) << 32) ^ device();
        } catch (...) {
            // No entropy source: the clock alone still keeps runs apart.
        }
        return std::mt19937_64(seed);
    }();
    return generator();
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
    if (reader.Read(text, cards, error))
        return true;
    cards.clear();
    return false;
}

std::string CVCardFile::Format(const CVCard& card)
{
    const CContactData& contact = card.contact;
    std::string text = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    text += Fold("UID:" + Escape(card.uid.empty() ? MakeUid() : card.uid));
    CContactData names = contact;
    names.firstName = WithoutOuterBlanks(contact.firstName);
    names.lastName = WithoutOuterBlanks(contact.lastName);
    text += Fold("N:" + Escape(names.lastName) + ";" + Escape(names.firstName) + ";;;");
    text += Fold("FN:" + Escape(FullName(names)));
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
                  static_cast<unsigned long long>(high & 0xFFFF), static_cast<unsigned long long>(low >> 48),
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
    return text;
}
} // namespace outlook
