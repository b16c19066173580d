#include <vespera/core/AutostartEntry.h>
#include <vespera/core/LaunchOptions.h>
#include <vespera/core/ScheduleAddress.h>

#include "VesperaTestSupport.h"

#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using vespera_test::CTemporaryHome;

class LaunchOptionsTest : public ::testing::Test {
protected:
    LaunchOptionsTest()
    {
        std::filesystem::create_directories(home.Root() / "my schedules");
        std::ofstream(home.Root() / "term.ics") << "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n";
        std::ofstream(home.Root() / "my schedules" / "choir #1.ics")
            << "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n";
    }
    std::string Root() const { return home.Root().string(); }
    std::string FileAddress(const std::string& path) const { return "file://" + Root() + path; }

    CTemporaryHome home;
};

TEST_F(LaunchOptionsTest, FilesAndWebAddressesBecomeTheAddressTheBrowserRetrieves)
{
    const struct {
        std::string argument;
        std::string working;
        std::string address;
    } cases[] = {
        {"term.ics", Root(), FileAddress("/term.ics")},
        {Root() + "/term.ics", "", FileAddress("/term.ics")},
        {"./my schedules/../term.ics", Root(), FileAddress("/term.ics")},
        {"my schedules/choir #1.ics", Root(), FileAddress("/my%20schedules/choir%20%231.ics")},
        {"file://" + Root() + "/my%20schedules/choir%20%231.ics", "",
         FileAddress("/my%20schedules/choir%20%231.ics")},
        {"FILE://localhost" + Root() + "/term.ics", "", FileAddress("/term.ics")},
        {"https://example.org/term.ics", "", "https://example.org/term.ics"},
        {"HTTP://example.org/term.ics?week=3", "", "http://example.org/term.ics?week=3"},
        {"webcal://example.org/holidays", "", "webcal://example.org/holidays"},
    };
    for (const auto& c : cases) {
        std::string error;
        const std::optional<std::string> address =
            CScheduleAddress::FromArgument(c.argument, c.working, error);
        ASSERT_TRUE(address) << c.argument << ": " << error;
        EXPECT_EQ(*address, c.address) << c.argument;
        EXPECT_EQ(CScheduleAddress::FromArgument(*address, "", error), c.address) << "stable: " << c.argument;
    }
}

