// How the headless agent's process begins, runs and ends on its user's
// files: one instance per user, no end when the reader of its output goes,
// an orderly end on a hang-up, a crash report naming both logs when it dies
// of a fatal signal, and a calendar or contacts file it cannot read, which
// ends it at once and is left exactly as it was.

#include "AgentSociety.h"
#include "HeadlessRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace vesperaprocess;

namespace {

const char* const AnnName = "ann_example.org-CalendarAgent";

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The files under `directory` whose names start with `prefix`.
std::vector<std::filesystem::path> FilesStartingWith(const std::filesystem::path& directory,
                                                     const std::string& prefix)
{
    std::vector<std::filesystem::path> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory, error)) {
        if (entry.is_regular_file(error) && entry.path().filename().string().rfind(prefix, 0) == 0)
            found.push_back(entry.path());
    }
    return found;
}

class RunningAgentProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_society.StartNameServer()) << m_society.Failure(); }

    std::string AskForLunch()
    {
        return m_society.Tell(AnnName,
                              "tell :command request_appt :duration (60) :startTime (3/4/2031 10:00:00 AM)"
                              " :subject (Lunch) :email (cy@example.org) :fname (Cy) :lname (Ng)");
    }

    CAgentSociety m_society;
};

TEST_F(RunningAgentProcessTest, SecondStartOfTheSameUserEndsWithStatusOneWhileTheFirstRunsOn)
{
    SAgentProcess* ann = m_society.StartAgent({AnnName, "ann", {}, {}});
    ASSERT_NE(ann, nullptr) << m_society.Failure();

    CAgentSociety::UseHomeOf(*ann);
    testsupport::CChildProcess second;
    ASSERT_TRUE(second.Start(VESPERA_BINARY, {"--headless"}, (ann->home / "second.err").string()));
    EXPECT_EQ(second.Wait(), 1) << second.Errors();
    EXPECT_TRUE(second.lines.empty()) << second.lines.front();
    const std::string errors = second.Errors();
    EXPECT_NE(errors.find("Information: An Instace of the Calendar Agent is Already Running\n"),
              std::string::npos)
        << errors;
    // The running instance answered the second start's probe.
    EXPECT_EQ(errors.find("did not answer its probe"), std::string::npos) << errors;

    const std::string accepted =
        "tell :startTime (3/4/2031 10:00:00 AM) :duration (60) :status accept :timezone (UTC)";
    EXPECT_EQ(AskForLunch(), accepted) << ann->Log();

    // Once the first has ended, the user may start the agent again.
    ASSERT_TRUE(m_society.StopAgent(*ann)) << m_society.Failure();
    ASSERT_TRUE(m_society.RestartAgent(*ann)) << m_society.Failure();
    EXPECT_EQ(ann->Errors().find("Already Running"), std::string::npos) << ann->Errors();
    EXPECT_EQ(AskForLunch(), accepted) << ann->Log();
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(RunningAgentProcessTest, AgentWhoseErrorOutputReaderWentAwayRunsOnPastItsNextMessage)
{
    const char* const OrganiserName = "org_example.org-CalendarAgent";
    SAgentProcess* ann = m_society.StartAgent({AnnName, "ann", {{"MeetingSchedulingType", "0"}}, {}});
    ASSERT_NE(ann, nullptr) << m_society.Failure();
    ASSERT_TRUE(m_society.PrepareHome({OrganiserName, "organiser", {}, {}})) << m_society.Failure();
    CHeadlessRun organiser;
    ASSERT_TRUE(organiser.StartWithErrorPipe(VESPERA_BINARY));
    std::string line;
    ASSERT_TRUE(organiser.ReadLine(line));
    ASSERT_TRUE(organiser.ReadLine(line));
    ASSERT_EQ(line.rfind("ready ", 0), 0u) << line;
    organiser.CloseErrorPipe();

    // Ann declines, so the organiser shows its user the failure, which a
    // headless agent writes to its standard error, now gone.
    ASSERT_TRUE(m_society.TellOnly(OrganiserName,
                                   std::string("tell :command schedule_meeting :attendees (") + AnnName +
                                       ") :subject (Planning) :body (Plan) :start (3/4/2031 10:00:00 AM)"
                                       " :location (Room 4) :duration (60)"))
        << m_society.Failure();
    const SAgentProcess organiserLogs{OrganiserName, m_society.HomeOf("organiser"), nullptr};
    ASSERT_TRUE(CAgentSociety::WaitForLines({{&organiserLogs, "The meeting could not be scheduled.", 1}}))
        << organiserLogs.Log();

    EXPECT_EQ(m_society.Tell(OrganiserName,
                             "tell :command request_appt :duration (60) :startTime (3/4/2031 10:00:00"
                             " AM) :subject (Lunch) :email (cy@example.org) :fname (Cy) :lname (Ng)"),
              "tell :startTime (3/4/2031 10:00:00 AM) :duration (60) :status accept :timezone (UTC)");
    organiser.Signal(SIGTERM);
    const CHeadlessRun::SEnd end = organiser.Finish();
    EXPECT_TRUE(end.exited) << "died of signal " << end.signal;
    EXPECT_EQ(end.status, 0);
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// A name server that restarted without its state knows nobody; the agent
// registers again at its next alive step and is found again.
TEST_F(RunningAgentProcessTest, AgentRegistersAgainWithANameServerThatForgotIt)
{
    setenv("ORVANTE_ALIVE_PERIOD", "1", 1);
    SAgentProcess* ann = m_society.StartAgent({AnnName, "ann", {}, {}});
    unsetenv("ORVANTE_ALIVE_PERIOD");
    ASSERT_NE(ann, nullptr) << m_society.Failure();
    EXPECT_NE(ann->Log().find("[" + std::string(AnnName) + "] [++] Agent successfully registered with ANS"),
              std::string::npos);
    ASSERT_TRUE(m_society.RestartNameServer()) << m_society.Failure();

    const std::string accepted =
        "tell :startTime (3/4/2031 10:00:00 AM) :duration (60) :status accept :timezone (UTC)";
    const auto deadline = std::chrono::steady_clock::now() + Deadline;
    std::string answer = AskForLunch();
    while (answer != accepted && std::chrono::steady_clock::now() < deadline)
        answer = AskForLunch();
    EXPECT_EQ(answer, accepted) << ann->Log();
    // Only its own name: the container's name it had before registering
    // is not taken from the server.
    EXPECT_EQ(ann->Log().find("register vespera "), std::string::npos);
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(RunningAgentProcessTest, HangUpEndsTheAgentInOrder)
{
    ASSERT_TRUE(m_society.PrepareHome({AnnName, "ann", {}, {}})) << m_society.Failure();
    const std::filesystem::path home = m_society.HomeOf("ann");
    CHeadlessRun run;
    ASSERT_TRUE(run.Start(VESPERA_BINARY, (home / "vespera.err").string()));
    std::string line;
    ASSERT_TRUE(run.ReadLine(line)) << run.Errors();
    ASSERT_TRUE(run.ReadLine(line)) << run.Errors();
    ASSERT_EQ(line.rfind("ready ", 0), 0u) << line;
    const std::filesystem::path pidFile = home / "system" / "pid" / "vespera.txt";
    ASSERT_TRUE(std::filesystem::exists(pidFile));

    run.Signal(SIGHUP);
    const CHeadlessRun::SEnd end = run.Finish();
    EXPECT_TRUE(end.exited) << "died of signal " << end.signal;
    EXPECT_EQ(end.status, 0) << run.Errors();
    EXPECT_FALSE(std::filesystem::exists(pidFile));
}

// A fatal signal sent to a running agent from outside.
class CrashReportProcessTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        // The signal must reach the program's own handler, and no core file
        // is wanted from a crash made on purpose.
        const char* asan = std::getenv("ASAN_OPTIONS");
        m_savedAsan = asan ? asan : "";
        m_hadAsan = asan != nullptr;
        const std::string options =
            m_savedAsan + (m_savedAsan.empty() ? "" : ":") + "handle_segv=0:handle_abort=0";
        setenv("ASAN_OPTIONS", options.c_str(), 1);
        getrlimit(RLIMIT_CORE, &m_savedCore);
        rlimit none = m_savedCore;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_CORE, &none);
        ASSERT_TRUE(m_society.StartNameServer()) << m_society.Failure();
    }

    void TearDown() override
    {
        setrlimit(RLIMIT_CORE, &m_savedCore);
        if (m_hadAsan)
            setenv("ASAN_OPTIONS", m_savedAsan.c_str(), 1);
        else
            unsetenv("ASAN_OPTIONS");
    }

    CAgentSociety m_society;
    std::string m_savedAsan;
    bool m_hadAsan = false;
    rlimit m_savedCore{};
};

