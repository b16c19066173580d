#include <agentkit/PidFile.h>

#include "AgentTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using agenttest::CTempHome;
using agenttest::ReadFile;

namespace {

struct tm SampleTime()
{
    struct tm t {};
    t.tm_mday = 7;
    t.tm_mon = 11;
    t.tm_year = 126;
    t.tm_hour = 9;
    t.tm_min = 49;
    t.tm_sec = 22;
    return t;
}

} // namespace

TEST(PidFileTest, WritesTheStartTimeUnderSystemPidMakingDirectories)
{
    CTempHome home;
    CPidFile pid;
    ASSERT_EQ(pid.write(home.path.c_str(), "Bob-CalendarAgent", SampleTime()), CPidFile::CREATED);
    const std::string path = home.file("system/pid/Bob-CalendarAgent.txt");
    EXPECT_EQ(pid.get_path(), path);
    EXPECT_EQ(ReadFile(path), ":date (tell :day 7 :month 12 :year 2026 :hour 9 :minute 49 :second 22)");

    EXPECT_EQ(pid.remove(), 1);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(pid.get_path().empty());
    EXPECT_EQ(pid.remove(), 0);
}

TEST(PidFileTest, RefusesNamesThatLeaveTheDirectoryAndMissingHomes)
{
    CTempHome home;
    CPidFile pid;
    for (const char* name : {"", ".", "..", "../escape", "a/b"})
        EXPECT_EQ(pid.write(home.path.c_str(), name, SampleTime()), CPidFile::BAD_NAME) << name;
    EXPECT_EQ(pid.write(home.path.c_str(), nullptr, SampleTime()), CPidFile::BAD_NAME);
    EXPECT_EQ(pid.write(nullptr, "Bob", SampleTime()), CPidFile::NO_HOME);
    EXPECT_EQ(pid.write("", "Bob", SampleTime()), CPidFile::NO_HOME);
    EXPECT_FALSE(std::filesystem::exists(home.file("escape.txt")));
    EXPECT_FALSE(std::filesystem::exists(home.file("system")));
    EXPECT_TRUE(CPidFile::usable_name("..hidden"));
}

TEST(PidFileTest, AHomeThatIsAFileFailsToOpenAndNothingIsRemovedLater)
{
    CTempHome home;
    const std::string blocker = home.file("not-a-dir");
    {
        std::ofstream(blocker) << "x";
    }
    CPidFile pid;
    EXPECT_EQ(pid.write(blocker.c_str(), "Bob", SampleTime()), CPidFile::OPEN_FAILED);
    EXPECT_TRUE(pid.get_path().empty());
    EXPECT_EQ(pid.remove(), 0);
    EXPECT_EQ(ReadFile(blocker), "x");
}

TEST(PidFileTest, OnlyTheFileItWroteIsRemoved)
{
    CTempHome home;
    CPidFile first;
    CPidFile second;
    ASSERT_EQ(first.write(home.path.c_str(), "Bob", SampleTime()), CPidFile::CREATED);
    EXPECT_EQ(second.remove(), 0);
    EXPECT_TRUE(std::filesystem::exists(first.get_path()));
}
