#include <outlook/VCardContactReader.h>
#include <outlook/VCardProperty.h>

#include <gtest/gtest.h>

#include <initializer_list>

using outlook::CVCard;
using outlook::CVCardContactReader;
using outlook::CVCardProperty;

namespace {
CVCardContactReader Read(std::initializer_list<const char*> lines)
{
    CVCardContactReader reader;
    for (const char* line : lines) {
        CVCardProperty property;
        EXPECT_TRUE(property.Parse(line)) << line;
        reader.Add(property);
    }
    return reader;
}
} // namespace

TEST(VCardContactReader, TelUrisLoseTheirSchemeEvenBeforeTheVersion)
{
    const CVCard card = Read({"TEL;TYPE=cell:tel:+1-555-0101", "VERSION:4.0"}).GetCard();
    EXPECT_EQ("+1-555-0101", card.contact.mobileTelephoneNumber);
    const CVCard version3 = Read({"VERSION:3.0", "TEL;TYPE=cell:tel:+1-555-0101"}).GetCard();
    EXPECT_EQ("tel:+1-555-0101", version3.contact.mobileTelephoneNumber);
    const CVCard uri = Read({"VERSION:3.0", "TEL;VALUE=URI;TYPE=work:TEL:5"}).GetCard();
    EXPECT_EQ("5", uri.contact.businessTelephoneNumber);
}

TEST(VCardContactReader, PreferredAndFirstValuesWin)
{
    const CVCard card = Read({"N:First;One", "N:Second;Two", "UID:a", "UID:b", "EMAIL:x@a",
                              "EMAIL;TYPE=pref:y@a", "EMAIL;PREF=1:z@a", "URL:", "URL:http://u",
                              "TEL;TYPE=HOME;PREF=2:2", "TEL;TYPE=HOME;PREF=1:1", "TEL;TYPE=FAX:9"})
                            .GetCard();
    EXPECT_EQ("First", card.contact.lastName);
    EXPECT_EQ("One", card.contact.firstName);
    EXPECT_EQ("a", card.uid);
    EXPECT_EQ("y@a", card.contact.email1Address);
    EXPECT_EQ("http://u", card.contact.webPage);
    EXPECT_EQ("1", card.contact.homeTelephoneNumber);
}

TEST(VCardContactReader, UntypedVoiceNumberServesAsHome)
{
    EXPECT_EQ("7", Read({"TEL;TYPE=FAX:9", "TEL;VOICE:7"}).GetCard().contact.homeTelephoneNumber);
    EXPECT_EQ("8", Read({"TEL:7", "TEL;TYPE=home:8"}).GetCard().contact.homeTelephoneNumber);
    EXPECT_EQ("", Read({"TEL;TYPE=PAGER:7"}).GetCard().contact.homeTelephoneNumber);
}

TEST(VCardContactReader, KindsThatAreNotAPerson)
{
    EXPECT_TRUE(Read({"FN:x"}).IsIndividual());
    EXPECT_TRUE(Read({"KIND:Individual"}).IsIndividual());
    EXPECT_FALSE(Read({"KIND:group"}).IsIndividual());
    EXPECT_FALSE(Read({"KIND:ORG"}).IsIndividual());
    EXPECT_FALSE(Read({"KIND:location"}).IsIndividual());
    EXPECT_FALSE(Read({"KIND:application"}).IsIndividual());
    EXPECT_FALSE(Read({"X-ADDRESSBOOKSERVER-KIND:Group"}).IsIndividual());
    EXPECT_TRUE(Read({"X-ADDRESSBOOKSERVER-KIND:individual"}).IsIndividual());
}

TEST(VCardContactReader, FullNameSplitsAtTheLastBlankWithoutStrayTabs)
{
    const CVCard card = Read({"FN:Ann Marie\t \tLee"}).GetCard();
    EXPECT_EQ("Ann Marie", card.contact.firstName);
    EXPECT_EQ("Lee", card.contact.lastName);
    const CVCard single = Read({"FN:Prince"}).GetCard();
    EXPECT_EQ("", single.contact.firstName);
    EXPECT_EQ("Prince", single.contact.lastName);
}
