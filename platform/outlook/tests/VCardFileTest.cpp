#include <outlook/VCardFile.h>

#include <gtest/gtest.h>

#include <set>

using outlook::CContactData;
using outlook::CVCard;
using outlook::CVCardFile;

namespace {
std::vector<CVCard> ParseOk(const std::string& text)
{
    std::vector<CVCard> cards;
    std::string error;
    EXPECT_TRUE(CVCardFile::Parse(text, cards, error)) << error;
    EXPECT_EQ("", error);
    return cards;
}

std::string ParseError(const std::string& text)
{
    std::vector<CVCard> cards(1);
    std::string error;
    EXPECT_FALSE(CVCardFile::Parse(text, cards, error));
    EXPECT_TRUE(cards.empty());
    return error;
}

void ExpectSameContact(const CContactData& a, const CContactData& b)
{
    EXPECT_EQ(a.firstName, b.firstName);
    EXPECT_EQ(a.lastName, b.lastName);
    EXPECT_EQ(a.email1Address, b.email1Address);
    EXPECT_EQ(a.webPage, b.webPage);
    EXPECT_EQ(a.businessTelephoneNumber, b.businessTelephoneNumber);
    EXPECT_EQ(a.homeTelephoneNumber, b.homeTelephoneNumber);
    EXPECT_EQ(a.mobileTelephoneNumber, b.mobileTelephoneNumber);
}

// What an address book of the 3.0 kind writes: TYPE lists, a folded line,
// group prefixes, a group card and a card without EMAIL.
const char* const Version3 =
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "PRODID:-//Example Corp.//Address Book 10.0//EN\r\n"
    "N:Lee;Ann;Marie;;\r\n"
    "FN:Ann Marie Lee\r\n"
    "ORG:Example Corp.;\r\n"
    "item1.EMAIL;type=INTERNET;type=WORK:ann.work@example.org\r\n"
    "item2.EMAIL;type=INTERNET;type=HOME;type=pref:ann@example.org\r\n"
    "TEL;TYPE=WORK,VOICE:+44 20 7946 0001\r\n"
    "TEL;type=HOME;type=VOICE:+44 20 7946 0002\r\n"
    "TEL;TYPE=CELL,VOICE,pref:+44 7700 900001\r\n"
    "TEL;TYPE=FAX,WORK:+44 20 7946 0009\r\n"
    "item3.URL;type=pref:http://example.org/~ann/a-rather-long-page-name-that-needs-f\r\n"
    " olding.html\r\n"
    "item3.X-ABLabel:_$!<HomePage>!$_\r\n"
    "NOTE:Met at the conference\\, room 4\\nSecond line\r\n"
    "UID:6A1B0C3E-4D2F-4A1B-9C3D-0123456789AB\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "N:;Friends;;;\r\n"
    "FN:Friends\r\n"
    "X-ADDRESSBOOKSERVER-KIND:group\r\n"
    "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:6A1B0C3E-4D2F-4A1B-9C3D-0123456789AB\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "N:Stone;Bob;;;\r\n"
    "FN:Bob Stone\r\n"
    "TEL;TYPE=HOME:555 0100\r\n"
    "END:VCARD\r\n";
} // namespace

TEST(VCardFile, Version3WithTypeListsGroupsAndFolding)
{
    const std::vector<CVCard> cards = ParseOk(Version3);
    ASSERT_EQ(2u, cards.size());
    const CContactData& ann = cards[0].contact;
    EXPECT_EQ("6A1B0C3E-4D2F-4A1B-9C3D-0123456789AB", cards[0].uid);
    EXPECT_EQ("Ann", ann.firstName);
    EXPECT_EQ("Lee", ann.lastName);
    EXPECT_EQ("ann@example.org", ann.email1Address);
    EXPECT_EQ("+44 20 7946 0001", ann.businessTelephoneNumber);
    EXPECT_EQ("+44 20 7946 0002", ann.homeTelephoneNumber);
    EXPECT_EQ("+44 7700 900001", ann.mobileTelephoneNumber);
    EXPECT_EQ("http://example.org/~ann/a-rather-long-page-name-that-needs-folding.html", ann.webPage);

    const CContactData& bob = cards[1].contact;
    EXPECT_EQ("", cards[1].uid);
    EXPECT_EQ("Bob", bob.firstName);
    EXPECT_EQ("Stone", bob.lastName);
    EXPECT_EQ("", bob.email1Address);
    EXPECT_EQ("555 0100", bob.homeTelephoneNumber);
}

