#include <ansd/NamePattern.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

struct Case {
    const char* pattern;
    const char* name;
    bool matches;
};

} // namespace

TEST(NamePattern, GlobRules)
{
    const Case cases[] = {
        {"alice", "alice", true},
        {"alice", "alice2", false},
        {"*", "", true},
        {"*", "anything", true},
        {"a*", "alice", true},
        {"*-CalendarAgent", "bob_x.org-CalendarAgent", true},
        {"*-CalendarAgent", "bob-Other", false},
        {"a*e", "alice", true},
        {"a*e", "alic", false},
        {"*a*b*c*", "xaybzc", true},
        {"*a*b*c*", "xaycb", false},
        {"?", "a", true},
        {"?", "", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"[ab]x", "bx", true},
        {"[ab]x", "cx", false},
        {"[a-c]", "b", true},
        {"[a-c]", "d", false},
        {"[!a-c]", "d", true},
        {"[^a-c]", "a", false},
        {"[]]", "]", true},
        {"[!]]", "]", false},
        {"[a-]", "-", true},
        {"a[", "a[", true},
        {"a[b", "ab", false},
        {"\\*", "*", true},
        {"\\*", "a", false},
        {"a\\", "a\\", true},
        {"**", "ab", true},
        {"", "", true},
        {"", "a", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CNamePattern::Matches(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
}

TEST(NamePattern, PathologicalPatternStaysFast)
{
    // Exponential for a naive backtracking matcher.
    std::string pattern;
    for (int i = 0; i < 100; ++i)
        pattern += "*a";
    pattern += "b";
    const std::string name(255, 'a');
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i)
        EXPECT_FALSE(CNamePattern::Matches(pattern, name));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}
