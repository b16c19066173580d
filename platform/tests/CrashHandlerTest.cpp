#include <platform/CrashHandler.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void NameTheLogs(CCrashHandler::CReport& report)
{
    CCrashHandler::AppendToSlot(report.files[0], "/var/log/app.txt");
    CCrashHandler::AppendToSlot(report.descriptions[0], "Application Log File");
    CCrashHandler::AppendToSlot(report.files[1], "/var/log/agent.txt");
    CCrashHandler::AppendToSlot(report.descriptions[1], "Agent Log File");
}

class CrashHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/crash-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        base = pattern;
        reports = base / "reports";
    }
    void TearDown() override { fs::remove_all(base); }

    // Runs `crash` in a child that installed the handler; the signal the
    // child died of, or 0 when it did not die of one.
    int CrashChild(void (*crash)())
    {
        pid_t child = fork();
        if (child == 0) {
            if (!CCrashHandler::Install(reports.c_str(), NameTheLogs))
                _exit(3);
            crash();
            _exit(4);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }

    std::string OnlyReport()
    {
        std::string text;
        int count = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(reports)) {
            std::ifstream in(entry.path());
            std::stringstream content;
            content << in.rdbuf();
            text = content.str();
            ++count;
        }
        EXPECT_EQ(count, 1);
        return text;
    }

    fs::path base;
    fs::path reports;
};

void RaiseSegv()
{
    std::raise(SIGSEGV);
}
// A real fault, on a page that may not be touched.
void TouchForbiddenPage()
{
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page != MAP_FAILED)
        *static_cast<volatile int*>(page) = 1;
}
void RaiseBus()
{
    std::raise(SIGBUS);
}
void RaiseFpe()
{
    std::raise(SIGFPE);
}
void RaiseIll()
{
    std::raise(SIGILL);
}
void Abort()
{
    std::abort();
}

TEST_F(CrashHandlerTest, EachFatalSignalWritesOneReportNamingBothLogsAndStillKills)
{
    const std::pair<void (*)(), int> crashes[] = {
        {RaiseSegv, SIGSEGV}, {TouchForbiddenPage, SIGSEGV},
        {RaiseBus, SIGBUS},   {RaiseFpe, SIGFPE},
        {RaiseIll, SIGILL},   {Abort, SIGABRT},
    };
    for (const auto& [crash, signal] : crashes) {
        fs::remove_all(reports);
        EXPECT_EQ(CrashChild(crash), signal) << strsignal(signal);
        const std::string report = OnlyReport();
        EXPECT_NE(report.find(std::string("signal: SIG") + sigabbrev_np(signal)), std::string::npos)
            << report;
        EXPECT_NE(report.find("file: /var/log/app.txt\ndescription: Application Log File\n"),
                  std::string::npos);
        EXPECT_NE(report.find("file: /var/log/agent.txt\ndescription: Agent Log File\n"), std::string::npos);
        EXPECT_NE(report.find("backtrace:\n"), std::string::npos);
    }
}

TEST_F(CrashHandlerTest, EmptySlotsAreLeftOutAndAnOverlongDirectoryIsRefused)
{
    pid_t child = fork();
    if (child == 0) {
        CCrashHandler::Install(reports.c_str(), nullptr);
        std::abort();
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(OnlyReport().find("file: "), std::string::npos);

    EXPECT_FALSE(CCrashHandler::Install(std::string(2000, 'd').c_str(), NameTheLogs));
    EXPECT_FALSE(CCrashHandler::Install(nullptr, NameTheLogs));
}

TEST(CrashHandlerSlotTest, AppendCutsAtTheSlotEnd)
{
    char slot[CCrashHandler::kSlotSize] = "C:/";
    CCrashHandler::AppendToSlot(slot, "logs");
    EXPECT_STREQ(slot, "C:/logs");
    CCrashHandler::AppendToSlot(slot, std::string(400, 'x').c_str());
    EXPECT_EQ(std::string(slot).size(), CCrashHandler::kSlotSize - 1);
    CCrashHandler::AppendToSlot(slot, nullptr);
    EXPECT_EQ(std::string(slot).size(), CCrashHandler::kSlotSize - 1);
}

} // namespace
