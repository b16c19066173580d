#include <basekit/LList.h>
#include <basekit/TreeList.h>
#include <basekit/Utils.h>

#include <platform/testing/TempDir.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Trim = char* (*)(char*);

std::string trimmed(Trim trim, const char* text)
{
    std::vector<char> buffer(text, text + std::strlen(text) + 1);
    char* result = trim(buffer.data());
    return result ? result : "<null>";
}

std::string take(char* text)
{
    std::string copy = text ? text : "<null>";
    free(text);
    return copy;
}

std::vector<std::string> names_of(CLList* list)
{
    std::vector<std::string> names;
    if (!list)
        return names;
    for (CListElement* e = list->get_element(0); e; e = e->get_next())
        names.push_back(e->get_name() ? e->get_name() : "<null>");
    return names;
}

void touch(const std::string& path)
{
    std::ofstream(path) << "x";
}

void make_dir(const std::string& path)
{
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0) << path;
}

} // namespace

struct TrimCase {
    Trim trim;
    const char* text;
    const char* expected;
};

TEST(UtilsTrim, Examples)
{
    const TrimCase cases[] = {
        {CUtils::remove_parenthesis, "(tell :a (x))", "tell :a (x)"},
        {CUtils::remove_parenthesis, "abc)", "abc"},
        {CUtils::remove_parenthesis, "(abc", "abc"},
        {CUtils::remove_parenthesis, "(a) (b)", "a) (b"},
        {CUtils::remove_brackets, "  (x)  ", "x"},
        {CUtils::remove_brackets, "((x))", "(x)"},
        // The two ends are found independently of each other.
        {CUtils::remove_brackets, ")abc(", ""},
        {CUtils::remove_brackets, "a)b(c", "c"},
        {CUtils::remove_brackets, "()", ""},
        {CUtils::remove_angle_brackets, "<a<b>>", "a<b>"},
        {CUtils::remove_square_brackets, "[1,2]", "1,2"},
        {CUtils::remove_curly_brackets, "{GUID}", "GUID"},
        {CUtils::remove_curly_brackets, "(keep)", "(keep)"},
        {CUtils::remove_quotes, "\"quoted\"", "quoted"},
        {CUtils::remove_quotes, "closing\"", "closing"},
        {CUtils::remove_quotes, "\"opening", "opening"},
        {CUtils::remove_quotes, "\"\"", ""},
        {CUtils::remove_quotes, "\"a\"b\"", "a\"b"},
        {CUtils::remove_spaces, "   a b ", "a b "},
        {CUtils::remove_spaces, "\t a", "\t a"},
    };
    for (const TrimCase& c : cases)
        EXPECT_EQ(trimmed(c.trim, c.text), c.expected) << c.text;
}

TEST(UtilsTrim, EmptyNullAndOneCharacter)
{
    for (Trim trim : {CUtils::remove_parenthesis, CUtils::remove_brackets, CUtils::remove_angle_brackets,
                      CUtils::remove_square_brackets, CUtils::remove_curly_brackets, CUtils::remove_quotes,
                      CUtils::remove_spaces}) {
        EXPECT_EQ(trim(nullptr), nullptr);
        char empty[] = "";
        EXPECT_EQ(trim(empty), empty);
        EXPECT_EQ(trimmed(trim, "x"), "x");
    }
    const TrimCase cases[] = {
        {CUtils::remove_brackets, "(", ""},       {CUtils::remove_brackets, ")", ""},
        {CUtils::remove_angle_brackets, "<", ""}, {CUtils::remove_square_brackets, "]", ""},
        {CUtils::remove_curly_brackets, "{", ""}, {CUtils::remove_quotes, "\"", ""},
        {CUtils::remove_spaces, " ", ""},
    };
    for (const TrimCase& c : cases)
        EXPECT_EQ(trimmed(c.trim, c.text), c.expected) << c.text;
}

TEST(UtilsTrim, WorksInPlace)
{
    char text[] = "(a b)";
    EXPECT_EQ(CUtils::remove_parenthesis(text), text + 1);
    EXPECT_EQ(text[4], '\0');
    char quoted[] = "\"q\"";
    EXPECT_EQ(CUtils::remove_quotes(quoted), quoted + 1);
    EXPECT_EQ(quoted[2], '\0');
}