TEST_F(LaunchOptionsTest, WhatCannotBeOpenedIsRefusedWithItsReason)
{
    const struct {
        std::string argument;
        std::string working;
        const char* says;
    } cases[] = {
        {"", Root(), "empty"},
        {"missing.ics", Root(), "no such file"},
        {"my schedules", Root(), "is not a file"},
        {"term.ics", "", "must be absolute"},
        {"file://elsewhere" + Root() + "/term.ics", "", "another machine"},
        {"ftp://example.org/term.ics", "", "only files and http, https and webcal"},
        {"javascript://alert(1)", "", "only files and http, https and webcal"},
        {"https://", "", "no host"},
        {"https://example.org/a term.ics", "", "no blanks"},
        {"https://example.org/\nterm.ics", "", "one line"},
        {std::string("https://example.org/\0", 21), "", "one line"},
        {"https://example.org/" + std::string(CScheduleAddress::MaxLength, 'a'), "", "at most 4096 bytes"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(CScheduleAddress::FromArgument(c.argument, c.working, error)) << c.argument;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.argument << ": " << error;
    }
}

TEST_F(LaunchOptionsTest, TheProgramsSwitchesAndOneScheduleAreTakenTheRestIsTheContainers)
{
    const struct {
        std::vector<std::string> arguments;
        bool headless;
        bool autostart;
        std::string schedule;
        std::vector<std::string> container;
    } cases[] = {
        {{"vespera"}, false, false, "", {"vespera"}},
        {{"vespera", "--headless", "-port", "7000"}, true, false, "", {"vespera", "-port", "7000"}},
        {{"vespera", "--autostart"}, false, true, "", {"vespera"}},
        {{"vespera", "term.ics"}, false, false, FileAddress("/term.ics"), {"vespera"}},
        {{"vespera", "-name", "term.ics", "webcal://example.org/h"},
         false,
         false,
         "webcal://example.org/h",
         {"vespera", "-name", "term.ics"}},
        {{"vespera", "-noans", "term.ics"}, false, false, FileAddress("/term.ics"), {"vespera", "-noans"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> texts = c.arguments;
        std::vector<char*> argv;
        for (std::string& text : texts)
            argv.push_back(text.data());
        CLaunchOptions options;
        ASSERT_TRUE(options.Parse(static_cast<int>(argv.size()), argv.data(), Root())) << options.GetError();
        EXPECT_EQ(options.IsHeadless(), c.headless);
        EXPECT_EQ(options.IsAutostart(), c.autostart);
        EXPECT_EQ(options.GetSchedule(), c.schedule);
        std::vector<std::string> container;
        for (char* argument : options.ContainerArguments()) {
            if (argument)
                container.emplace_back(argument);
        }
        EXPECT_EQ(container, c.container);
        EXPECT_EQ(options.ContainerArguments().back(), nullptr);
    }
    std::string first = "term.ics";
    std::string second = "https://example.org/x.ics";
    std::string name = "vespera";
    char* two[] = {name.data(), first.data(), second.data()};
    CLaunchOptions options;
    EXPECT_FALSE(options.Parse(3, two, Root()));
    EXPECT_NE(options.GetError().find("one schedule at a time"), std::string::npos) << options.GetError();
}

TEST_F(LaunchOptionsTest, TheAutostartEntryQuotesThePathAndIsWrittenAndRemovedWhole)
{
    const struct {
        const char* program;
        const char* exec;
    } cases[] = {
        {"/usr/bin/vespera", "Exec=/usr/bin/vespera --autostart\n"},
        {"/opt/my apps/vespera", "Exec=\"/opt/my apps/vespera\" --autostart\n"},
        {"/opt/100%/vespera", "Exec=/opt/100%%/vespera --autostart\n"},
        {"/opt/a\"b$c/vespera", "Exec=\"/opt/a\\\\\"b\\\\$c/vespera\" --autostart\n"},
        {"/opt/back\\slash/vespera", "Exec=\"/opt/back\\\\\\\\slash/vespera\" --autostart\n"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(CAutostartEntry::Text(c.program).find(c.exec), std::string::npos)
            << CAutostartEntry::Text(c.program);
    }
    EXPECT_EQ(CAutostartEntry::Text("/opt/line\nbreak"), "");

    const std::filesystem::path entry = home.Root() / "config" / "autostart" / CAutostartEntry::FileName;
    EXPECT_EQ(CAutostartEntry::Path(), entry.string());
    EXPECT_FALSE(CAutostartEntry::IsEnabled());
    std::string error;
    EXPECT_FALSE(CAutostartEntry::Enable("/opt/line\nbreak", error));
    EXPECT_FALSE(CAutostartEntry::Enable("relative/vespera", error));
    ASSERT_TRUE(CAutostartEntry::Enable(error)) << error;
    EXPECT_TRUE(CAutostartEntry::IsEnabled());
    EXPECT_NE(testsupport::ReadFile(entry.string()).find(CAutostartEntry::RunningProgram()),
              std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(entry.parent_path()),
                            std::filesystem::directory_iterator()),
              1)
        << "no lock or temporary file is left beside it";
    if (std::system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(("desktop-file-validate '" + entry.string() + "'").c_str()), 0);
    }

    // What the session's own settings write to switch the entry off.
    for (const char* off : {"Hidden=true\n", "X-GNOME-Autostart-enabled=false\n"}) {
        std::ofstream(entry) << "[Desktop Entry]\nType=Application\nName=x\nExec=x\n" << off;
        EXPECT_FALSE(CAutostartEntry::IsEnabled()) << off;
    }
    std::ofstream(entry) << "[Desktop Entry]\nExec=x\n[Desktop Action Off]\nHidden=true\n";
    EXPECT_TRUE(CAutostartEntry::IsEnabled()) << "only the entry's own group counts";
    EXPECT_TRUE(CAutostartEntry::Disable(error)) << error;
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_TRUE(CAutostartEntry::Disable(error)) << "nothing left to remove is no failure";
}

} // namespace
