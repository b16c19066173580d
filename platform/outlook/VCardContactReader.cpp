#include <outlook/VCardContactReader.h>

#include <outlook/VCardProperty.h>

#include <cctype>
#include <vector>

namespace outlook {
namespace {
bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool StartsWithText(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

// Names are kept without surrounding blanks or tabs, as every value is.
std::string TrimBlanks(const std::string& text)
{
    const std::string::size_type first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// No type, or only VOICE and PREF: not a fax, pager or the like.
bool IsPlainVoice(const CVCardProperty& property)
{
    for (const std::string& type : property.GetTypes())
        if (!type.empty() && type != "VOICE" && type != "PREF")
            return false;
    return true;
}
} // namespace

void CVCardContactReader::Best::Offer(const std::string& candidate, int candidateRank, bool candidateUri)
{
    if (!candidate.empty() && candidateRank < rank) {
        value = candidate;
        rank = candidateRank;
        uri = candidateUri;
    }
}

void CVCardContactReader::KeepFirst(std::string& field, bool& seen, const CVCardProperty& property)
{
    if (seen)
        return;
    field = property.GetText();
    seen = true;
}

void CVCardContactReader::Add(const CVCardProperty& property)
{
    const std::string& name = property.GetName();
    if (name == "N" && !m_seenName) {
        const std::vector<std::string> parts = property.GetComponents();
        m_lastName = parts[0];
        m_firstName = parts.size() > 1 ? parts[1] : std::string();
        m_seenName = true;
    } else if (name == "FN") {
        KeepFirst(m_fullName, m_seenFullName, property);
    } else if (name == "UID") {
        KeepFirst(m_uid, m_seenUid, property);
    } else if (name == "KIND") {
        KeepFirst(m_kind, m_seenKind, property);
    } else if (name == "X-ADDRESSBOOKSERVER-KIND") {
        KeepFirst(m_addressBookKind, m_seenAddressBookKind, property);
    } else if (name == "VERSION") {
        KeepFirst(m_version, m_seenVersion, property);
    } else if (name == "EMAIL") {
        m_email.Offer(property.GetText(), property.GetPreference(), false);
    } else if (name == "URL") {
        m_url.Offer(property.GetText(), property.GetPreference(), false);
    } else if (name == "TEL") {
        AddTelephone(property);
    }
}

// A number typed CELL is the mobile one whatever else it says; one with no
// type but voice serves as the home number when no number is typed HOME.
void CVCardContactReader::AddTelephone(const CVCardProperty& property)
{
    const std::string number = property.GetText();
    const int rank = property.GetPreference();
    const bool uri = SameText(property.GetParameter("VALUE"), "uri");
    if (property.HasType("CELL"))
        m_mobile.Offer(number, rank, uri);
    else if (property.HasType("WORK"))
        m_business.Offer(number, rank, uri);
    else if (property.HasType("HOME"))
        m_home.Offer(number, rank, uri);
    else if (IsPlainVoice(property))
        m_untyped.Offer(number, rank, uri);
}

// 4.0 cards write numbers as tel: URIs; the version may come after the
// number, so the prefix goes only when the card is read. What follows it is
// kept without surrounding blanks, as every value is ("tel: 1" is "1").
std::string CVCardContactReader::Number(const Best& best) const
{
    const bool uri = best.uri || StartsWithText(m_version, "4");
    if (uri && StartsWithText(best.value, "tel:"))
        return TrimBlanks(best.value.substr(4));
    return best.value;
}

bool CVCardContactReader::IsIndividual() const
{
    if (!m_kind.empty() && !SameText(m_kind, "individual"))
        return false;
    return !SameText(m_addressBookKind, "group");
}

void CVCardContactReader::ReadNames(CContactData& contact) const
{
    contact.lastName = m_lastName;
    contact.firstName = m_firstName;
    if (!contact.lastName.empty() || !contact.firstName.empty())
        return;
    const std::string::size_type blank = m_fullName.rfind(' ');
    if (blank == std::string::npos) {
        contact.lastName = m_fullName;
        return;
    }
    contact.firstName = TrimBlanks(m_fullName.substr(0, blank));
    contact.lastName = TrimBlanks(m_fullName.substr(blank + 1));
}

CVCard CVCardContactReader::GetCard() const
{
    CVCard card;
    card.uid = m_uid;
    ReadNames(card.contact);
    card.contact.email1Address = m_email.value;
    card.contact.webPage = m_url.value;
    card.contact.mobileTelephoneNumber = Number(m_mobile);
    card.contact.businessTelephoneNumber = Number(m_business);
    card.contact.homeTelephoneNumber = Number(m_home.value.empty() ? m_untyped : m_home);
    return card;
}
} // namespace outlook