TEST_P(CrashReportProcessTest, ReportNamesBothLogsTheProcessDiesOfTheSignalAndTheUserCanStartAgain)
{
    const int signal = GetParam();
    ASSERT_TRUE(m_society.PrepareHome({AnnName, "ann", {}, {}})) << m_society.Failure();
    const std::filesystem::path home = m_society.HomeOf("ann");
    CHeadlessRun run;
    ASSERT_TRUE(run.Start(VESPERA_BINARY, (home / "vespera.err").string()));
    std::string line;
    ASSERT_TRUE(run.ReadLine(line)) << run.Errors();
    EXPECT_EQ(line.rfind("registered " + std::string(AnnName), 0), 0u) << line;
    ASSERT_TRUE(run.ReadLine(line)) << run.Errors();
    ASSERT_EQ(line.rfind("ready ", 0), 0u) << line;
    const pid_t pid = run.Pid();

    run.Signal(signal);
    const CHeadlessRun::SEnd end = run.Finish();
    ASSERT_TRUE(end.ended) << run.Errors();
    EXPECT_FALSE(end.exited) << "exited with " << end.status << "\n" << run.Errors();
    EXPECT_EQ(end.signal, signal) << run.Errors();

    const std::vector<std::filesystem::path> applicationLogs =
        FilesStartingWith(home / "Logfiles", "VespLog-");
    const std::vector<std::filesystem::path> agentLogs = FilesStartingWith(home / "Logfiles", "vespera-");
    ASSERT_EQ(applicationLogs.size(), 1u);
    ASSERT_EQ(agentLogs.size(), 1u);
    const std::vector<std::filesystem::path> reports =
        FilesStartingWith(home / "data" / "orvante" / "crash-reports", "crash-");
    ASSERT_EQ(reports.size(), 1u);
    const std::string report = ReadFile(reports[0]);
    EXPECT_NE(report.find(std::string("signal: ") + (signal == SIGSEGV ? "SIGSEGV" : "SIGABRT") + "\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("process: " + std::to_string(pid) + "\n"), std::string::npos) << report;
    EXPECT_NE(report.find("file: " + applicationLogs[0].string() +
                          "\ndescription: Application Log File\nfile: " + agentLogs[0].string() +
                          "\ndescription: Agent Log File\n"),
              std::string::npos)
        << report;

    // The dead instance's lock and probe socket do not keep the user from
    // starting the agent again.
    ASSERT_TRUE(m_society.PrepareHome({AnnName, "ann", {}, {}})) << m_society.Failure();
    CHeadlessRun again;
    ASSERT_TRUE(again.Start(VESPERA_BINARY, (home / "again.err").string()));
    ASSERT_TRUE(again.ReadLine(line)) << again.Errors();
    const std::string registered = line;
    ASSERT_TRUE(again.ReadLine(line)) << again.Errors();
    ASSERT_EQ(line.rfind("ready ", 0), 0u) << line;
    EXPECT_EQ(registered, "registered " + std::string(AnnName) + " at 127.0.0.1:" + line.substr(6))
        << again.Errors();
    EXPECT_EQ(again.Errors().find("Already Running"), std::string::npos) << again.Errors();
    // Its orderly end is another test's; this one only had to come up.
    again.Signal(SIGKILL);
    EXPECT_TRUE(again.Finish().ended);
}

INSTANTIATE_TEST_SUITE_P(FatalSignals, CrashReportProcessTest, ::testing::Values(SIGSEGV, SIGABRT),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == SIGSEGV ? "Segv" : "Abort");
                         });

