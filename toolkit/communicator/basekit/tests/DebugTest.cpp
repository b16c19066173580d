#include <basekit/Debug.h>

#include <platform/testing/TempDir.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using ::testing::MatchesRegex;
using ::testing::StartsWith;

namespace {

const std::string kPrefix = "\\[[0-9]{5}\\] \\[[0-9]{2}:[ 0-9][0-9]:[0-9]{2}\\] ";

std::vector<std::string> read_lines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct tm make_tm(int year, int mon, int mday, int hour, int min, int sec, int wday)
{
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = mon;
    t.tm_mday = mday;
    t.tm_hour = hour;
    t.tm_min = min;
    t.tm_sec = sec;
    t.tm_wday = wday;
    return t;
}

void call_vdebug(CDebug& log, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    log.vdebug(fmt, args);
    va_end(args);
}

} // namespace

TEST(DebugTimeText, ShortAndLongForms)
{
    struct tm t = make_tm(2026, 11, 7, 9, 5, 7, 1);
    EXPECT_STREQ(CDebug::my_asctime_short(&t), "09: 5:07");
    EXPECT_STREQ(CDebug::my_asctime(&t), "Mon-Dec- 7-09_ 5_07-2026");
    t.tm_hour = 14;
    t.tm_min = 30;
    EXPECT_STREQ(CDebug::my_asctime_short(&t), "14:30:07");
}

TEST(DebugTimeText, OutOfRangeAndNullAreSafe)
{
    struct tm t = make_tm(2026, 40, 7, 9, 5, 7, -3);
    EXPECT_STREQ(CDebug::my_asctime(&t), "\?\?\?-\?\?\?- 7-09_ 5_07-2026");
    t.tm_year = 2147483647;
    EXPECT_STREQ(CDebug::my_asctime(&t), "\?\?\?-\?\?\?- 7-09_ 5_07-2147485547");
    t.tm_hour = -2147483647 - 1;
    EXPECT_STREQ(CDebug::my_asctime_short(&t), "-2147483648: 5:07");
    EXPECT_STREQ(CDebug::my_asctime_short(nullptr), "");
    EXPECT_STREQ(CDebug::my_asctime(nullptr), "");
}

TEST(DebugFile, WithoutFileOutputIsDropped)
{
    CDebug log;
    EXPECT_EQ(log.get_file(), nullptr);
    log.dprintf("nothing %d", 1);
    log.dprintf("nothing %d", 2);
    log.close();
    EXPECT_EQ(log.get_file_pointer(), nullptr);
}

TEST(DebugFile, CreateReportsWhetherOpen)
{
    testsupport::CTempDir dir;
    CDebug log;
    std::string bad = dir.File("missing/log.txt");
    EXPECT_EQ(log.Create(bad.c_str()), 0);
    EXPECT_STREQ(log.get_file(), bad.c_str());
    EXPECT_EQ(log.get_file_pointer(), nullptr);
    std::string good = dir.File("log.txt");
    EXPECT_EQ(log.Create(good.c_str()), 1);
    EXPECT_STREQ(log.get_file(), good.c_str());
    EXPECT_NE(log.get_file_pointer(), nullptr);
}

TEST(DebugFile, NullNameOrStreamChangesNothing)
{
    testsupport::CTempDir dir;
    std::string path = dir.File("log.txt");
    CDebug log;
    log.set_file(path.c_str());
    FILE* before = log.get_file_pointer();
    log.set_file(static_cast<const char*>(nullptr));
    log.set_file(static_cast<FILE*>(nullptr));
    EXPECT_EQ(log.get_file_pointer(), before);
    EXPECT_STREQ(log.get_file(), path.c_str());
}

TEST(DebugFile, SetFileTruncatesAndSwitchingClosesOld)
{
    testsupport::CTempDir dir;
    std::string first = dir.File("a.txt");
    std::string second = dir.File("b.txt");
    std::ofstream(first) << "old content\n";
    CDebug log;
    log.set_file(first.c_str());
    log.debug("one");
    log.set_file(second.c_str());
    log.debug("two");
    log.close();
    auto a = read_lines(first);
    auto b = read_lines(second);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_THAT(a[0], MatchesRegex(kPrefix + "one"));
    EXPECT_THAT(b[0], MatchesRegex("\\[00001\\] .*two"));
}

