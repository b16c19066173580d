#include <eventview/WebBrowserUtil.h>

#include <platform/MessageBoxSink.h>
#include <platform/Registry.h>
#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <cstdlib>

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

} // namespace
