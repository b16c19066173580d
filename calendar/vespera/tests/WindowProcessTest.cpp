// The program with its window, under an X server and notification area of
// the test's own: the window and the tray icon appear (also when the panel
// starts after the agent), a second start is refused, and closing the
// window ends the agent in order. A picture of the
// screen is kept in the test's output folder.

#include "AgentSociety.h"
#include "DesktopSession.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using vesperaprocess::CAgentSociety;
using vesperaprocess::CDesktopSession;

constexpr const char* AnnName = "ann_example.org-CalendarAgent";
constexpr const char* Title = "ORVANTE Semantic Web Calendar Agent";

std::string TodayAt(int hour)
{
    char text[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(text, sizeof text, "%Y%m%d", std::localtime(&now));
    return std::string(text) + "T" + (hour < 10 ? "0" : "") + std::to_string(hour) + "0000";
}

std::string OneEventToday()
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\nUID:review-1\r\n"
           "DTSTAMP:20261201T000000Z\r\nDTSTART:" +
           TodayAt(10) + "\r\nDTEND:" + TodayAt(11) +
           "\r\nSUMMARY:Design review\r\nLOCATION:Room 4\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

bool ReadUntil(testsupport::CChildProcess& process, const std::string& prefix, std::string& line)
{
    while (process.ReadLine(line)) {
        if (line.rfind(prefix, 0) == 0)
            return true;
    }
    return false;
}

TEST(WindowProcessTest, WindowAndTrayIconAppearASecondStartIsRefusedAndClosingEndsInOrder)
{
    const std::string missing = CDesktopSession::MissingTools();
    if (!missing.empty())
        GTEST_SKIP() << "the window test needs " << missing << " (scripts/test installs them)";
    // The libraries under Qt keep caches for the life of the process.
    setenv("LSAN_OPTIONS", (std::string("suppressions=") + QT_LSAN_SUPPRESSIONS).c_str(), 1);
    const std::filesystem::path output = std::filesystem::path(WINDOW_TEST_OUTPUT);
    std::filesystem::create_directories(output);

    CAgentSociety society;
    ASSERT_TRUE(society.StartNameServer()) << society.Failure();
    ASSERT_TRUE(
        society.PrepareHome({AnnName, "ann", {{"ANSRegistered", "true"}, {"MeetingSchedulingType", "1"}}, {}},
                            {OneEventToday(), ""}))
        << society.Failure();
    const std::filesystem::path home = society.HomeOf("ann");
    CDesktopSession desktop;
    ASSERT_TRUE(desktop.Start(output.string())) << desktop.Failure() << "; see " << output;
    const std::string display = " -display " + desktop.Display();

    testsupport::CChildProcess agent;
    ASSERT_TRUE(agent.Start(VESPERA_BINARY, {}, (home / "vespera.err").string()));
    std::string line;
    ASSERT_TRUE(ReadUntil(agent, "registered ", line)) << agent.Errors();
    EXPECT_EQ(line.rfind(std::string("registered ") + AnnName, 0), 0u) << line;
    ASSERT_TRUE(agent.ReadLine(line)) << agent.Errors();
    EXPECT_EQ(line, "tray icon shown");
    ASSERT_TRUE(ReadUntil(agent, "ready ", line)) << agent.Errors();

    const std::string findWindow =
        "xwininfo -root -tree" + display + " | grep -c '\"" + std::string(Title) + "\"'";
    EXPECT_TRUE(CDesktopSession::WaitFor([&] { return CDesktopSession::Output(findWindow) == "1\n"; }));
    // The icon is docked: its window lives inside the tray's panel, also
    // after the panel restarts.
    const std::string dockedIcon =
        "xwininfo -name panel -tree" + display + " | grep -c '\"vespera\": (\"vespera\"'";
    EXPECT_TRUE(CDesktopSession::WaitFor([&] { return CDesktopSession::Output(dockedIcon) == "1\n"; }));
    ASSERT_TRUE(desktop.RestartTray()) << desktop.Failure();
    EXPECT_TRUE(CDesktopSession::WaitFor([&] { return CDesktopSession::Output(dockedIcon) == "1\n"; }))
        << CDesktopSession::Output("xwininfo -name panel -tree" + display);

    const std::string picture = (output / "main-window.png").string();
    EXPECT_EQ(CDesktopSession::Run(std::string(SCREEN_GRAB_BINARY) + " " + picture), 0);
    EXPECT_TRUE(std::filesystem::exists(picture));

    // A second start tells the user and ends once the box is answered.
    testsupport::CChildProcess second;
    ASSERT_TRUE(second.Start(VESPERA_BINARY, {}, (home / "second.err").string()));
    EXPECT_TRUE(CDesktopSession::WaitFor([&] {
        return second.Errors().find("An Instace of the Calendar Agent is Already Running") !=
               std::string::npos;
    })) << second.Errors();
    EXPECT_TRUE(CDesktopSession::AnswerBoxOf(second.Pid()));
    EXPECT_EQ(second.Wait(), 1) << second.Errors();
    EXPECT_EQ(CDesktopSession::Output(findWindow), "1\n") << "the first window stays";

    // Escape closes the main window, which ends the program in order: it
    // leaves the name server and removes its PID file.
    const std::filesystem::path pidFile = home / "system" / "pid" / "vespera.txt";
    EXPECT_TRUE(std::filesystem::exists(pidFile));
    // xdotool's own status is no measure: the window may be gone before it
    // has finished looking at it.
    CDesktopSession::Run("xdotool search --name '" + std::string(Title) +
                         "' windowfocus --sync key Escape >/dev/null 2>&1");
    EXPECT_EQ(agent.Wait(), 0) << agent.Errors();
    EXPECT_FALSE(std::filesystem::exists(pidFile));
}

TEST(WindowProcessTest, APanelThatStartsAfterTheAgentGetsItsIcon)
{
    const std::string missing = CDesktopSession::MissingTools();
    if (!missing.empty())
        GTEST_SKIP() << "the window test needs " << missing << " (scripts/test installs them)";
    setenv("LSAN_OPTIONS", (std::string("suppressions=") + QT_LSAN_SUPPRESSIONS).c_str(), 1);
    const std::filesystem::path output = std::filesystem::path(WINDOW_TEST_OUTPUT) / "late-panel";
    std::filesystem::create_directories(output);
    CAgentSociety society;
    ASSERT_TRUE(society.StartNameServer()) << society.Failure();
    ASSERT_TRUE(society.PrepareHome({AnnName, "ann", {{"ANSRegistered", "true"}}, {}}, {"", ""}))
        << society.Failure();
    CDesktopSession desktop;
    ASSERT_TRUE(desktop.Start(output.string(), false)) << desktop.Failure() << "; see " << output;

    testsupport::CChildProcess agent;
    ASSERT_TRUE(agent.Start(VESPERA_BINARY, {}, (society.HomeOf("ann") / "vespera.err").string()));
    std::string line;
    ASSERT_TRUE(ReadUntil(agent, "no notification area", line)) << agent.Errors();
    EXPECT_EQ(line, "no notification area yet: the window stands alone until a panel shows its icon");
    ASSERT_TRUE(desktop.StartTray()) << desktop.Failure();
    ASSERT_TRUE(ReadUntil(agent, "tray icon shown", line)) << agent.Errors();
    const std::string dockedIcon =
        "xwininfo -name panel -tree -display " + desktop.Display() + " | grep -c '\"vespera\": (\"vespera\"'";
    EXPECT_TRUE(CDesktopSession::WaitFor([&] { return CDesktopSession::Output(dockedIcon) == "1\n"; }));
    CDesktopSession::Run("xdotool search --name '" + std::string(Title) +
                         "' windowfocus --sync key Escape >/dev/null 2>&1");
    EXPECT_EQ(agent.Wait(), 0) << agent.Errors();
}

} // namespace
