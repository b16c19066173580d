#include "RegTool.h"

#include <platform/Registry.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class RegToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vespera-reg-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ::setenv("ORVANTE_REGISTRY_DIR", dir.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("ORVANTE_REGISTRY_DIR");
        fs::remove_all(dir);
    }

    Outcome Run(const std::vector<std::string>& args) const
    {
        std::ostringstream out;
        std::ostringstream err;
        CRegTool tool(out, err);
        Outcome outcome;
        outcome.status = tool.Run(args);
        outcome.out = out.str();
        outcome.err = err.str();
        return outcome;
    }

    static std::string Slurp(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The real program, with its output caught in files.
    Outcome RunBinary(const std::vector<std::string>& args) const
    {
        std::vector<std::string> argv = {VESPERA_REG_BINARY};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> pointers;
        for (std::string& arg : argv)
            pointers.push_back(arg.data());
        pointers.push_back(nullptr);
        const std::string outPath = dir + "/stdout";
        const std::string errPath = dir + "/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t child = 0;
        Outcome outcome;
        int spawned = posix_spawn(&child, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            return outcome;
        int status = 0;
        if (::waitpid(child, &status, 0) == child && WIFEXITED(status))
            outcome.status = WEXITSTATUS(status);
        outcome.out = Slurp(outPath);
        outcome.err = Slurp(errPath);
        return outcome;
    }

    std::string dir;
};

const std::string Key = "Software\\ORVANTE\\CalendarAgent";

TEST_F(RegToolTest, ProgramSetsGetsListsAndDeletes)
{
    EXPECT_EQ(RunBinary({"set", Key, "Email", "jo@example.org"}).status, 0);
    EXPECT_EQ(RunBinary({"set", Key + "\\TConsts", "x", "1"}).status, 0);
    Outcome got = RunBinary({"get", Key, "email"});
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, "jo@example.org\n");

    Outcome listed = RunBinary({"list", Key});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, "Email=jo@example.org\n[TConsts]\n");

    EXPECT_EQ(RunBinary({"delete", Key, "Email"}).status, 0);
    Outcome missing = RunBinary({"get", Key, "Email"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("Email"), std::string::npos);
    EXPECT_EQ(RunBinary({"delete", Key, "Email"}).status, 1);
    EXPECT_EQ(RunBinary({"delete", "Software"}).status, 0);
    EXPECT_EQ(RunBinary({"list", Key}).status, 1);
}

TEST_F(RegToolTest, ProgramWritesConstraintsAndRenumbersOnRemove)
{
    Outcome added =
        RunBinary({"constraint", "add", "--start", "9:00", "--end", "12:00", "--days", "mon,fri"});
    EXPECT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "TimeConstraint0\n");
    EXPECT_EQ(RunBinary({"constraint", "add", "--absolute", "--start", "2026-12-24 12:00", "--end",
                         "2026-12-24 13:00", "--agent", "jo_example.org-CalendarAgent"})
                  .status,
              0);
    EXPECT_EQ(
        RunBinary({"constraint", "add", "--start", "17:00", "--end", "18:00", "--days", "weekend"}).status,
        0);

    EXPECT_EQ(RunBinary({"constraint", "remove", "0"}).status, 0);
    Outcome listed = RunBinary({"constraint", "list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, "TotalTimeConsts=2\n"
                          "[TimeConstraint0]\n"
                          "StartTime=12/24/2026 12:00:00 PM\n"
                          "EndTime=12/24/2026 1:00:00 PM\n"
                          "SlotType=Absolute\n"
                          "Days=0\n"
                          "ContactType=__CT_VALID__\n"
                          "ContactFName=\n"
                          "ContactLName=\n"
                          "ContactEmail=\n"
                          "ContactCalAgentName=jo_example.org-CalendarAgent\n"
                          "[TimeConstraint1]\n"
                          "StartTime=1/1/1000 5:00:00 PM\n"
                          "EndTime=1/1/1000 6:00:00 PM\n"
                          "SlotType=Relative\n"
                          "Days=65\n"
                          "ContactType=__CT_NULL__\n");
    EXPECT_EQ(RunBinary({"get", Key, "TotalTimeConsts"}).out, "2\n");
    EXPECT_EQ(RunBinary({"list", Key + "\\TConsts"}).out, "[TimeConstraint0]\n[TimeConstraint1]\n");
    EXPECT_EQ(RunBinary({"constraint", "remove", "2"}).status, 1);
}