TEST(VCardFile, Version4WithTelUrisPrefAndKinds)
{
    const std::vector<CVCard> cards = ParseOk("BEGIN:VCARD\n"
                                              "VERSION:4.0\n"
                                              "KIND:individual\n"
                                              "FN:Carla de la Cruz\n"
                                              "EMAIL;TYPE=work;PREF=3:carla@work.example\n"
                                              "EMAIL;PREF=1:carla@example.net\n"
                                              "EMAIL:carla@old.example\n"
                                              "TEL;VALUE=uri;TYPE=\"cell,voice\";PREF=1:tel:+1-555-555-0101\n"
                                              "TEL;VALUE=uri;TYPE=\"work,voice\":tel:+1-555-555-0102;ext=7\n"
                                              "TEL;TYPE=home:tel:+1-555-555-0103\n"
                                              "URL:https://carla.example/\n"
                                              "UID:urn:uuid:4fbe8971-0bc3-424c-9c26-36c3e1eff6b1\n"
                                              "END:VCARD\n"
                                              "BEGIN:VCARD\n"
                                              "VERSION:4.0\n"
                                              "KIND:group\n"
                                              "FN:Team\n"
                                              "MEMBER:urn:uuid:4fbe8971-0bc3-424c-9c26-36c3e1eff6b1\n"
                                              "END:VCARD\n"
                                              "BEGIN:VCARD\n"
                                              "VERSION:4.0\n"
                                              "KIND:org\n"
                                              "FN:Example Inc.\n"
                                              "END:VCARD\n"
                                              "BEGIN:VCARD\n"
                                              "VERSION:4.0\n"
                                              "KIND:location\n"
                                              "FN:Room 4\n"
                                              "END:VCARD\n");
    ASSERT_EQ(1u, cards.size());
    const CContactData& carla = cards[0].contact;
    EXPECT_EQ("urn:uuid:4fbe8971-0bc3-424c-9c26-36c3e1eff6b1", cards[0].uid);
    EXPECT_EQ("Carla de la", carla.firstName);
    EXPECT_EQ("Cruz", carla.lastName);
    EXPECT_EQ("carla@example.net", carla.email1Address);
    EXPECT_EQ("+1-555-555-0101", carla.mobileTelephoneNumber);
    EXPECT_EQ("+1-555-555-0102;ext=7", carla.businessTelephoneNumber);
    EXPECT_EQ("+1-555-555-0103", carla.homeTelephoneNumber);
    EXPECT_EQ("https://carla.example/", carla.webPage);
}

TEST(VCardFile, Version21QuotedPrintableAndBareTypes)
{
    const std::vector<CVCard> cards =
        ParseOk("BEGIN:VCARD\r\n"
                "VERSION:2.1\r\n"
                "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=B6rg;;;\r\n"
                "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=B6rg M=C3=BCller\r\n"
                "NOTE;ENCODING=QUOTED-PRINTABLE:First line=0D=0A=\r\n"
                "second line\r\n"
                "TEL;CELL:+49 151 0000001\r\n"
                "TEL;WORK;VOICE:+49 30 0000002\r\n"
                "TEL;VOICE:+49 30 0000003\r\n"
                "EMAIL;INTERNET:joerg@example.de\r\n"
                "END:VCARD\r\n");
    ASSERT_EQ(1u, cards.size());
    const CContactData& jorg = cards[0].contact;
    EXPECT_EQ("J\xC3\xB6rg", jorg.firstName);
    EXPECT_EQ("M\xC3\xBCller", jorg.lastName);
    EXPECT_EQ("+49 151 0000001", jorg.mobileTelephoneNumber);
    EXPECT_EQ("+49 30 0000002", jorg.businessTelephoneNumber);
    EXPECT_EQ("+49 30 0000003", jorg.homeTelephoneNumber);
    EXPECT_EQ("joerg@example.de", jorg.email1Address);
}

TEST(VCardFile, NamesFallBackToFullName)
{
    const std::vector<CVCard> cards =
        ParseOk("BEGIN:VCARD\nVERSION:3.0\nFN:  Dana   Fox \nEND:VCARD\n"
                "BEGIN:VCARD\nVERSION:3.0\nN:;;;;\nFN:Prince\nEND:VCARD\n"
                "BEGIN:VCARD\nVERSION:3.0\nN:Gale;;;;\nFN:Ignored Name\nEND:VCARD\n"
                "begin:vcard\nversion:3.0\nemail:x@example.org\nend:vcard\n");
    ASSERT_EQ(4u, cards.size());
    EXPECT_EQ("Dana", cards[0].contact.firstName);
    EXPECT_EQ("Fox", cards[0].contact.lastName);
    EXPECT_EQ("", cards[1].contact.firstName);
    EXPECT_EQ("Prince", cards[1].contact.lastName);
    EXPECT_EQ("", cards[2].contact.firstName);
    EXPECT_EQ("Gale", cards[2].contact.lastName);
    EXPECT_EQ("", cards[3].contact.lastName);
    EXPECT_EQ("x@example.org", cards[3].contact.email1Address);
}

