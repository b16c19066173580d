#include <basekit/Parameter.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const char* text(CParameter& p)
{
    return static_cast<const char*>(p.get_content());
}

} // namespace

TEST(ParameterContent, IsAnOwnedCopy)
{
    char value[] = "Bob";
    CParameter p("name");
    EXPECT_EQ(p.get_btype(), 9);
    EXPECT_EQ(p.get_content(), nullptr);
    p.set_content(value);
    value[0] = 'X';
    EXPECT_STREQ(text(p), "Bob");
    p.set_content(nullptr);
    EXPECT_STREQ(text(p), "Bob");
    p.set_content(p.get_content());
    EXPECT_STREQ(text(p), "Bob");
}

TEST(ParameterText, ToStringWritesNameAndContent)
{
    CParameter p("port");
    char value[] = "5000";
    p.set_content(value);
    EXPECT_STREQ(p.to_string(), ":port (5000)");
    CParameter unnamed;
    EXPECT_STREQ(unnamed.to_string(), ": ()");
}

TEST(ParameterText, FromStringRefusesTextItCannotRead)
{
    CParameter p("keep");
    char no_colon[] = "name value";
    char no_blank[] = "x:name";
    EXPECT_EQ(p.from_string(nullptr), 0);
    EXPECT_EQ(p.from_string(no_colon), 0);
    EXPECT_EQ(p.from_string(no_blank), 0);
    EXPECT_STREQ(p.get_name(), "keep");
}

TEST(ParameterText, FromStringCutsTheNameAtTheBlank)
{
    CParameter p;
    char source[] = "prefix:name Bob";
    EXPECT_EQ(p.from_string(source), 1);
    EXPECT_STREQ(p.get_name(), "name");
    EXPECT_STREQ(text(p), "Bob");
    EXPECT_EQ(source[11], '\0');
    char empty[] = ":name ()";
    EXPECT_EQ(p.from_string(empty), 1);
    EXPECT_EQ(p.get_content(), nullptr);
}

TEST(ParameterText, ReadsBackWhatToStringWrote)
{
    CParameter original("ans");
    char value[] = "10.0.0.5 (and more)";
    original.set_content(value);
    std::string written = original.to_string();
    CParameter copy;
    ASSERT_EQ(copy.from_string(written.data()), 1);
    EXPECT_STREQ(copy.get_name(), "ans");
    EXPECT_STREQ(text(copy), "10.0.0.5 (and more)");
}
