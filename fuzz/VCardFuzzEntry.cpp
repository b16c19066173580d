#include <FuzzEntries.h>

#include <outlook/VCardFile.h>

#include <string>
#include <vector>

namespace {

using outlook::CContactData;
using outlook::CVCard;
using outlook::CVCardFile;

bool same_contact(const CContactData& a, const CContactData& b)
{
    return a.firstName == b.firstName && a.lastName == b.lastName && a.email1Address == b.email1Address &&
           a.webPage == b.webPage && a.businessTelephoneNumber == b.businessTelephoneNumber &&
           a.homeTelephoneNumber == b.homeTelephoneNumber &&
           a.mobileTelephoneNumber == b.mobileTelephoneNumber;
}

// A card without a uid is written with a fresh one; any other keeps its own.
bool same_card(const CVCard& read, const CVCard& reread)
{
    if (read.uid.empty() ? reread.uid.empty() : reread.uid != read.uid)
        return false;
    return same_contact(read.contact, reread.contact);
}

// Every line CRLF-ended and at most 75 octets long.
bool lines_fit(const std::string& text)
{
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos || end - start > 75)
            return false;
        if (text.find('\n', start) < end || text.find('\r', start) < end)
            return false;
        start = end + 2;
    }
    return true;
}

} // namespace

bool CFuzzEntries::vcard(const std::uint8_t* data, std::size_t size)
{
    const std::string text =
        size == 0 ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
    std::vector<CVCard> cards;
    std::string error;
    if (!CVCardFile::Parse(text, cards, error))
        return !error.empty() && cards.empty();
    if (!error.empty())
        return false;
    std::string written;
    for (const CVCard& card : cards)
        written += CVCardFile::Format(card);
    if (!lines_fit(written))
        return false;
    std::vector<CVCard> again;
    if (!CVCardFile::Parse(written, again, error) || again.size() != cards.size())
        return false;
    for (std::size_t i = 0; i < cards.size(); ++i)
        if (!same_card(cards[i], again[i]))
            return false;
    return true;
}
