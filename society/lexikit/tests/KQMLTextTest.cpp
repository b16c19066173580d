#include <lexikit/KQMLText.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(KQMLTextAtoms, PlainAtomRules)
{
    EXPECT_TRUE(CKQMLText::is_plain_atom("tell"));
    EXPECT_TRUE(CKQMLText::is_plain_atom("Win32M{0123ABCD-4567-89EF-0123-456789ABCDEF}"));
    EXPECT_TRUE(CKQMLText::is_plain_atom("a:b"));
    EXPECT_TRUE(CKQMLText::is_plain_atom("back\\slash"));
    EXPECT_FALSE(CKQMLText::is_plain_atom(nullptr));
    EXPECT_FALSE(CKQMLText::is_plain_atom(""));
    EXPECT_FALSE(CKQMLText::is_plain_atom(":key"));
    EXPECT_FALSE(CKQMLText::is_plain_atom("two words"));
    EXPECT_FALSE(CKQMLText::is_plain_atom("tab\t"));
    EXPECT_FALSE(CKQMLText::is_plain_atom("(x"));
    EXPECT_FALSE(CKQMLText::is_plain_atom("x)"));
    EXPECT_TRUE(CKQMLText::is_plain_atom("12\""));
    EXPECT_FALSE(CKQMLText::is_plain_atom("\"a"));
    EXPECT_FALSE(CKQMLText::is_plain_atom("line\nfeed"));
}

TEST(KQMLTextQuoting, QuoteAndUnquoteAreInverse)
{
    EXPECT_EQ(CKQMLText::quote("plain"), "plain");
    EXPECT_EQ(CKQMLText::quote("a b"), "\"a b\"");
    EXPECT_EQ(CKQMLText::quote(""), "\"\"");
    EXPECT_EQ(CKQMLText::quote(nullptr), "\"\"");
    EXPECT_EQ(CKQMLText::quote("say \"x\\\""), "\"say \\\"x\\\\\\\"\"");
    for (const char* value : {"a b", "", "\"", "\\", "x\\ \"y\"", ":k", "(", "plain"})
        EXPECT_EQ(CKQMLText::unquote(CKQMLText::quote(value).c_str()), value) << value;
}

TEST(KQMLTextQuoting, UnquoteLeavesOtherTextAlone)
{
    EXPECT_EQ(CKQMLText::unquote(nullptr), "");
    EXPECT_EQ(CKQMLText::unquote("atom"), "atom");
    EXPECT_EQ(CKQMLText::unquote("(list)"), "(list)");
    EXPECT_EQ(CKQMLText::unquote("\""), "\"");
    EXPECT_EQ(CKQMLText::unquote("\"open"), "\"open");
    EXPECT_EQ(CKQMLText::unquote("\"a\" b\""), "\"a\" b\"");
    EXPECT_EQ(CKQMLText::unquote("\"esc\\\""), "\"esc\\\"");
}

TEST(KQMLTextScanning, StringListAndAtomEnds)
{
    const char* s = "\"a\\\"b\" rest";
    EXPECT_EQ(CKQMLText::skip_string(s, std::strlen(s), 0), 6u);
    const char* open = "\"never";
    EXPECT_EQ(CKQMLText::skip_string(open, std::strlen(open), 0), std::strlen(open) + 1);
    const char* trailing = "\"x\\";
    EXPECT_EQ(CKQMLText::skip_string(trailing, std::strlen(trailing), 0), std::strlen(trailing) + 1);

    const char* l = "(a (b \")\") c) d";
    EXPECT_EQ(CKQMLText::skip_list(l, std::strlen(l), 0), 13u);
    const char* quote_in_word = "(12\" x) y";
    EXPECT_EQ(CKQMLText::skip_list(quote_in_word, std::strlen(quote_in_word), 0), 7u);
    const char* unclosed = "((a)";
    EXPECT_EQ(CKQMLText::skip_list(unclosed, std::strlen(unclosed), 0), std::strlen(unclosed) + 1);

    const char* a = "word(next";
    EXPECT_EQ(CKQMLText::skip_atom(a, std::strlen(a), 0), 4u);
    EXPECT_EQ(CKQMLText::skip_atom(a, std::strlen(a), 4), 4u);
}

TEST(KQMLTextScanning, Whitespace)
{
    for (char c : {' ', '\t', '\r', '\n', '\v', '\f'})
        EXPECT_TRUE(CKQMLText::is_space(c));
    EXPECT_FALSE(CKQMLText::is_space('\x04'));
    EXPECT_FALSE(CKQMLText::is_space('a'));
    EXPECT_TRUE(CKQMLText::is_delimiter('('));
    EXPECT_TRUE(CKQMLText::is_delimiter(')'));
    EXPECT_FALSE(CKQMLText::is_delimiter('"'));
}

// The scanners take whole blocks of bytes at a time; an end that falls at any
// offset in or across a block must be found at the same place.
TEST(KQMLTextScanning, EndsAtEveryOffsetOfLongText)
{
    for (std::size_t length = 0; length < 70; ++length) {
        for (char end : {' ', '\t', '\n', '\v', '\f', '\r', '(', ')'}) {
            const std::string atom = "a" + std::string(length, 'x') + end + "tail";
            EXPECT_EQ(CKQMLText::skip_atom(atom.c_str(), atom.size(), 0), length + 1)
                << length << " " << static_cast<int>(end);
        }
        const std::string plain = std::string(length, '!') + "\"#'&";
        EXPECT_EQ(CKQMLText::skip_atom(plain.c_str(), plain.size(), 0), plain.size());

        const std::string quoted = "\"" + std::string(length, 'y') + "\\\"\\\\\" z";
        EXPECT_EQ(CKQMLText::skip_string(quoted.c_str(), quoted.size(), 0), length + 6);
        const std::string escaped_end = "\"" + std::string(length, 'y') + "\\";
        EXPECT_EQ(CKQMLText::skip_string(escaped_end.c_str(), escaped_end.size(), 0), escaped_end.size() + 1);

        const std::string list = "(a " + std::string(length, 'p') + " \"b (c\" (\"d)\")) e";
        EXPECT_EQ(CKQMLText::skip_list(list.c_str(), list.size(), 0), list.size() - 2);
    }
}

TEST(KQMLTextScanning, BytesAboveSevenBitsAreAtomBytes)
{
    const std::string atom = std::string(20, '\xe9') + "\xa0\x85\xff" + std::string(20, '\x80') + " ";
    EXPECT_EQ(CKQMLText::skip_atom(atom.c_str(), atom.size(), 0), atom.size() - 1);
}

TEST(KQMLTextScanning, QuotesAfterStringsAndInsideWords)
{
    const char* twice = "(\"a)\"\"b)\") x";
    EXPECT_EQ(CKQMLText::skip_list(twice, std::strlen(twice), 0), std::strlen(twice) - 2);
    const char* in_word = "(ab\"c) \"d)\" )";
    EXPECT_EQ(CKQMLText::skip_list(in_word, std::strlen(in_word), 0), 6u);
    EXPECT_EQ(CKQMLText::skip_spaces(" \t\r\n\v\fz", 7, 0), 6u);
    EXPECT_EQ(CKQMLText::skip_spaces("  ", 2, 0), 2u);
}
