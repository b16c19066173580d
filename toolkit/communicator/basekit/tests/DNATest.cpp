#include <basekit/DNA.h>

#include <gtest/gtest.h>

TEST(DNA, StartsWithoutName)
{
    CDNA dna;
    EXPECT_EQ(dna.get_name(), nullptr);
}

TEST(DNA, ConstructorKeepsCopy)
{
    char name[] = "agent";
    CDNA dna(name);
    name[0] = 'X';
    EXPECT_STREQ(dna.get_name(), "agent");
}

TEST(DNA, NullNameConstructorGivesNoName)
{
    CDNA dna(nullptr);
    EXPECT_EQ(dna.get_name(), nullptr);
}

TEST(DNA, SetNameReplacesAndNullClears)
{
    CDNA dna("first");
    dna.set_name("second");
    EXPECT_STREQ(dna.get_name(), "second");
    dna.set_name(nullptr);
    EXPECT_EQ(dna.get_name(), nullptr);
    dna.set_name("");
    ASSERT_NE(dna.get_name(), nullptr);
    EXPECT_STREQ(dna.get_name(), "");
}

TEST(DNA, GetNameIsTheStoredTextNotACopy)
{
    CDNA dna("same");
    EXPECT_EQ(dna.get_name(), dna.get_name());
}

TEST(DNA, SetNameFromItsOwnText)
{
    CDNA dna("selfish");
    dna.set_name(dna.get_name());
    EXPECT_STREQ(dna.get_name(), "selfish");
    dna.set_name(dna.get_name() + 4);
    EXPECT_STREQ(dna.get_name(), "ish");
}
