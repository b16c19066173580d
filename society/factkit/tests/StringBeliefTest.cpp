#include <factkit/StringBelief.h>

#include <gtest/gtest.h>

TEST(StringBeliefValue, NamedAndEmptyByDefault)
{
    CStringBelief belief("hostname");
    EXPECT_STREQ(belief.get_name(), "hostname");
    EXPECT_EQ(belief.get_value(), nullptr);
}

TEST(StringBeliefValue, StoresACopy)
{
    char text[] = "-unknown-";
    CStringBelief belief("ans", text);
    text[0] = 'X';
    EXPECT_STREQ(belief.get_value(), "-unknown-");
    EXPECT_NE(belief.get_value(), text);
}

TEST(StringBeliefValue, ReplacesAndClears)
{
    CStringBelief belief("name", "Win32Agent");
    belief.set_value("Bob_x.org-CalendarAgent");
    EXPECT_STREQ(belief.get_value(), "Bob_x.org-CalendarAgent");
    belief.set_value(belief.get_value());
    EXPECT_STREQ(belief.get_value(), "Bob_x.org-CalendarAgent");
    belief.set_value(nullptr);
    EXPECT_EQ(belief.get_value(), nullptr);
    belief.set_value("");
    ASSERT_NE(belief.get_value(), nullptr);
    EXPECT_STREQ(belief.get_value(), "");
}
