#include <basekit/CommandLine.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Writable copies of the arguments, as main() gets them, parsed into `line`.
class Parsed {
public:
    Parsed(std::initializer_list<const char*> list) : store(list.begin(), list.end())
    {
        for (std::string& s : store)
            pointers.push_back(s.data());
        pointers.push_back(nullptr);
        line.parse_commandline(static_cast<int>(store.size()), pointers.data());
    }
    char** argv() { return pointers.data(); }

    std::vector<std::string> store;
    std::vector<char*> pointers;
    CCommandLine line;
};

} // namespace

TEST(CommandLineParse, OptionsTakeTheFollowingArgument)
{
    Parsed p{"-name", "Bob", "-port", "5000"};
    EXPECT_STREQ(p.line.get_name(), "command_line");
    EXPECT_EQ(p.line.get_nr_elements(), 2);
    EXPECT_STREQ(p.line.find_token("name"), "Bob");
    EXPECT_STREQ(p.line.find_token("-port"), "5000");
    EXPECT_EQ(p.line.get_argc(), 4);
    EXPECT_EQ(p.line.get_argv(), p.argv());
    p.argv()[1][0] = 'X';
    EXPECT_STREQ(p.line.find_token("name"), "Bob");
    EXPECT_STREQ(p.line.to_string(), "(list :name (Bob):port (5000))\n ");
}

TEST(CommandLineParse, AnOptionCanBeTheValueOfThePreviousOne)
{
    Parsed p{"-a", "-b"};
    EXPECT_EQ(p.line.get_nr_elements(), 2);
    EXPECT_STREQ(p.line.find_token("a"), "-b");
    ASSERT_NE(p.line.find_element("b"), nullptr);
    EXPECT_EQ(p.line.find_token("b"), nullptr);
}

TEST(CommandLineParse, LastOptionHasNoContent)
{
    Parsed p{"prog", "-x"};
    ASSERT_EQ(p.line.get_nr_elements(), 1);
    CListElement* x = p.line.find_element("x");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->get_btype(), 9);
    EXPECT_EQ(x->get_content(), nullptr);
    EXPECT_EQ(p.line.find_token("-x"), nullptr);
    EXPECT_EQ(p.line.find_token("x"), nullptr);
}

TEST(CommandLineParse, ReparsingAndBadVectors)
{
    Parsed p{"-name", "Bob", "-port", "5000"};
    Parsed other{"-ans", "host"};
    p.line.parse_commandline(2, other.argv());
    EXPECT_EQ(p.line.get_nr_elements(), 1);
    EXPECT_EQ(p.line.find_token("name"), nullptr);
    EXPECT_STREQ(p.line.find_token("ans"), "host");
    p.line.parse_commandline(3, nullptr);
    EXPECT_EQ(p.line.get_nr_elements(), 0);
    p.line.parse_commandline(-1, other.argv());
    EXPECT_EQ(p.line.get_nr_elements(), 0);
    char* with_hole[] = {nullptr, const_cast<char*>("-z"), nullptr};
    p.line.parse_commandline(2, with_hole);
    EXPECT_EQ(p.line.get_nr_elements(), 1);
    EXPECT_EQ(p.line.find_token("z"), nullptr);
}

TEST(CommandLineFindToken, DropsOnlyOneDashAndMatchesExactly)
{
    Parsed p{"--verbose", "yes", "-Name", "Bob", "-port", "1", "-port", "2"};
    EXPECT_STREQ(p.line.find_token("--verbose"), "yes");
    EXPECT_EQ(p.line.find_token("-verbose"), nullptr);
    EXPECT_EQ(p.line.find_token("name"), nullptr);
    EXPECT_STREQ(p.line.find_token("port"), "1");
    EXPECT_EQ(p.line.find_token(nullptr), nullptr);
}

TEST(CommandLineFindToken, IgnoresElementsThatAreNotParameters)
{
    CCommandLine line;
    int marker = 0;
    auto* plain = new CListElement("name");
    plain->set_content(&marker);
    line.add_element(plain);
    EXPECT_EQ(line.find_token("name"), nullptr);
}
