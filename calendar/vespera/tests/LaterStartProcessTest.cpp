// The program with its window under an X server and notification area of
// the test's own, started more than once: the window and the browser come
// back where the user left them, a later start brings the running window to
// the front or hands it the schedule it was given, and a start with the
// desktop session goes to the notification area.

#include "AgentSociety.h"
#include "DesktopSession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <sstream>

namespace {

using vesperaprocess::CAgentSociety;
using vesperaprocess::CDesktopSession;

constexpr const char* AnnName = "ann_example.org-CalendarAgent";
// Whole titles: xdotool takes a pattern, and both share "Semantic Web".
constexpr const char* MainWindow = "'^ORVANTE Semantic Web Calendar Agent$'";
constexpr const char* Browser = "'^Semantic Web Schedule Browser$'";

struct SGeometry {
    int x = -1;
    int y = -1;
    int width = -1;
    int height = -1;
    bool operator==(const SGeometry& other) const
    {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
};

std::ostream& operator<<(std::ostream& out, const SGeometry& g)
{
    return out << g.width << "x" << g.height << "+" << g.x << "+" << g.y;
}

class LaterStartProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string missing = CDesktopSession::MissingTools();
        if (!missing.empty())
            GTEST_SKIP() << "the window test needs " << missing << " (scripts/test installs them)";
        setenv("LSAN_OPTIONS", (std::string("suppressions=") + QT_LSAN_SUPPRESSIONS).c_str(), 1);
        output = std::filesystem::path(WINDOW_TEST_OUTPUT) /
                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::create_directories(output);
        ASSERT_TRUE(society.StartNameServer()) << society.Failure();
        ASSERT_TRUE(society.PrepareHome({AnnName, "ann", {{"ANSRegistered", "true"}}, {}}, {"", ""}))
            << society.Failure();
        home = society.HomeOf("ann");
        ASSERT_TRUE(desktop.Start(output.string())) << desktop.Failure() << "; see " << output;
    }

    // Starts the program with `args` and reads its output up to "ready".
    bool StartAgent(testsupport::CChildProcess& agent, const std::vector<std::string>& args = {})
    {
        if (!agent.Start(VESPERA_BINARY, args, (home / "vespera.err").string()))
            return false;
        for (std::string line; agent.ReadLine(line);) {
            if (line.rfind("ready ", 0) == 0)
                return true;
        }
        return false;
    }

    // The one window of that title that is shown; 0 while there is none.
    std::string ShownWindow(const char* title) const
    {
        std::string id = CDesktopSession::Output("xdotool search --onlyvisible --name " + std::string(title) +
                                                 " 2>/dev/null");
        return id.empty() || id.find('\n') != id.size() - 1 ? std::string() : id.substr(0, id.size() - 1);
    }
    bool WaitForShown(const char* title, std::string& id) const
    {
        return CDesktopSession::WaitFor([&] { return !(id = ShownWindow(title)).empty(); });
    }

    static SGeometry GeometryOf(const std::string& id)
    {
        std::istringstream lines(CDesktopSession::Output("xwininfo -id " + id));
        SGeometry geometry;
        const std::pair<const char*, int*> fields[] = {{"Absolute upper-left X:", &geometry.x},
                                                       {"Absolute upper-left Y:", &geometry.y},
                                                       {"Width:", &geometry.width},
                                                       {"Height:", &geometry.height}};
        for (std::string line; std::getline(lines, line);) {
            for (const auto& [label, value] : fields) {
                const std::size_t at = line.find(label);
                if (at != std::string::npos)
                    *value = std::stoi(line.substr(at + std::strlen(label)));
            }
        }
        return geometry;
    }

    // Moves and sizes a window as a user would, and waits until it is so.
    static bool Place(const std::string& id, const SGeometry& wanted)
    {
        CDesktopSession::Run("xdotool windowsize " + id + " " + std::to_string(wanted.width) + " " +
                             std::to_string(wanted.height) + " windowmove " + id + " " +
                             std::to_string(wanted.x) + " " + std::to_string(wanted.y));
        return CDesktopSession::WaitFor([&] { return GeometryOf(id) == wanted; });
    }

    static void PressKey(const std::string& id, const char* key)
    {
        CDesktopSession::Run("xdotool windowfocus --sync " + id + " key " + key + " >/dev/null 2>&1");
    }

    // A value of the agent's settings key, or of `subKey` below it.
    std::string StoredValue(const std::string& name, const std::string& subKey = "") const
    {
        testsupport::CChildProcess tool;
        if (!tool.Start(VESPERA_REG_BINARY, {"get", vesperaprocess::SettingsKey + subKey, name},
                        (home / "reg.err").string()) ||
            tool.Wait() != 0 || tool.lines.size() != 1)
            return std::string();
        return tool.lines[0];
    }

    // A schedule of one event, in the user's home.
    std::filesystem::path WriteSchedule(const std::string& name) const
    {
        const std::filesystem::path path = home / name;
        std::ofstream(path)
            << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nX-WR-CALNAME:Choir\r\n"
               "BEGIN:VEVENT\r\nUID:rehearsal-1@test\r\nDTSTAMP:20310101T000000Z\r\n"
               "DTSTART:20310304T190000Z\r\nDTEND:20310304T210000Z\r\nSUMMARY:Rehearsal\r\n"
               "END:VEVENT\r\nEND:VCALENDAR\r\n";
        return path;
    }

