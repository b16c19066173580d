#include <basekit/Parameter.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

char* text(CParameter& p) {
    return static_cast<char*>(p.get_content());
}

}  // namespace

TEST(ParameterContent, IsACopyOfTheGivenText) {
    char value[] = "Bob";
    CParameter p("name");
    p.set_content(value);
    value[0] = 'X';
    ASSERT_NE(text(p), nullptr);
    EXPECT_STREQ(text(p), "Bob");
    EXPECT_NE(text(p), value);
}

TEST(ParameterContent, NullKeepsTheCurrentValue) {
    CParameter p("name");
    EXPECT_EQ(p.get_content(), nullptr);
    char value[] = "5000";
    p.set_content(value);
    p.set_content(nullptr);
    EXPECT_STREQ(text(p), "5000");
}

TEST(ParameterContent, CanBeReplacedByItsOwnText) {
    CParameter p("name");
    char value[] = "Bob";
    p.set_content(value);
    p.set_content(p.get_content());
    EXPECT_STREQ(text(p), "Bob");
}

TEST(ParameterType, CodeIsNine) {
    CParameter p;
    EXPECT_EQ(p.get_btype(), 9);
}

TEST(ParameterToString, NameAndContent) {
    CParameter p("port");
    char value[] = "5000";
    p.set_content(value);
    EXPECT_STREQ(p.to_string(), ":port (5000)");
}

TEST(ParameterToString, MissingPartsAreEmpty) {
    CParameter unnamed;
    EXPECT_STREQ(unnamed.to_string(), ": ()");
    CParameter no_value("x");
    EXPECT_STREQ(no_value.to_string(), ":x ()");
}

TEST(ParameterFromString, RefusesTextItCannotRead) {
    CParameter p("keep");
    EXPECT_EQ(p.from_string(nullptr), 0);
    char no_colon[] = "name value";
    EXPECT_EQ(p.from_string(no_colon), 0);
    char no_blank[] = "x:name";
    EXPECT_EQ(p.from_string(no_blank), 0);
    EXPECT_STREQ(p.get_name(), "keep");
}

TEST(ParameterFromString, NameEndsAtTheBlankWhichBecomesNul) {
    CParameter p;
    char source[] = ":port (5000)";
    EXPECT_EQ(p.from_string(source), 1);
    EXPECT_STREQ(p.get_name(), "port");
    EXPECT_STREQ(text(p), "5000");
    EXPECT_EQ(source[5], '\0');
}

TEST(ParameterFromString, ReadsBackWhatToStringWrote) {
    CParameter original("ans");
    char value[] = "10.0.0.5 and more";
    original.set_content(value);
    std::string written = original.to_string();
    CParameter copy;
    ASSERT_EQ(copy.from_string(written.data()), 1);
    EXPECT_STREQ(copy.get_name(), "ans");
    EXPECT_STREQ(text(copy), "10.0.0.5 and more");
}

TEST(ParameterFromString, EmptyValueLeavesNoContent) {
    CParameter p("x");
    char value[] = "old";
    p.set_content(value);
    char source[] = ":x ()";
    EXPECT_EQ(p.from_string(source), 1);
    EXPECT_EQ(p.get_content(), nullptr);
}

TEST(ParameterFromString, UnbracketedValueIsTakenAsIs) {
    CParameter p;
    char source[] = "prefix:name Bob";
    EXPECT_EQ(p.from_string(source), 1);
    EXPECT_STREQ(p.get_name(), "name");
    EXPECT_STREQ(text(p), "Bob");
}