TEST(DebugLines, PrefixCounterAndText)
{
    testsupport::CTempDir dir;
    std::string path = dir.File("log.txt");
    CDebug log;
    ASSERT_EQ(log.Create(path.c_str()), 1);
    log.dprintf("<CTest> value %d and %s", 42, "text");
    log.dprintf("second");
    log.debug("");
    call_vdebug(log, nullptr);
    log.close();
    auto lines = read_lines(path);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_THAT(lines[0], MatchesRegex(kPrefix + "<CTest> value 42 and text"));
    EXPECT_THAT(lines[0], StartsWith("[00000] ["));
    EXPECT_THAT(lines[1], StartsWith("[00001] ["));
    EXPECT_THAT(lines[1], MatchesRegex(kPrefix + "second"));
    EXPECT_THAT(lines[2], MatchesRegex(kPrefix));
    EXPECT_THAT(lines[3], MatchesRegex(kPrefix));
}

TEST(DebugLines, VeryLongLineIsWrittenWhole)
{
    testsupport::CTempDir dir;
    std::string path = dir.File("log.txt");
    CDebug log;
    ASSERT_EQ(log.Create(path.c_str()), 1);
    std::string big(100000, 'x');
    log.dprintf("%s|%s", big.c_str(), big.c_str());
    log.close();
    auto lines = read_lines(path);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], MatchesRegex(kPrefix + "x+\\|x+"));
    EXPECT_EQ(lines[0].size(), std::string("[00000] [00:00:00] ").size() + 200001);
}

TEST(DebugLines, AdoptedStreamIsUsedAndLeftOpen)
{
    testsupport::CTempDir dir;
    std::string path = dir.File("adopted.txt");
    FILE* stream = fopen(path.c_str(), "w");
    ASSERT_NE(stream, nullptr);
    {
        CDebug log;
        log.set_file(stream);
        EXPECT_EQ(log.get_file_pointer(), stream);
        log.dprintf("through %s", "adopted");
    }
    EXPECT_GE(fputs("after\n", stream), 0);
    fclose(stream);
    auto lines = read_lines(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], MatchesRegex(kPrefix + "through adopted"));
    EXPECT_EQ(lines[1], "after");
}

TEST(DebugLines, DerivedClassForwardsToVdebug)
{
    class CTagged : public CDebug {
    public:
        void dprintf(const char* fmt, ...) override __attribute__((format(printf, 2, 3)))
        {
            va_list args;
            va_start(args, fmt);
            vdebug(fmt, args);
            va_end(args);
            ++calls;
        }
        int calls = 0;
    };
    testsupport::CTempDir dir;
    std::string path = dir.File("log.txt");
    CTagged log;
    ASSERT_EQ(log.Create(path.c_str()), 1);
    static_cast<CDebug&>(log).debug("via base 100%");
    log.close();
    EXPECT_EQ(log.calls, 1);
    auto lines = read_lines(path);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], MatchesRegex(kPrefix + "via base 100%"));
}