    std::filesystem::path output;
    std::filesystem::path home;
    CAgentSociety society;
    CDesktopSession desktop;
};

TEST_F(LaterStartProcessTest, TheWindowComesBackWhereItWasLeft)
{
    testsupport::CChildProcess agent;
    ASSERT_TRUE(StartAgent(agent)) << agent.Errors();
    std::string id;
    ASSERT_TRUE(WaitForShown(MainWindow, id));
    const SGeometry left{37, 52, 760, 590};
    ASSERT_TRUE(Place(id, left)) << GeometryOf(id);
    PressKey(id, "Escape");
    ASSERT_EQ(agent.Wait(), 0) << agent.Errors();
    EXPECT_FALSE(StoredValue("MainWindow", "\\Windows").empty());

    testsupport::CChildProcess again;
    ASSERT_TRUE(StartAgent(again)) << again.Errors();
    ASSERT_TRUE(WaitForShown(MainWindow, id));
    EXPECT_TRUE(CDesktopSession::WaitFor([&] { return GeometryOf(id) == left; })) << GeometryOf(id);
    PressKey(id, "Escape");
    EXPECT_EQ(again.Wait(), 0) << again.Errors();
}

TEST_F(LaterStartProcessTest, StartedWithTheSessionItHidesInTheTrayALaterStartBringsItForward)
{
    testsupport::CChildProcess agent;
    ASSERT_TRUE(StartAgent(agent, {"--autostart"})) << agent.Errors();
    EXPECT_EQ(ShownWindow(MainWindow), "") << "in the notification area";

    // The session starting it again changes nothing and says nothing.
    testsupport::CChildProcess session;
    ASSERT_TRUE(session.Start(VESPERA_BINARY, {"--autostart"}, (home / "session.err").string()));
    EXPECT_EQ(session.Wait(), 0) << session.Errors();
    EXPECT_EQ(ShownWindow(MainWindow), "");

    // The user starting it brings the window forward, then is told.
    testsupport::CChildProcess second;
    ASSERT_TRUE(second.Start(VESPERA_BINARY, {}, (home / "second.err").string()));
    std::string id;
    EXPECT_TRUE(WaitForShown(MainWindow, id)) << second.Errors();
    EXPECT_TRUE(CDesktopSession::AnswerBoxOf(second.Pid()));
    EXPECT_EQ(second.Wait(), 1) << second.Errors();
    EXPECT_NE(second.Errors().find("Already Running"), std::string::npos) << second.Errors();
    EXPECT_EQ(ShownWindow(MainWindow), id) << "the window stays in front";
    PressKey(id, "Escape");
    EXPECT_EQ(agent.Wait(), 0) << agent.Errors();
}

TEST_F(LaterStartProcessTest, AFileGivenToALaterStartOpensInTheRunningAgentsBrowser)
{
    const std::filesystem::path schedule = WriteSchedule("choir term.ics");
    const std::string address = "file://" + (home / "choir%20term.ics").string();
    testsupport::CChildProcess agent;
    ASSERT_TRUE(StartAgent(agent)) << agent.Errors();

    testsupport::CChildProcess later;
    ASSERT_TRUE(later.Start(VESPERA_BINARY, {schedule.string()}, (home / "later.err").string()));
    EXPECT_EQ(later.Wait(), 0) << later.Errors();
    ASSERT_EQ(later.lines.size(), 1u);
    EXPECT_EQ(later.lines[0], "handed " + address + " to the agent that runs");
    std::string browser;
    ASSERT_TRUE(WaitForShown(Browser, browser)) << agent.Errors();
    // The browser keeps the addresses it retrieved a schedule from.
    EXPECT_TRUE(CDesktopSession::WaitFor([&] { return StoredValue("URL1") == address; }))
        << StoredValue("URL1");
    const SGeometry left{12, 40, 820, 480};
    ASSERT_TRUE(Place(browser, left)) << GeometryOf(browser);
    EXPECT_EQ(CDesktopSession::Run(std::string(SCREEN_GRAB_BINARY) + " " + (output / "browser.png").string()),
              0);
    PressKey(browser, "Escape");
    EXPECT_TRUE(CDesktopSession::WaitFor([&] { return ShownWindow(Browser).empty(); }));
    std::string id;
    ASSERT_TRUE(WaitForShown(MainWindow, id));
    PressKey(id, "Escape");
    ASSERT_EQ(agent.Wait(), 0) << agent.Errors();

    // Nothing runs: the program starts with it, the browser where it was.
    testsupport::CChildProcess first;
    ASSERT_TRUE(StartAgent(first, {address})) << first.Errors();
    ASSERT_TRUE(WaitForShown(Browser, browser)) << first.Errors();
    EXPECT_TRUE(CDesktopSession::WaitFor([&] { return GeometryOf(browser) == left; })) << GeometryOf(browser);
    PressKey(browser, "Escape");
    ASSERT_TRUE(WaitForShown(MainWindow, id));
    PressKey(id, "Escape");
    EXPECT_EQ(first.Wait(), 0) << first.Errors();
}

} // namespace
