#include <platform/SingleInstance.h>

#include <platform/PollEventLoop.h>
#include <platform/testing/LoopWait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* kName = "TESTINSTANCE-0001";

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/instance-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        base = pattern;
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime)
            savedRuntime = runtime;
        hadRuntime = runtime != nullptr;
        setenv("XDG_RUNTIME_DIR", (base / "run").c_str(), 1);
    }
    void TearDown() override
    {
        if (hadRuntime)
            setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        fs::remove_all(base);
    }

    // Probes from another thread while this one serves the loop.
    std::uint32_t ProbeWhileServing(CPollEventLoop& loop, const CSingleInstance& prober)
    {
        std::future<std::uint32_t> answer =
            std::async(std::launch::async, [&prober] { return prober.Probe(2000); });
        loopwait::RunUntil(loop, [&answer] {
            return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        });
        return answer.get();
    }

    fs::path base;
    std::string savedRuntime;
    bool hadRuntime = false;
};

TEST_F(SingleInstanceTest, SecondHolderIsRefusedUntilTheFirstGoes)
{
    auto first = std::make_unique<CSingleInstance>(kName, "/nonexistent");
    EXPECT_EQ(first->Acquire(), CSingleInstance::Result::Acquired);
    EXPECT_EQ(first->Acquire(), CSingleInstance::Result::Acquired);
    EXPECT_EQ(first->GetDirectory(), (base / "run").string());

    CSingleInstance second(kName, "/nonexistent");
    EXPECT_EQ(second.Acquire(), CSingleInstance::Result::AlreadyRunning);
    EXPECT_FALSE(second.IsHeld());
    first.reset();
    EXPECT_EQ(second.Acquire(), CSingleInstance::Result::Acquired);
}

TEST_F(SingleInstanceTest, ALockDiesWithItsProcess)
{
    pid_t child = fork();
    if (child == 0) {
        CSingleInstance held(kName, "");
        _exit(held.Acquire() == CSingleInstance::Result::Acquired ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    CSingleInstance after(kName, "");
    EXPECT_EQ(after.Acquire(), CSingleInstance::Result::Acquired);
}

TEST_F(SingleInstanceTest, TheHolderAnswersTheProbeAndNobodyElseDoes)
{
    CPollEventLoop loop;
    CSingleInstance holder(kName, "");
    CSingleInstance prober(kName, "");
    EXPECT_EQ(prober.Probe(100), 0u) << "nothing listens yet";
    ASSERT_EQ(holder.Acquire(), CSingleInstance::Result::Acquired);
    ASSERT_TRUE(holder.ServeProbes(loop)) << holder.GetErrorText();
    EXPECT_TRUE(holder.ServeProbes(loop));
    EXPECT_FALSE(prober.ServeProbes(loop)) << "only the holder serves";

    EXPECT_EQ(ProbeWhileServing(loop, prober), CSingleInstance::kProbeMessage);
    EXPECT_EQ(ProbeWhileServing(loop, prober), CSingleInstance::kProbeMessage);
}

TEST_F(SingleInstanceTest, AStaleSocketIsReplacedAndRemovedAtTheEnd)
{
    CPollEventLoop loop;
    std::string socketPath;
    {
        CSingleInstance holder(kName, "");
        ASSERT_EQ(holder.Acquire(), CSingleInstance::Result::Acquired);
        socketPath = holder.GetSocketPath();
        fs::create_directories(holder.GetDirectory());
        {
            std::FILE* stale = std::fopen(socketPath.c_str(), "w");
            ASSERT_NE(stale, nullptr);
            std::fclose(stale);
        }
        CSingleInstance prober(kName, "");
        EXPECT_EQ(prober.Probe(100), 0u);
        ASSERT_TRUE(holder.ServeProbes(loop)) << holder.GetErrorText();
        EXPECT_EQ(ProbeWhileServing(loop, prober), CSingleInstance::kProbeMessage);
    }
    EXPECT_FALSE(fs::exists(socketPath));
}

TEST_F(SingleInstanceTest, ALongInstanceNameStillGetsItsProbeSocket)
{
    CPollEventLoop loop;
    const std::string longName(90, 'N');
    CSingleInstance holder(longName, "");
    CSingleInstance prober(longName, "");
    ASSERT_EQ(holder.Acquire(), CSingleInstance::Result::Acquired) << holder.GetErrorText();
    EXPECT_LT(holder.GetSocketPath().size(), 100u);
    EXPECT_NE(holder.GetSocketPath(), CSingleInstance(kName, "").GetSocketPath());
    ASSERT_TRUE(holder.ServeProbes(loop)) << holder.GetErrorText();
    EXPECT_EQ(ProbeWhileServing(loop, prober), CSingleInstance::kProbeMessage);
}

TEST_F(SingleInstanceTest, FallbackDirectoryAndUnusableNames)
{
    unsetenv("XDG_RUNTIME_DIR");
    CSingleInstance fallback(kName, (base / "data" / "orvante").string());
    EXPECT_EQ(fallback.Acquire(), CSingleInstance::Result::Acquired);
    EXPECT_TRUE(fs::exists(base / "data" / "orvante" / (std::string(kName) + ".lock")));

    CSingleInstance slash("../escape", (base / "data").string());
    EXPECT_EQ(slash.Acquire(), CSingleInstance::Result::Failed);
    CSingleInstance nowhere(kName, "");
    EXPECT_EQ(nowhere.Acquire(), CSingleInstance::Result::Failed);
    EXPECT_FALSE(nowhere.GetErrorText().empty());
}

} // namespace
