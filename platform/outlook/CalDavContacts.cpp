// The address book of a CalDAV back-end: one vCard per resource.

#include <outlook/CalDavBackend.h>

#include <outlook/DavMultistatus.h>
#include <outlook/VCardFile.h>
#include <outlook/VCardSplicer.h>

namespace outlook {

namespace {

constexpr const char* AddressData = "urn:ietf:params:xml:ns:carddavaddress-data";

} // namespace

const char* const CCalDavBackend::ContactsCopy = "caldav-contacts.xml";

bool CCalDavBackend::IsCard(const std::string& text)
{
    return text.compare(0, 11, "BEGIN:VCARD") == 0;
}

namespace {

const char* const CardsQuery =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
    "<a:addressbook-query xmlns:d=\"DAV:\" xmlns:a=\"urn:ietf:params:xml:ns:carddav\">"
    "<d:prop><d:getetag/><a:address-data/></d:prop></a:addressbook-query>";

} // namespace

bool CCalDavBackend::ReadContacts(std::string& error)
{
    const CDavClient::SReply reply = m_client.ReportCollection(m_contactsUrl, CardsQuery);
    if (reply.status != 207) {
        error = reply.status == 0 ? "the address book could not be reached (" + reply.error + ")"
                                  : "the address book answered " + std::to_string(reply.status);
        return false;
    }
    std::vector<SCard> cards;
    if (!CardsOf(reply.body, cards, error))
        return false;
    m_cards = std::move(cards);
    KeepCopy(ContactsCopy, reply.body);
    return true;
}

void CCalDavBackend::WriteContactsCopy() const
{
    std::string copy;
    for (const SCard& card : m_cards)
        copy += CopyResponse(card.href, card.etag, "a:address-data", card.text);
    KeepCopy(ContactsCopy, CopyText(copy));
}

bool CCalDavBackend::CardsOf(const std::string& body, std::vector<SCard>& cards, std::string& error)
{
    CDavMultistatus answer;
    if (!answer.Parse(body, error))
        return false;
    for (const CDavMultistatus::SResponse& response : answer.Responses()) {
        const CDavMultistatus::SProperty* data = response.Find(AddressData);
        std::vector<CVCard> read;
        std::string parseError;
        if (!data || !CVCardFile::Parse(data->text, read, parseError) || read.size() != 1) {
            if (data)
                m_notes.push_back(response.href + " is not read as one contact" +
                                  (parseError.empty() ? std::string() : ": " + parseError));
            continue;
        }
        cards.push_back({CDavClient::Resolve(m_contactsUrl, response.href), response.Text("DAV:getetag"),
                         std::move(read[0]), data->text});
    }
    return true;
}

// As a meeting, a contact the server cannot take now waits in the journal
// and counts as saved once it is there.
bool CCalDavBackend::AddContact(CStoredItem& item)
{
    const CContactData* contact = std::get_if<CContactData>(&item.data);
    if (!contact)
        return Fail("Only contacts can be saved in the contacts folder.");
    CVCard card{CVCardFile::MakeUid(), *contact};
    const std::string href = NewResource(m_contactsUrl, card.uid, ".vcf");
    const std::string text = CVCardFile::Format(card);
    const bool owed = m_fromCopy || m_journal.Holds(href);
    const CDavClient::SReply reply = owed ? CDavClient::SReply{} : m_client.Put(href, text, "text/vcard", "");
    std::string error;
    if (IsUnreachable(reply)) {
        if (!m_journal.Record({CCalDavJournal::Kind::Create, href, std::string(), std::string(), text},
                              error))
            return Fail("The contact was not saved: the server cannot be reached and " + error);
    } else if (!reply.Ok()) {
        return Fail(reply.Said("The contact was not saved on the server"));
    }
    item.id = card.uid;
    m_cards.push_back({href, reply.Ok() ? EtagOf(href, reply) : std::string(), std::move(card), text});
    WriteContactsCopy();
    return true;
}

// Only the fields a contact maps change: the card's other lines stay as
// the other programs wrote them.
bool CCalDavBackend::UpdateContact(const CStoredItem& item)
{
    for (SCard& stored : m_cards) {
        if (stored.card.uid != item.id)
            continue;
        CVCard card{stored.card.uid, std::get<CContactData>(item.data)};
        std::string text, error;
        if (!CVCardSplicer::Replace(stored.text, 0, card, text, error))
            return Fail("The contact cannot be changed: " + error);
        const CDavClient::SReply reply = m_client.Put(stored.href, text, "text/vcard", stored.etag);
        if (!reply.Ok())
            return Fail(reply.Said("The contact was not saved on the server"));
        stored.card = std::move(card);
        stored.text = std::move(text);
        stored.etag = EtagOf(stored.href, reply);
        WriteContactsCopy();
        return true;
    }
    return Fail("The address book holds no contact " + item.id + ".");
}

} // namespace outlook