TEST(UtilsTrim, IsEmptySpace)
{
    EXPECT_EQ(CUtils::is_empty_space(nullptr), 1);
    EXPECT_EQ(CUtils::is_empty_space(""), 1);
    EXPECT_EQ(CUtils::is_empty_space(" "), 1);
    EXPECT_EQ(CUtils::is_empty_space("    "), 1);
    EXPECT_EQ(CUtils::is_empty_space("x"), 0);
    EXPECT_EQ(CUtils::is_empty_space("  x "), 0);
    EXPECT_EQ(CUtils::is_empty_space("\t"), 0);
}

TEST(UtilsFormat, LongTextsWholeAndNullEmpty)
{
    const std::string word(5000, 'x');
    EXPECT_EQ(CUtils::format("%s-%d", word.c_str(), 42), word + "-42");
    EXPECT_EQ(CUtils::format("%s", ""), "");
    EXPECT_EQ(CUtils::format(nullptr), "");
}

TEST(UtilsReplaceChars, CleanAndUnix2dos)
{
    char text[] = "a\nb\rc\x04"
                  "d\te";
    CUtils::clean(text);
    EXPECT_STREQ(text, "a b c d\te");
    char dos[] = "line\r\nnext\r";
    CUtils::unix2dos(dos);
    EXPECT_STREQ(dos, "line \nnext ");
    CUtils::clean(nullptr);
    CUtils::unix2dos(nullptr);
    char empty[] = "";
    CUtils::clean(empty);
    CUtils::unix2dos(empty);
    EXPECT_STREQ(empty, "");
    char one[] = "\r";
    CUtils::clean(one);
    EXPECT_STREQ(one, " ");
}

TEST(UtilsReplaceChars, Formatted)
{
    char text[] = "a b  c";
    EXPECT_EQ(CUtils::to_formatted(text), text);
    EXPECT_STREQ(text, "a_b__c");
    EXPECT_EQ(CUtils::from_formatted(text), text);
    EXPECT_STREQ(text, "a b  c");
    EXPECT_EQ(CUtils::to_formatted(nullptr), nullptr);
    EXPECT_EQ(CUtils::from_formatted(nullptr), nullptr);
    char one[] = "_";
    EXPECT_STREQ(CUtils::from_formatted(one), " ");
    char empty[] = "";
    EXPECT_STREQ(CUtils::to_formatted(empty), "");
}

TEST(UtilsReplaceKeyword, ReplacesAndCutsText)
{
    char text[] = "Dear <name>, welcome.";
    EXPECT_EQ(take(CUtils::replace_keyword(text, "name", "Ann")), "Dear Ann, welcome.");
    EXPECT_STREQ(text, "Dear ");
}

TEST(UtilsReplaceKeyword, FirstOccurrenceOnly)
{
    char text[] = "<k>-<k>";
    EXPECT_EQ(take(CUtils::replace_keyword(text, "k", "v")), "v-<k>");
    EXPECT_STREQ(text, "");
}

TEST(UtilsReplaceKeyword, AbsentKeyLeavesTextAlone)
{
    char text[] = "no key here name";
    EXPECT_EQ(CUtils::replace_keyword(text, "name", "x"), nullptr);
    EXPECT_STREQ(text, "no key here name");
    EXPECT_EQ(CUtils::replace_keyword(nullptr, "name", "x"), nullptr);
    EXPECT_EQ(CUtils::replace_keyword(text, nullptr, "x"), nullptr);
    char empty[] = "";
    EXPECT_EQ(CUtils::replace_keyword(empty, "k", "v"), nullptr);
}

TEST(UtilsReplaceKeyword, NullValueAndEmptyKey)
{
    char text[] = "a<k>b";
    EXPECT_EQ(take(CUtils::replace_keyword(text, "k", nullptr)), "ab");
    char brackets[] = "x<>y";
    EXPECT_EQ(take(CUtils::replace_keyword(brackets, "", "-")), "x-y");
}

