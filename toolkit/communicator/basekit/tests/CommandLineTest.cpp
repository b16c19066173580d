#include <basekit/CommandLine.h>

#include <basekit/Parameter.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Holds writable copies of the arguments, as main() would get them.
class Args {
public:
    Args(std::initializer_list<const char*> list) {
        for (const char* a : list) store.emplace_back(a);
        for (std::string& s : store) pointers.push_back(s.data());
        pointers.push_back(nullptr);
    }
    int argc() { return static_cast<int>(store.size()); }
    char** argv() { return pointers.data(); }

private:
    std::vector<std::string> store;
    std::vector<char*> pointers;
};

}  // namespace

TEST(CommandLineParse, NamedAfterItsRole) {
    CCommandLine line;
    EXPECT_STREQ(line.get_name(), "command_line");
}

TEST(CommandLineParse, OptionsTakeTheFollowingArgument) {
    Args args{"-name", "Bob", "-port", "5000"};
    CCommandLine line;
    line.parse_commandline(args.argc(), args.argv());
    EXPECT_EQ(line.get_nr_elements(), 2);
    EXPECT_STREQ(line.find_token("name"), "Bob");
    EXPECT_STREQ(line.find_token("port"), "5000");
    EXPECT_EQ(line.get_argc(), 4);
    EXPECT_EQ(line.get_argv(), args.argv());
}

TEST(CommandLineParse, AnOptionCanBeTheValueOfThePreviousOne) {
    Args args{"-a", "-b"};
    CCommandLine line;
    line.parse_commandline(args.argc(), args.argv());
    EXPECT_EQ(line.get_nr_elements(), 2);
    EXPECT_STREQ(line.find_token("a"), "-b");
    ASSERT_NE(line.find_element("b"), nullptr);
    EXPECT_EQ(line.find_token("b"), nullptr);
}

TEST(CommandLineParse, LastOptionHasNoContent) {
    Args args{"prog", "-x"};
    CCommandLine line;
    line.parse_commandline(args.argc(), args.argv());
    ASSERT_EQ(line.get_nr_elements(), 1);
    CListElement* x = line.find_element("x");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->get_btype(), 9);
    EXPECT_EQ(x->get_content(), nullptr);
    EXPECT_EQ(line.find_token("-x"), nullptr);
    EXPECT_EQ(line.find_token("x"), nullptr);
}

TEST(CommandLineParse, ValuesAreCopies) {
    Args args{"-name", "Bob"};
    CCommandLine line;
    line.parse_commandline(args.argc(), args.argv());
    args.argv()[1][0] = 'X';
    EXPECT_STREQ(line.find_token("name"), "Bob");
}

TEST(CommandLineParse, ReparsingReplacesEveryEntry) {
    Args first{"-name", "Bob", "-port", "5000"};
    Args second{"-ans", "host"};
    CCommandLine line;
    line.parse_commandline(first.argc(), first.argv());
    line.parse_commandline(second.argc(), second.argv());
    EXPECT_EQ(line.get_nr_elements(), 1);
    EXPECT_EQ(line.find_token("name"), nullptr);
    EXPECT_STREQ(line.find_token("ans"), "host");
}

TEST(CommandLineParse, BadVectorsGiveAnEmptyList) {
    CCommandLine line;
    line.parse_commandline(3, nullptr);
    EXPECT_EQ(line.get_nr_elements(), 0);
    Args args{"-a", "b"};
    line.parse_commandline(-1, args.argv());
    EXPECT_EQ(line.get_nr_elements(), 0);
    char* with_hole[] = {nullptr, const_cast<char*>("-z"), nullptr};
    line.parse_commandline(2, with_hole);
    EXPECT_EQ(line.get_nr_elements(), 1);
    EXPECT_EQ(line.find_token("z"), nullptr);
}

TEST(CommandLineFindToken, DropsOnlyOneDashAndMatchesExactly) {
    Args args{"--verbose", "yes", "-Name", "Bob"};
    CCommandLine line;
    line.parse_commandline(args.argc(), args.argv());
    ASSERT_NE(line.find_element("-verbose"), nullptr);
    EXPECT_STREQ(line.find_token("--verbose"), "yes");
    EXPECT_EQ(line.find_token("-verbose"), nullptr);
    EXPECT_EQ(line.find_token("verbose"), nullptr);
    EXPECT_EQ(line.find_token("name"), nullptr);
    EXPECT_EQ(line.find_token(nullptr), nullptr);
}

TEST(CommandLineFindToken, FirstOfTwoEqualOptionsWins) {
    Args args{"-port", "1", "-port", "2"};
    CCommandLine line;
    line.parse_commandline(args.argc(), args.argv());
    EXPECT_STREQ(line.find_token("port"), "1");
}

TEST(CommandLineFindToken, IgnoresElementsThatAreNotParameters) {
    CCommandLine line;
    int marker = 0;
    auto* plain = new CListElement("name");
    plain->set_content(&marker);
    line.add_element(plain);
    EXPECT_EQ(line.find_token("name"), nullptr);
}

TEST(CommandLineToString, PrintsTheParameters) {
    Args args{"-port", "5000"};
    CCommandLine line;
    line.parse_commandline(args.argc(), args.argv());
    EXPECT_STREQ(line.to_string(), "(list :port (5000))\n ");
}