TEST_F(RegToolTest, ProgramHelpAndUsageErrors)
{
    Outcome help = RunBinary({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: vespera-reg"), std::string::npos);
    EXPECT_EQ(RunBinary({}).status, 2);
    EXPECT_EQ(RunBinary({"frobnicate"}).status, 2);
    EXPECT_EQ(RunBinary({"get", Key}).status, 2);
    EXPECT_FALSE(fs::exists(dir + "/HKEY_CURRENT_USER.reg"));
}

TEST_F(RegToolTest, HiveOptionPicksTheFile)
{
    EXPECT_EQ(Run({"--hive", "HKCR", "set", "http\\shell\\open\\command", "@", "browser %1"}).status, 0);
    EXPECT_TRUE(fs::exists(dir + "/HKEY_CLASSES_ROOT.reg"));
    EXPECT_FALSE(fs::exists(dir + "/HKEY_CURRENT_USER.reg"));
    EXPECT_EQ(Run({"--hive", "HKCR", "get", "HTTP\\Shell\\Open\\Command", "@"}).out, "browser %1\n");
    EXPECT_EQ(Run({"--hive", "HKCR", "list", "http\\shell\\open\\command"}).out, "@=browser %1\n");
    EXPECT_EQ(Run({"get", "http\\shell\\open\\command", "@"}).status, 1);
    EXPECT_EQ(Run({"--hive", "HKLM", "list", ""}).status, 2);
    EXPECT_EQ(Run({"--hive"}).status, 2);
    EXPECT_EQ(Run({"--hive", "HKCR", "constraint", "list"}).status, 2);
}

TEST_F(RegToolTest, BadValuesAndArgumentsAreUsageErrors)
{
    EXPECT_EQ(Run({"set", Key, "A", "two\nlines"}).status, 2);
    EXPECT_EQ(Run({"set", Key, "A"}).status, 2);
    EXPECT_EQ(Run({"delete"}).status, 2);
    EXPECT_EQ(Run({"list"}).status, 2);
    EXPECT_EQ(Run({"--verbose", "list", Key}).status, 2);
    EXPECT_EQ(Run({"constraint"}).status, 2);
    EXPECT_EQ(Run({"constraint", "move"}).status, 2);
    EXPECT_EQ(Run({"constraint", "list", "extra"}).status, 2);
    EXPECT_EQ(Run({"constraint", "remove"}).status, 2);
    EXPECT_EQ(Run({"constraint", "remove", "-1"}).status, 2);
    EXPECT_EQ(Run({"constraint", "remove", "x"}).status, 2);
    EXPECT_EQ(Run({"constraint", "add", "--start", "9:00", "--end", "10:00"}).status, 2);
    EXPECT_EQ(Run({"constraint", "add", "--start", "9:00", "--end", "10:00", "--days", "0"}).status, 2);
    EXPECT_EQ(Run({"constraint", "add", "--start", "9:00", "--end", "10:00", "--days", "128"}).status, 2);
    EXPECT_EQ(Run({"constraint", "add", "--start", "9:00", "--end", "10:00", "--days", "mon,,fri"}).status,
              2);
    EXPECT_EQ(Run({"constraint", "add", "--start", "9:00", "--end", "10:00", "--days", "funday"}).status, 2);
    EXPECT_EQ(
        Run({"constraint", "add", "--absolute", "--start", "9:00", "--end", "10:00", "--days", "1"}).status,
        2);
    EXPECT_EQ(Run({"constraint", "add", "--start", "soon", "--end", "10:00", "--days", "1"}).status, 2);
    EXPECT_EQ(Run({"constraint", "add", "--start", "11:00", "--end", "10:00", "--days", "1"}).status, 2);
    EXPECT_EQ(Run({"constraint", "add", "--start", "9:00", "--end"}).status, 2);
    EXPECT_EQ(Run({"constraint", "add", "--colour", "red"}).status, 2);
    Outcome error = Run({"constraint", "add", "--start", "9:00", "--end", "10:00"});
    EXPECT_NE(error.err.find("--days"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir + "/HKEY_CURRENT_USER.reg"));
}

// Under the agent's settings key a value the agent would misread is
// refused before it is stored; --force stores it anyway.
TEST_F(RegToolTest, SettingsValuesAreCheckedByTheirKind)
{
    const struct {
        const char* name;
        const char* value;
        int status;
    } cases[] = {
        {"MorningBounds", "true", 0},
        {"morningbounds", "false", 0},
        {"MorningBounds", "yes", 2},
        {"MeetingSchedulingType", "2", 0},
        {"MeetingSchedulingType", "3", 2},
        {"MeetingSchedulingType", "one", 2},
        {"ScheduleRefreshHours", "1", 0},
        {"ScheduleRefreshHours", "0", 2},
        {"ScheduleRefreshHours", "8761", 2},
        {"ANSPort", "65535", 0},
        {"ANSPort", "0", 2},
        {"ANSPort", "70000", 2},
        {"ANSPort", "-1", 2},
        {"MorningTime", "7:30:00", 0},
        {"EveningTime", "6:00:00 PM", 0},
        {"EveningTime", "teatime", 2},
        {"TimeZone", "Australia/Lord_Howe", 0},
        {"TimeZone", "", 0},
        {"TimeZone", "Europe/Atlantis", 2},
        {"ScheduleServiceURL", "https://service.example.org/schedule.asmx", 0},
        {"ScheduleServiceURL", "file:///etc/passwd", 2},
        {"CalendarStore", "CalDAV", 0},
        {"CalendarStore", "exchange", 2},
        {"CalDAVURL", "https://dav.example.org/", 0},
        {"CalDAVPollSeconds", "0", 2},
        {"AgentName", "jo_example.org-CalendarAgent", 0},
        {"URL20", "http://example.org/s.rdf", 0},
        {"URL21", "x", 2},
        {"MeetingSchedulngType", "1", 2},
    };
    for (const auto& c : cases) {
        const Outcome outcome = Run({"set", Key, c.name, c.value});
        EXPECT_EQ(outcome.status, c.status) << c.name << "=" << c.value << ": " << outcome.err;
        if (c.status == 2) {
            EXPECT_NE(outcome.err.find("--force"), std::string::npos) << outcome.err;
        }
    }
    EXPECT_EQ(Run({"get", Key, "MeetingSchedulingType"}).out, "2\n");
    EXPECT_EQ(Run({"--force", "set", Key, "MeetingSchedulingType", "7"}).status, 0);
    EXPECT_EQ(Run({"get", Key, "MeetingSchedulingType"}).out, "7\n");
    EXPECT_EQ(Run({"set", Key, "AgentAlertString", "say \"hi\"\tnow"}).status, 0);
    EXPECT_EQ(Run({"--json", "get", Key, "AgentAlertString"}).out,
              "{\"key\":\"Software\\\\ORVANTE\\\\CalendarAgent\",\"name\":\"AgentAlertString\","
              "\"value\":\"say \\\"hi\\\"\\u0009now\"}\n");
    EXPECT_EQ(Run({"set", Key + "\\TConsts", "Anything", "x"}).status, 0);
    EXPECT_EQ(
        Run({"constraint", "add", "--start", "9:00", "--end", "10:00", "--days", "Monday,friday"}).status, 0);
}

TEST_F(RegToolTest, BrokenHiveIsAFailureWithTheReason)
{
    std::ofstream(dir + "/HKEY_CURRENT_USER.reg") << "Windows Registry Editor Version 5.00\nnonsense\n";
    Outcome outcome = Run({"set", Key, "Email", "b"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find("line 2"), std::string::npos) << outcome.err;
    EXPECT_EQ(Run({"constraint", "add", "--start", "9:00", "--end", "10:00", "--days", "1"}).status, 1);
    EXPECT_EQ(Slurp(dir + "/HKEY_CURRENT_USER.reg"), "Windows Registry Editor Version 5.00\nnonsense\n");
}

} // namespace