TEST(UtilsTokenize, WorksOnCopy)
{
    CLList list;
    const char* text = "a,,b,";
    CUtils::tokenize(text, ',', &list);
    EXPECT_EQ(names_of(&list), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_STREQ(text, "a,,b,");
    CUtils::tokenize(",a", ',', &list);
    EXPECT_EQ(names_of(&list), (std::vector<std::string>{"a", "", "b", "", "a"}));
}

TEST(UtilsTokenize, NullTextOrList)
{
    CLList list;
    CUtils::tokenize(nullptr, ',', &list);
    CUtils::tokenize("a,b", ',', nullptr);
    EXPECT_EQ(list.get_nr_elements(), 0);
}

TEST(UtilsTokenator, JoinsNamedElements)
{
    CLList list;
    CUtils::tokenize("x,y,z", ',', &list);
    list.add_element(new CListElement());
    EXPECT_EQ(take(CUtils::tokenator(';', &list)), "x;y;z");
    CLList one;
    one.add_element(new CListElement("solo"));
    EXPECT_EQ(take(CUtils::tokenator(',', &one)), "solo");
}

TEST(UtilsTokenator, EmptyAndNull)
{
    EXPECT_EQ(CUtils::tokenator(',', nullptr), nullptr);
    CLList empty;
    EXPECT_EQ(take(CUtils::tokenator(',', &empty)), "");
    CLList unnamed;
    unnamed.add_element(new CListElement());
    EXPECT_EQ(take(CUtils::tokenator(',', &unnamed)), "");
    CLList blank;
    blank.add_element(new CListElement(""));
    blank.add_element(new CListElement(""));
    EXPECT_EQ(take(CUtils::tokenator(',', &blank)), ",");
}

TEST(UtilsTokenator, LeavesCursorAlone)
{
    CLList list;
    CUtils::tokenize("a,b", ',', &list);
    list.get_first_element();
    free(CUtils::tokenator(',', &list));
    CUtils::cllist_uppr(&list);
    EXPECT_STREQ(list.get_next_element()->get_name(), "B");
}

TEST(UtilsUpper, UpperCasesNames)
{
    CLList list;
    CUtils::tokenize("abc,MiXed,1-x", ',', &list);
    list.add_element(new CListElement());
    list.add_element(new CListElement("\xe9t\xe9"));
    CUtils::cllist_uppr(&list);
    EXPECT_EQ(names_of(&list), (std::vector<std::string>{"ABC", "MIXED", "1-X", "<null>", "\xe9T\xe9"}));
    CUtils::cllist_uppr(nullptr);
}

TEST(UtilsEnvironment, HomeFromVariable)
{
    const char* saved = std::getenv("ORVANTE");
    std::string keep = saved ? saved : "";
    setenv("ORVANTE", "/opt/toolkit", 1);
    EXPECT_STREQ(CUtils::get_home(), "/opt/toolkit");
    unsetenv("ORVANTE");
    EXPECT_EQ(CUtils::get_home(), nullptr);
    if (saved)
        setenv("ORVANTE", keep.c_str(), 1);
}

TEST(UtilsEnvironment, CurrentDirectory)
{
    testsupport::CTempDir dir;
    testsupport::CScopedChdir inside(dir.Path());
    CUtils utils;
    char* pwd = utils.get_pwd();
    ASSERT_NE(pwd, nullptr);
    EXPECT_EQ(std::filesystem::path(pwd), std::filesystem::canonical(dir.Path()));
}

TEST(UtilsEnvironment, LongCurrentDirectory)
{
    testsupport::CTempDir dir;
    std::string deep = dir.Path();
    for (int i = 0; i < 20; ++i) {
        deep += "/" + std::string(40, 'd');
        make_dir(deep);
    }
    testsupport::CScopedChdir inside(deep);
    CUtils utils;
    char* pwd = utils.get_pwd();
    ASSERT_NE(pwd, nullptr);
    EXPECT_GT(std::strlen(pwd), 800u);
    EXPECT_EQ(std::filesystem::path(pwd), std::filesystem::canonical(deep));
}

TEST(UtilsReplyWith, PrefixAndFreshEachCall)
{
    CUtils utils;
    std::string first = utils.create_reply_with();
    std::string second = utils.create_reply_with();
    EXPECT_THAT(first, ::testing::MatchesRegex(
                           "Win32M\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}"));
    EXPECT_NE(first, second);
}

class UtilsListing : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(dir.Path().empty());
        make_dir(dir.File("beta"));
        make_dir(dir.File("alpha"));
        make_dir(dir.File("alpha/inner"));
        touch(dir.File("b.txt"));
        touch(dir.File("a.txt"));
        touch(dir.File("notes"));
        touch(dir.File("alpha/deep.txt"));
    }

    testsupport::CTempDir dir;
};

