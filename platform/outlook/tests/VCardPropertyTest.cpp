#include <outlook/VCardProperty.h>

#include <gtest/gtest.h>

using outlook::CVCardProperty;

TEST(VCardProperty, SplitsGroupNameParametersAndValue)
{
    CVCardProperty property;
    ASSERT_TRUE(property.Parse("item1.email;type=INTERNET,pref;X-NOTE=\"a;b:c\":ann@example.org"));
    EXPECT_EQ("EMAIL", property.GetName());
    EXPECT_EQ("ann@example.org", property.GetRawValue());
    EXPECT_TRUE(property.HasType("internet"));
    EXPECT_TRUE(property.HasType("PREF"));
    EXPECT_EQ("a;b:c", property.GetParameter("x-note"));
    EXPECT_EQ(1, property.GetPreference());
}

TEST(VCardProperty, TypeListsInEveryForm)
{
    CVCardProperty repeated;
    ASSERT_TRUE(repeated.Parse("TEL;TYPE=home;TYPE=voice:1"));
    EXPECT_TRUE(repeated.HasType("HOME"));
    EXPECT_TRUE(repeated.HasType("VOICE"));

    CVCardProperty quoted;
    ASSERT_TRUE(quoted.Parse("TEL;TYPE=\"cell,voice\";PREF=2:2"));
    EXPECT_TRUE(quoted.HasType("CELL"));
    EXPECT_EQ(2, quoted.GetPreference());

    CVCardProperty bare;
    ASSERT_TRUE(bare.Parse("TEL;CELL;VOICE:3"));
    EXPECT_TRUE(bare.HasType("cell"));
    EXPECT_EQ(101, bare.GetPreference());
}

TEST(VCardProperty, RefusesLinesWithoutNameOrValue)
{
    CVCardProperty property;
    EXPECT_FALSE(property.Parse("no colon here"));
    EXPECT_FALSE(property.Parse(":value without a name"));
    EXPECT_FALSE(property.Parse(""));
}

TEST(VCardProperty, TextUndoesEscapesAndLineEnds)
{
    CVCardProperty property;
    ASSERT_TRUE(property.Parse("NOTE:a\\, b\\; c\\\\d\\ne\\Nf\\x"));
    EXPECT_EQ("a, b; c\\d\ne\nf\\x", property.GetText());
}

TEST(VCardProperty, ComponentsSplitOnlyAtUnescapedSemicolons)
{
    CVCardProperty property;
    ASSERT_TRUE(property.Parse("N:O\\;Brien;Ann\\\\;;Dr."));
    const std::vector<std::string> parts = property.GetComponents();
    ASSERT_EQ(4u, parts.size());
    EXPECT_EQ("O;Brien", parts[0]);
    EXPECT_EQ("Ann\\", parts[1]);
    EXPECT_EQ("", parts[2]);
    EXPECT_EQ("Dr.", parts[3]);
}

TEST(VCardProperty, QuotedPrintableAndLatin1)
{
    CVCardProperty utf8;
    ASSERT_TRUE(utf8.Parse("N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;J=C3=B6rg"));
    ASSERT_EQ(2u, utf8.GetComponents().size());
    EXPECT_EQ("M\xC3\xBCller", utf8.GetComponents()[0]);
    EXPECT_EQ("J\xC3\xB6rg", utf8.GetComponents()[1]);

    CVCardProperty latin1;
    ASSERT_TRUE(latin1.Parse("FN;CHARSET=ISO-8859-1;QUOTED-PRINTABLE:J=F6rg=0D=0AX=zz="));
    EXPECT_EQ("J\xC3\xB6rg\nX=zz=", latin1.GetText());

    CVCardProperty nul;
    ASSERT_TRUE(nul.Parse("FN;ENCODING=QUOTED-PRINTABLE:a=00b"));
    EXPECT_EQ("ab", nul.GetText());
}

TEST(VCardProperty, PreferenceIsBounded)
{
    CVCardProperty big;
    ASSERT_TRUE(big.Parse("EMAIL;PREF=99999999999999999999:a@b"));
    EXPECT_EQ(100, big.GetPreference());
    CVCardProperty junk;
    ASSERT_TRUE(junk.Parse("EMAIL;PREF=x:a@b"));
    EXPECT_EQ(101, junk.GetPreference());
}

TEST(VCardProperty, HeaderAsksQuotedPrintable)
{
    EXPECT_TRUE(CVCardProperty::HeaderAsksQuotedPrintable("NOTE;ENCODING=quoted-printable:a="));
    EXPECT_FALSE(CVCardProperty::HeaderAsksQuotedPrintable("NOTE:QUOTED-PRINTABLE="));
}