TEST(VCardFile, NestedAgentCardIsSkippedWithItsOwner)
{
    const std::vector<CVCard> cards =
        ParseOk("BEGIN:VCARD\nVERSION:2.1\nN:Boss;Big\nAGENT:\nBEGIN:VCARD\nVERSION:2.1\n"
                "N:Helper;Hal\nEMAIL:hal@example.org\nEND:VCARD\nEMAIL:big@example.org\nEND:VCARD\n");
    ASSERT_EQ(1u, cards.size());
    EXPECT_EQ("Boss", cards[0].contact.lastName);
    EXPECT_EQ("big@example.org", cards[0].contact.email1Address);
}

TEST(VCardFile, EmptyTextHoldsNoCards)
{
    EXPECT_TRUE(ParseOk("").empty());
    EXPECT_TRUE(ParseOk("\r\n \n\t\n").empty());
    EXPECT_TRUE(ParseOk("\xEF\xBB\xBF").empty());
}

TEST(VCardFile, MalformedTextIsRefusedWithAReason)
{
    EXPECT_EQ("line 1: BEGIN:VCARD without END:VCARD", ParseError("BEGIN:VCARD\nVERSION:3.0\nFN:Ann Lee\n"));
    EXPECT_EQ("line 3: BEGIN:VCARD without END:VCARD",
              ParseError("BEGIN:VCARD\nEND:VCARD\nBEGIN:VCARD\nBEGIN:VCARD\nEND:VCARD\n"));
    EXPECT_EQ("line 1: END:VCARD without BEGIN:VCARD", ParseError("END:VCARD\n"));
    EXPECT_NE("", ParseError("just some text"));
    EXPECT_NE("", ParseError("BEGIN:VCALENDAR\nEND:VCALENDAR\n"));
    EXPECT_NE("", ParseError("BEGIN:VCARD\nEND:VCARD\ntrailing junk\n"));
    EXPECT_NE("", ParseError(std::string(CVCardFile::MaxTextSize + 1, '\n')));
}

TEST(VCardFile, LargestTextIsReadInBoundedMemory)
{
    EXPECT_TRUE(ParseOk(std::string(CVCardFile::MaxTextSize, '\n')).empty());
    // A long card (kept to a few MiB so the test stays quick under the
    // sanitizers) holds on to nothing but its fields.
    std::string card = "BEGIN:VCARD\n";
    while (card.size() < 2 * 1024 * 1024)
        card += "N:a\nTEL:1\n";
    card += "END:VCARD\n";
    EXPECT_EQ(1u, ParseOk(card).size());
}

TEST(VCardFile, BrokenLinesInsideACardDoNotStopTheRead)
{
    const std::vector<CVCard> cards =
        ParseOk("BEGIN:VCARD\nno colon\n:no name\nN;\"unbalanced:Lee;Ann\nEMAIL;PREF=:a@b.example\n"
                "TEL;TYPE=CELL:\nTEL;TYPE=CELL:7\nNOTE;QUOTED-PRINTABLE:=\nEND:VCARD");
    ASSERT_EQ(1u, cards.size());
    EXPECT_EQ("a@b.example", cards[0].contact.email1Address);
    EXPECT_EQ("7", cards[0].contact.mobileTelephoneNumber);
}

TEST(VCardFile, FormatWritesVersion3WithEscapesAndFreshUid)
{
    CVCard card;
    card.contact.firstName = "Ann";
    card.contact.lastName = "O;Lee, Jr\\";
    card.contact.email1Address = "ann@example.org";
    card.contact.businessTelephoneNumber = "1";
    card.contact.homeTelephoneNumber = "2";
    card.contact.mobileTelephoneNumber = "3";
    card.contact.webPage = "http://example.org/a,b";
    const std::string text = CVCardFile::Format(card);
    EXPECT_EQ(0u, text.find("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:"));
    EXPECT_NE(std::string::npos, text.find("\r\nN:O\\;Lee\\, Jr\\\\;Ann;;;\r\n"));
    EXPECT_NE(std::string::npos, text.find("\r\nFN:Ann O\\;Lee\\, Jr\\\\\r\n"));
    EXPECT_NE(std::string::npos, text.find("\r\nEMAIL;TYPE=INTERNET:ann@example.org\r\n"));
    EXPECT_NE(std::string::npos, text.find("\r\nTEL;TYPE=WORK:1\r\nTEL;TYPE=HOME:2\r\nTEL;TYPE=CELL:3\r\n"));
    EXPECT_NE(std::string::npos, text.find("\r\nURL:http://example.org/a\\,b\r\n"));
    EXPECT_EQ(text.size() - 11, text.find("END:VCARD\r\n"));

    const std::vector<CVCard> cards = ParseOk(text);
    ASSERT_EQ(1u, cards.size());
    EXPECT_EQ(36u, cards[0].uid.size());
    ExpectSameContact(card.contact, cards[0].contact);
}