TEST_F(UtilsListing, DirListGivesSubdirectories)
{
    CLList* list = CUtils::dir_list(dir.Path().c_str());
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"alpha", "beta"}));
    delete list;
    list = CUtils::dir_list((dir.Path() + "/").c_str());
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"alpha", "beta"}));
    delete list;
}

TEST_F(UtilsListing, DirListNothingMatches)
{
    EXPECT_EQ(CUtils::dir_list(dir.File("beta").c_str()), nullptr);
    EXPECT_EQ(CUtils::dir_list(dir.File("missing").c_str()), nullptr);
    EXPECT_EQ(CUtils::dir_list(dir.File("a.txt").c_str()), nullptr);
    EXPECT_EQ(CUtils::dir_list(nullptr), nullptr);
}

TEST_F(UtilsListing, FileListMatchesPattern)
{
    CLList* list = CUtils::file_list(dir.Path().c_str(), "*.txt");
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"a.txt", "b.txt"}));
    delete list;
    list = CUtils::file_list((dir.Path() + "/").c_str(), "*.*");
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"a.txt", "b.txt", "notes"}));
    delete list;
    list = CUtils::file_list(dir.Path().c_str(), "n?tes");
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"notes"}));
    delete list;
}

TEST_F(UtilsListing, FileListPatternWithDirectoryPart)
{
    CLList* list = CUtils::file_list(dir.Path().c_str(), "alpha/*.txt");
    EXPECT_EQ(names_of(list), (std::vector<std::string>{"deep.txt"}));
    delete list;
}

TEST_F(UtilsListing, FileListNothingMatches)
{
    EXPECT_EQ(CUtils::file_list(dir.Path().c_str(), "*.doc"), nullptr);
    EXPECT_EQ(CUtils::file_list(dir.Path().c_str(), "alpha"), nullptr);
    EXPECT_EQ(CUtils::file_list(dir.File("beta").c_str(), "*.*"), nullptr);
    EXPECT_EQ(CUtils::file_list(dir.File("missing").c_str(), "*.*"), nullptr);
    EXPECT_EQ(CUtils::file_list(nullptr, "*.*"), nullptr);
    EXPECT_EQ(CUtils::file_list(dir.Path().c_str(), nullptr), nullptr);
}

TEST(UtilsStart, MissingProgramGivesNotFoundText)
{
    testsupport::CTempDir dir;
    CUtils utils;
    EXPECT_STREQ(utils.start_executable(dir.File("no-such-program").c_str()),
                 "Command interpreter cannot be found.");
    EXPECT_STREQ(utils.start_executable(nullptr), "Command interpreter cannot be found.");
}

TEST(UtilsStart, NotAnExecutableFormat)
{
    testsupport::CTempDir dir;
    std::string path = dir.File("garbage");
    {
        std::ofstream out(path, std::ios::binary);
        out << "\x01\x02\x03\x04 not a program";
    }
    ASSERT_EQ(chmod(path.c_str(), 0700), 0);
    CUtils utils;
    EXPECT_STREQ(utils.start_executable(path.c_str()),
                 "Command-interpreter file has invalid format and is not executable.");
}

TEST(UtilsStart, OtherFailuresAreNamed)
{
    testsupport::CTempDir dir;
    CUtils utils;
    EXPECT_THAT(utils.start_executable(dir.Path().c_str()),
                ::testing::StartsWith("Command cannot be started: "));
}

TEST(UtilsStart, StartsProgramWithoutWaiting)
{
    testsupport::CTempDir dir;
    std::string marker = dir.File("ran");
    std::string script = dir.File("run.sh");
    {
        std::ofstream out(script);
        out << "#!/bin/sh\necho \"$0\" > '" << marker << "'\n";
    }
    ASSERT_EQ(chmod(script.c_str(), 0700), 0);
    CUtils utils;
    EXPECT_EQ(utils.start_executable(script.c_str()), nullptr);
    auto written = [&marker] {
        std::error_code error;
        return std::filesystem::file_size(marker, error) > 0 && !error;
    };
    for (int i = 0; i < 1000 && !written(); ++i)
        usleep(10000);
    std::ifstream in(marker);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, script);
}

TEST(UtilsDataList, DoesNothing)
{
    testsupport::CTempDir dir;
    CTreeList tree;
    CUtils::dump_data_list(dir.File("out.txt").c_str(), &tree);
    CUtils::dump_data_list(nullptr, nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.txt")));
}