// A calendar or contacts file the agent cannot read.
struct SBrokenFiles {
    const char* label;
    SAgentFiles files;
};

class UnreadableFilesProcessTest : public ::testing::TestWithParam<SBrokenFiles> {
protected:
    CAgentSociety m_society;
};

TEST_P(UnreadableFilesProcessTest, AgentSaysItHasNoCalendarProgramEndsWithZeroAndLeavesTheFilesAsTheyWere)
{
    const SAgentFiles& files = GetParam().files;
    ASSERT_TRUE(m_society.PrepareHome({AnnName, "ann", {}, {}}, files)) << m_society.Failure();
    const std::filesystem::path home = m_society.HomeOf("ann");
    CHeadlessRun run;
    ASSERT_TRUE(run.Start(VESPERA_BINARY, (home / "vespera.err").string()));
    std::string line;
    EXPECT_FALSE(run.ReadLine(line)) << line;
    const CHeadlessRun::SEnd end = run.Finish();
    ASSERT_TRUE(end.exited) << run.Errors();
    EXPECT_EQ(end.status, 0) << run.Errors();

    const std::string errors = run.Errors();
    EXPECT_NE(
        errors.find("Error: Failed to create an instance of Outlook. Outlook is either not present or not "
                    "configured properly.  The Agent will now shutdown.\n"),
        std::string::npos)
        << errors;
    const std::vector<std::filesystem::path> logs = FilesStartingWith(home / "Logfiles", "VespLog-");
    ASSERT_EQ(logs.size(), 1u);
    const std::string log = ReadFile(logs[0]);
    EXPECT_NE(log.find("CVSP:process_create::Outlook Instance Creation Failed. Exiting with code zero"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("New Run"), std::string::npos) << log;
    // Which file, and why.
    const std::string file = GetParam().files.contacts.empty() ? "calendar.ics: " : "contacts.vcf: ";
    EXPECT_NE(errors.find(file), std::string::npos) << errors;
    EXPECT_NE(log.find(file), std::string::npos) << log;
    EXPECT_EQ(ReadFile(home / "data" / "orvante" / "calendar.ics"), files.calendar);
    EXPECT_EQ(ReadFile(home / "data" / "orvante" / "contacts.vcf"), files.contacts);
}

const char* const EventStart =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example Desk//Desk Calendar 4.2//EN\r\n"
    "BEGIN:VEVENT\r\nUID:a1@desk.example.org\r\nDTSTAMP:20301211T083000Z\r\n";

INSTANTIATE_TEST_SUITE_P(
    BrokenFiles, UnreadableFilesProcessTest,
    ::testing::Values(
        SBrokenFiles{"CutOffInAnEvent", {std::string(EventStart) + "DTSTART:20310304T160000Z\r\nSUMM", ""}},
        SBrokenFiles{"UnreadableTime",
                     {std::string(EventStart) + "DTSTART:20310304T25xx00Z\r\nSUMMARY:Late\r\n"
                                                "END:VEVENT\r\nEND:VCALENDAR\r\n",
                      ""}},
        SBrokenFiles{"NulByte",
                     {std::string(EventStart) + "SUMMARY:Nul" + std::string(1, '\0') +
                          "here\r\nDTSTART:20310304T160000Z\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n",
                      ""}},
        SBrokenFiles{"NoCalendarAtAll", {"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Lee\r\nEND:VCARD\r\n", ""}},
        // Good calendar, contacts cut off in their only card.
        SBrokenFiles{"ContactsCutOff",
                     {std::string(EventStart) + "DTSTART:20310304T160000Z\r\nSUMMARY:Fine\r\n"
                                                "END:VEVENT\r\nEND:VCALENDAR\r\n",
                      "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Lee\r\nN:Lee;Ann"}}),
    [](const ::testing::TestParamInfo<SBrokenFiles>& info) { return std::string(info.param.label); });

} // namespace
