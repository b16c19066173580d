#include <eventview/WebBrowserUtil.h>

#include <eventview/InstalledFiles.h>

#include <platform/MessageBoxSink.h>
#include <platform/PollEventLoop.h>
#include <platform/Registry.h>
#include <platform/testing/LoopWait.h>
#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(WebBrowserUtil, CommandLineIsCutAtThePlaceholderAndGetsTheAddress)
{
    struct Case {
        const char* commandLine;
        const char* expected;
    } cases[] = {
        {"\"/opt/web/browser\" \"%1\" --new-window", "\"/opt/web/browser\" http://a.example/"},
        {"browser -url %1 -x", "browser -url http://a.example/"},
        {"browser --private", "browser --private http://a.example/"},
        {"", " http://a.example/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CWebBrowserUtil::CommandLineFor(c.commandLine, "http://a.example/"), c.expected)
            << c.commandLine;
}

TEST(WebBrowserUtil, CommandLineSplitsLikePlainShellWords)
{
    EXPECT_EQ(CWebBrowserUtil::SplitCommandLine("\"/opt/my browser/run\"  -a \"b c\" d"),
              (std::vector<std::string>{"/opt/my browser/run", "-a", "b c", "d"}));
    EXPECT_TRUE(CWebBrowserUtil::SplitCommandLine("   ").empty());
}

TEST(WebBrowserUtil, ReportErrorShowsTheCodesTextWithTheExclamationIcon)
{
    CMessageBoxSink::CRecorder boxes;
    CMessageBoxSink* previous = CMessageBoxSink::SetCurrent(&boxes);
    CWebBrowserUtil browser;
    browser.ReportError(26);
    browser.ReportError(4);
    CMessageBoxSink::SetCurrent(previous);
    ASSERT_EQ(boxes.Boxes().size(), 2u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Unable to open hyperlink:\n\nA sharing violation occurred. ");
    EXPECT_EQ(boxes.Boxes()[1].text, "Unable to open hyperlink:\n\nUnknown Error (4) occurred.");
    EXPECT_EQ(boxes.Boxes()[0].type & MB_ICONMASK, MB_ICONEXCLAMATION);
}

// Records what would run; the desktop opener fails, the registered browser
// runs.
class CRecordingBrowser : public CWebBrowserUtil {
public:
    using CWebBrowserUtil::CWebBrowserUtil;
    std::vector<std::vector<std::string>> runs;

protected:
    int Spawn(const std::vector<std::string>& arguments) override
    {
        runs.push_back(arguments);
        return arguments[0] == "xdg-open" ? NoBrowserCode : OpenedThreshold + 1;
    }
};

TEST(WebBrowserUtil, FallsBackToTheBrowserRegisteredForHtmlPages)
{
    testsupport::CTempDir dir;
    setenv("DISPLAY", ":99", 1);
    CRecordingBrowser unregistered(dir.Path());
    EXPECT_EQ(unregistered.GotoURL("http://a.example/", 5), CWebBrowserUtil::NoBrowserCode);
    EXPECT_EQ(unregistered.runs.size(), 1u);

    CRegistry classes(CRegistry::ClassesRoot, dir.Path());
    ASSERT_EQ(classes.WriteValue(".htm", "", "htmlfile"), CRegistry::Ok);
    ASSERT_EQ(classes.WriteValue("htmlfile\\shell\\open\\command", "", "\"/opt/b/browser\" \"%1\" -nohome"),
              CRegistry::Ok);
    CRecordingBrowser registered(dir.Path());
    EXPECT_GT(registered.GotoURL("http://a.example/", 5), CWebBrowserUtil::OpenedThreshold);
    ASSERT_EQ(registered.runs.size(), 2u);
    EXPECT_EQ(registered.runs[1], (std::vector<std::string>{"/opt/b/browser", "http://a.example/"}));
    unsetenv("DISPLAY");
    EXPECT_EQ(registered.GotoURL("http://a.example/", 5), CWebBrowserUtil::NoBrowserCode);
}

TEST(WebBrowserUtil, OnlyWebAddressesAndTheShippedFilesAreOpened)
{
    const std::string help = "file://" + installedfiles::Folder("help");
    const std::string examples = "file://" + installedfiles::Folder("schedules");
    const struct {
        std::string address;
        bool openable;
    } cases[] = {
        {"http://a.example/", true},
        {"HTTPS://a.example/x?y#z", true},
        {help + "/Cal/Help/Options.html#General", true},
        {examples + "/music.rdf", true},
        {help + "/../../../../etc/passwd", false},
        {help + "/%2e%2e/%2e%2e/%2e%2e/etc/passwd", false},
        {help + "x/page.html", false},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"ftp://a.example/", false},
        {"--incognito", false},
        {"/usr/share/doc", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CWebBrowserUtil::IsOpenable(c.address), c.openable) << c.address;

    setenv("DISPLAY", ":99", 1);
    CRecordingBrowser browser;
    EXPECT_EQ(browser.GotoURL("file:///etc/passwd", 5), 5);
    EXPECT_TRUE(browser.runs.empty());
    unsetenv("DISPLAY");
}

TEST(WebBrowserUtil, AnAddressWithBlanksReachesEitherBrowserAsOneArgument)
{
    testsupport::CTempDir dir;
    CRegistry classes(CRegistry::ClassesRoot, dir.Path());
    ASSERT_EQ(classes.WriteValue(".htm", "", "htmlfile"), CRegistry::Ok);
    ASSERT_EQ(classes.WriteValue("htmlfile\\shell\\open\\command", "", "\"/opt/my b/browser\" -x \"%1\""),
              CRegistry::Ok);
    setenv("DISPLAY", ":99", 1);
    CRecordingBrowser browser(dir.Path());
    const std::string address = "http://a.example/ --incognito --new-window";
    EXPECT_GT(browser.GotoURL(address.c_str(), 5), CWebBrowserUtil::OpenedThreshold);
    unsetenv("DISPLAY");
    ASSERT_EQ(browser.runs.size(), 2u);
    EXPECT_EQ(browser.runs[0], (std::vector<std::string>{"xdg-open", address}));
    EXPECT_EQ(browser.runs[1], (std::vector<std::string>{"/opt/my b/browser", "-x", address}));
}

// A stand-in xdg-open that records its arguments and then stays until the
// test lets it go, like a browser the user keeps open.
class CStandInOpener {
public:
    CStandInOpener()
    {
        const std::string script = m_dir.Path() + "/xdg-open";
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"$0.args.tmp\"\n"
                                 "mv \"$0.args.tmp\" \"$0.args\"\nread line < \"$0.hold\"\n";
        ::chmod(script.c_str(), 0700);
        ::mkfifo((script + ".hold").c_str(), 0600);
        m_path = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", (m_dir.Path() + ":" + m_path).c_str(), 1);
    }
    ~CStandInOpener() { setenv("PATH", m_path.c_str(), 1); }

    std::string Arguments() const { return testsupport::ReadFile(m_dir.Path() + "/xdg-open.args"); }
    void Release() const
    {
        const int fd = ::open((m_dir.Path() + "/xdg-open.hold").c_str(), O_WRONLY);
        if (fd >= 0) {
            (void)::write(fd, "\n", 1);
            ::close(fd);
        }
    }

private:
    testsupport::CTempDir m_dir;
    std::string m_path;
};

TEST(WebBrowserUtil, OpeningReturnsWhileTheBrowserRunsAndTheBrowserIsReapedWhenItEnds)
{
    CPollEventLoop loop;
    CStandInOpener opener;
    setenv("DISPLAY", ":99", 1);
    CWebBrowserUtil browser;
    EXPECT_GT(browser.GotoURL("http://a.example/a b", 5), CWebBrowserUtil::OpenedThreshold);
    unsetenv("DISPLAY");
    EXPECT_TRUE(loopwait::RunUntil(loop, [&] { return !opener.Arguments().empty(); }));
    EXPECT_EQ(opener.Arguments(), "1\nhttp://a.example/a b\n");
    EXPECT_EQ(CWebBrowserUtil::RunningBrowsers(), 1u);
    opener.Release();
    EXPECT_TRUE(loopwait::RunUntil(loop, [] { return CWebBrowserUtil::RunningBrowsers() == 0; }));
}

TEST(WebBrowserUtil, AMissingOpenerIsNamedInTheReport)
{
    testsupport::CTempDir empty;
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", empty.Path().c_str(), 1);
    setenv("DISPLAY", ":99", 1);
    CWebBrowserUtil browser(empty.Path());
    const int result = browser.GotoURL("http://a.example/", 5);
    setenv("PATH", path.c_str(), 1);
    unsetenv("DISPLAY");
    EXPECT_EQ(result, 2);
    CMessageBoxSink::CRecorder boxes;
    CMessageBoxSink* previous = CMessageBoxSink::SetCurrent(&boxes);
    browser.ReportError(result);
    CMessageBoxSink::SetCurrent(previous);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_NE(boxes.Boxes()[0].text.find(CWebBrowserUtil::OpenerMissingText), std::string::npos);
}

TEST(WebBrowserUtil, AFailureSoundsTheSinksAlertNotABellOnStandardError)
{
    CMessageBoxSink::CRecorder boxes;
    CMessageBoxSink* previous = CMessageBoxSink::SetCurrent(&boxes);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CWebBrowserUtil().OpenOrReport("ftp://a.example/file"));
    const std::string written = testing::internal::GetCapturedStderr();
    CMessageBoxSink::SetCurrent(previous);
    EXPECT_EQ(boxes.Beeps(), 1);
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(written.find('\a'), std::string::npos);
}

} // namespace