namespace {

std::string read_all(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every test leaves the process-wide deferring off, whatever it asserted.
class DebugDeferred : public ::testing::Test {
protected:
    void SetUp() override { CDebug::set_deferred(true); }
    void TearDown() override { CDebug::set_deferred(false); }

    testsupport::CTempDir dir;
};

} // namespace

TEST_F(DebugDeferred, LinesWaitUntilDeferringEndsAndArriveInOrder)
{
    std::string path = dir.File("log.txt");
    CDebug log;
    ASSERT_EQ(log.Create(path.c_str()), 1);
    EXPECT_TRUE(CDebug::is_deferred());
    for (int i = 0; i < 50; ++i)
        log.dprintf("line %d", i);
    EXPECT_EQ(read_all(path), "");
    CDebug::set_deferred(false);
    auto lines = read_lines(path);
    ASSERT_EQ(lines.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        char expected[32];
        snprintf(expected, sizeof expected, "[%.5d] ", i);
        EXPECT_THAT(lines[static_cast<size_t>(i)], StartsWith(expected));
        EXPECT_THAT(lines[static_cast<size_t>(i)], MatchesRegex(kPrefix + "line " + std::to_string(i)));
    }
    log.debug("now");
    EXPECT_EQ(read_lines(path).size(), 51u);
}

TEST_F(DebugDeferred, FlushAllAndFlushWriteOutWithoutEndingDeferring)
{
    std::string first = dir.File("a.txt");
    std::string second = dir.File("b.txt");
    CDebug a;
    CDebug b;
    a.set_file(first.c_str());
    b.set_file(second.c_str());
    a.debug("to a");
    b.debug("to b");
    a.flush();
    EXPECT_EQ(read_lines(first).size(), 1u);
    EXPECT_EQ(read_all(second), "");
    CDebug::flush_all();
    EXPECT_EQ(read_lines(second).size(), 1u);
    EXPECT_TRUE(CDebug::is_deferred());
    a.debug("again");
    EXPECT_EQ(read_lines(first).size(), 1u);
}

TEST_F(DebugDeferred, AFullBufferGoesOutInWholeLines)
{
    std::string path = dir.File("log.txt");
    CDebug log;
    ASSERT_EQ(log.Create(path.c_str()), 1);
    const std::string text(1000, 'y');
    size_t lines_written = 0;
    size_t bytes_written = 0;
    while (bytes_written <= 3 * CDebug::kBufferBytes) {
        log.debug(text.c_str());
        ++lines_written;
        bytes_written += std::string("[00000] [00:00:00] ").size() + text.size() + 1;
    }
    const std::string seen = read_all(path);
    ASSERT_FALSE(seen.empty());
    EXPECT_LT(seen.size(), bytes_written);
    EXPECT_GE(seen.size(), bytes_written - CDebug::kBufferBytes);
    EXPECT_EQ(seen.back(), '\n');
    const size_t line_size = std::string("[00000] [00:00:00] ").size() + text.size();
    for (const std::string& line : read_lines(path)) {
        ASSERT_EQ(line.size(), line_size);
        EXPECT_EQ(line.substr(line_size - text.size()), text);
    }
    log.close();
    EXPECT_EQ(read_lines(path).size(), lines_written);
}

TEST_F(DebugDeferred, ALineLargerThanTheBufferFollowsTheEarlierOnesWhole)
{
    std::string path = dir.File("log.txt");
    CDebug log;
    ASSERT_EQ(log.Create(path.c_str()), 1);
    log.debug("before");
    const std::string big(CDebug::kBufferBytes * 2, 'z');
    log.debug(big.c_str());
    auto lines = read_lines(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_THAT(lines[0], MatchesRegex(kPrefix + "before"));
    EXPECT_EQ(lines[1].size(), std::string("[00001] [00:00:00] ").size() + big.size());
    log.debug("after");
    EXPECT_EQ(read_lines(path).size(), 2u);
}

TEST_F(DebugDeferred, ClosingOrChangingTheFileWritesItOut)
{
    std::string first = dir.File("a.txt");
    std::string second = dir.File("b.txt");
    std::string third = dir.File("c.txt");
    CDebug log;
    log.set_file(first.c_str());
    log.debug("one");
    log.set_file(second.c_str());
    EXPECT_EQ(read_lines(first).size(), 1u);
    log.debug("two");
    log.close();
    EXPECT_EQ(read_lines(second).size(), 1u);
    {
        CDebug scoped;
        scoped.set_file(third.c_str());
        scoped.debug("three");
    }
    EXPECT_EQ(read_lines(third).size(), 1u);
}

// An adopted stream onto the same file (the lookup modules get one) goes
// through the owning log's buffer, so the two logs keep their order; once
// the owner has closed, it is written directly again.
TEST_F(DebugDeferred, AnAdoptedStreamOntoALogsFileSharesItsBuffer)
{
    std::string path = dir.File("log.txt");
    CDebug owner;
    ASSERT_EQ(owner.Create(path.c_str()), 1);
    FILE* shared = fdopen(dup(fileno(owner.get_file_pointer())), "a");
    ASSERT_NE(shared, nullptr);
    CDebug follower;
    follower.set_file(shared);
    owner.debug("first");
    follower.debug("second");
    owner.debug("third");
    EXPECT_EQ(read_all(path), "");
    owner.close();
    follower.debug("fourth");
    auto lines = read_lines(path);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_THAT(lines[0], MatchesRegex(kPrefix + "first"));
    EXPECT_THAT(lines[1], MatchesRegex(kPrefix + "second"));
    EXPECT_THAT(lines[2], MatchesRegex(kPrefix + "third"));
    EXPECT_THAT(lines[3], MatchesRegex(kPrefix + "fourth"));
    follower.close();
}

// A stream of the caller's onto another file is written at once, after
// every deferred line of the logs.
TEST_F(DebugDeferred, AnUnrelatedAdoptedStreamIsWrittenAtOnceAfterTheLogs)
{
    std::string log_path = dir.File("log.txt");
    std::string other_path = dir.File("other.txt");
    CDebug owner;
    ASSERT_EQ(owner.Create(log_path.c_str()), 1);
    FILE* other = fopen(other_path.c_str(), "w");
    ASSERT_NE(other, nullptr);
    CDebug adopter;
    adopter.set_file(other);
    owner.debug("deferred");
    EXPECT_EQ(read_all(log_path), "");
    adopter.debug("direct");
    EXPECT_EQ(read_lines(other_path).size(), 1u);
    EXPECT_EQ(read_lines(log_path).size(), 1u);
    adopter.close();
}

TEST_F(DebugDeferred, AnotherObjectOnTheSameStreamSharesItsBuffer)
{
    std::string path = dir.File("log.txt");
    CDebug owner;
    ASSERT_EQ(owner.Create(path.c_str()), 1);
    CDebug borrower;
    borrower.set_file(owner.get_file_pointer());
    owner.debug("first");
    borrower.debug("second");
    owner.debug("third");
    EXPECT_EQ(read_all(path), "");
    CDebug::set_deferred(false);
    auto lines = read_lines(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(lines[1], MatchesRegex(kPrefix + "second"));
    EXPECT_THAT(lines[2], MatchesRegex(kPrefix + "third"));
}

// The child inherits no pending line, so nothing is written twice, and its
// own lines reach the file when it exits normally.
TEST_F(DebugDeferred, AForkedChildThatExitsLeavesEveryLineOnce)
{
    std::string path = dir.File("log.txt");
    CDebug log;
    ASSERT_EQ(log.Create(path.c_str()), 1);
    log.debug("parent before");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0; i < 100; ++i)
            log.dprintf("child %d", i);
        std::exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    log.debug("parent after");
    log.close();
    auto lines = read_lines(path);
    ASSERT_EQ(lines.size(), 102u);
    EXPECT_THAT(lines[0], MatchesRegex(kPrefix + "parent before"));
    for (int i = 0; i < 100; ++i)
        EXPECT_THAT(lines[static_cast<size_t>(i + 1)], MatchesRegex(kPrefix + "child " + std::to_string(i)));
    EXPECT_THAT(lines[101], MatchesRegex(kPrefix + "parent after"));
}

TEST_F(DebugDeferred, OutsideDeferringEveryLineIsInTheFileAtOnce)
{
    CDebug::set_deferred(false);
    std::string path = dir.File("log.txt");
    CDebug log;
    ASSERT_EQ(log.Create(path.c_str()), 1);
    log.debug("one");
    EXPECT_EQ(read_lines(path).size(), 1u);
    log.debug("two");
    EXPECT_EQ(read_lines(path).size(), 2u);
}