TEST(VCardFile, FormatLeavesOutEmptyFieldsAndKeepsTheUid)
{
    CVCard card;
    card.uid = "fixed-uid";
    card.contact.lastName = "Solo";
    EXPECT_EQ("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:fixed-uid\r\nN:Solo;;;;\r\nFN:Solo\r\nEND:VCARD\r\n",
              CVCardFile::Format(card));
}

TEST(VCardFile, FoldsAt75OctetsWithoutSplittingUtf8)
{
    CVCard card;
    card.uid = "u";
    for (int i = 0; i < 60; ++i)
        card.contact.lastName += "\xC3\xA9"; // two octets each
    card.contact.webPage = "line one\nline two" + std::string(200, 'x');
    const std::string text = CVCardFile::Format(card);
    std::string::size_type start = 0;
    while (start < text.size()) {
        const std::string::size_type end = text.find("\r\n", start);
        ASSERT_NE(std::string::npos, end);
        EXPECT_LE(end - start, 75u);
        if (end + 3 < text.size() && text[end + 2] == ' ') {
            EXPECT_NE(0x80, static_cast<unsigned char>(text[end + 3]) & 0xC0) << "cut at " << end;
        }
        start = end + 2;
    }
    EXPECT_NE(std::string::npos, text.find("line one\\nline two"));
    const std::vector<CVCard> cards = ParseOk(text);
    ASSERT_EQ(1u, cards.size());
    ExpectSameContact(card.contact, cards[0].contact);
}

TEST(VCardFile, RoundTripOfManyCards)
{
    std::vector<CVCard> written;
    std::string file;
    for (int i = 0; i < 5; ++i) {
        CVCard card;
        card.contact.firstName = "First " + std::to_string(i);
        card.contact.lastName = "Last;" + std::to_string(i);
        card.contact.email1Address = "p" + std::to_string(i) + "@example.org";
        card.contact.mobileTelephoneNumber = std::to_string(i * 7);
        written.push_back(card);
        file += CVCardFile::Format(card);
    }
    const std::vector<CVCard> cards = ParseOk(file);
    ASSERT_EQ(written.size(), cards.size());
    std::set<std::string> uids;
    for (std::size_t i = 0; i < cards.size(); ++i) {
        ExpectSameContact(written[i].contact, cards[i].contact);
        uids.insert(cards[i].uid);
    }
    EXPECT_EQ(cards.size(), uids.size());
}

// What is written is what reads back: blanks around a value are not
// written, since every reader drops them.
TEST(VCardFile, ACardReadBackIsWrittenTheSameAgain)
{
    for (const char* value : {" 1", "tel: 1", "1 ", "\t2", " ", "a\\b; c, d:e"}) {
        CVCard card;
        card.uid = "u1";
        card.contact.firstName = std::string(" ") + value;
        card.contact.lastName = "Lee";
        card.contact.businessTelephoneNumber = value;
        card.contact.webPage = value;
        const std::string written = CVCardFile::Format(card);
        const std::vector<CVCard> read = ParseOk(written);
        ASSERT_EQ(read.size(), 1u) << value;
        EXPECT_EQ(CVCardFile::Format(read[0]), written) << value;
    }
    // A tel: URI with a blank after its scheme reads as the number alone.
    const std::vector<CVCard> uri =
        ParseOk("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann\r\nTEL;VALUE=uri;TYPE=cell:tel: 1\r\nEND:VCARD\r\n");
    ASSERT_EQ(uri.size(), 1u);
    EXPECT_EQ(uri[0].contact.mobileTelephoneNumber, "1");
    EXPECT_EQ(ParseOk(CVCardFile::Format(uri[0]))[0].contact.mobileTelephoneNumber, "1");
}

TEST(VCardFile, MadeUidsAreVersion4Uuids)
{
    const std::string uid = CVCardFile::MakeUid();
    ASSERT_EQ(36u, uid.size());
    EXPECT_EQ('-', uid[8]);
    EXPECT_EQ('4', uid[14]);
    EXPECT_NE(std::string::npos, std::string("89ab").find(uid[19]));
    EXPECT_NE(uid, CVCardFile::MakeUid());
}
