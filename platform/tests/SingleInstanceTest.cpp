#include <platform/SingleInstance.h>

#include <platform/PollEventLoop.h>
#include <platform/testing/LoopWait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

    std::uint32_t RequestWhileServing(CPollEventLoop& loop, const CSingleInstance& sender,
                                      std::uint32_t message, const std::string& text)
    {
        std::future<std::uint32_t> answer =
            std::async(std::launch::async, [&] { return sender.Request(message, text, 2000); });
        loopwait::RunUntil(loop, [&answer] {
            return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
        });
        return answer.get();
    }

    // Sends raw bytes to the running instance from another thread while
    // this one serves the loop, then half-closes; what came back.
    std::string RawExchange(CPollEventLoop& loop, const CSingleInstance& instance, const std::string& bytes)
    {
        std::future<std::string> reply = std::async(std::launch::async, [&] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::snprintf(address.sun_path, sizeof address.sun_path, "%s", instance.GetSocketPath().c_str());
            std::string got;
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
                ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
                ::shutdown(fd, SHUT_WR);
                char buffer[64];
                for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
                    got.append(buffer, static_cast<std::size_t>(n));
            }
            ::close(fd);
            return got;
        });
        loopwait::RunUntil(
            loop, [&reply] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
        return reply.get();
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

// A word as it goes on the socket.
std::string Word(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

TEST_F(SingleInstanceTest, RequestsReachTheHandlerWholeAndItsVerdictComesBack)
{
    CPollEventLoop loop;
    CSingleInstance holder(kName, "");
    CSingleInstance sender(kName, "");
    ASSERT_EQ(holder.Acquire(), CSingleInstance::Result::Acquired);
    ASSERT_TRUE(holder.ServeProbes(loop)) << holder.GetErrorText();
    EXPECT_EQ(RequestWhileServing(loop, sender, 0x9001, "nobody decides"), 0u) << "no handler: refused";

    std::vector<std::pair<std::uint32_t, std::string>> received;
    holder.SetRequestHandler([&received](std::uint32_t message, const std::string& text) {
        received.emplace_back(message, text);
        return text != "refuse me";
    });
    const std::string longest(CSingleInstance::kMaxRequestText, 'x');
    const std::string withNul("a\0b", 3);
    const struct {
        std::uint32_t message;
        std::string text;
        std::uint32_t answer;
    } cases[] = {
        {0x9001, "/home/ann/term.ics", 0x9001},
        {0x9002, "", 0x9002},
        {0x9001, withNul, 0x9001},
        {0x9001, longest, 0x9001},
        {0x9001, "refuse me", 0},
    };
    for (const auto& c : cases) {
        received.clear();
        EXPECT_EQ(RequestWhileServing(loop, sender, c.message, c.text), c.answer) << c.text.size();
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].first, c.message);
        EXPECT_EQ(received[0].second, c.text) << "byte for byte";
    }
    received.clear();
    EXPECT_EQ(sender.Request(0x9001, longest + "y", 2000), 0u) << "too long: not even sent";
    EXPECT_EQ(sender.Request(CSingleInstance::kProbeMessage, "", 2000), 0u) << "the probe is no request";
    EXPECT_TRUE(received.empty());
}

TEST_F(SingleInstanceTest, BrokenRequestsAreDroppedUnheardAndTheInstanceServesOn)
{
    CPollEventLoop loop;
    CSingleInstance holder(kName, "");
    CSingleInstance prober(kName, "");
    ASSERT_EQ(holder.Acquire(), CSingleInstance::Result::Acquired);
    ASSERT_TRUE(holder.ServeProbes(loop)) << holder.GetErrorText();
    int heard = 0;
    holder.SetRequestHandler([&heard](std::uint32_t, const std::string&) { return ++heard > 0; });
    const struct {
        const char* what;
        std::string bytes;
        std::string reply;
    } cases[] = {
        {"nothing", "", ""},
        {"half a word", Word(0x9001).substr(0, 2), ""},
        {"a word without its length", Word(0x9001), ""},
        {"a text shorter than its length", Word(0x9001) + Word(10) + "abc", ""},
        {"a length past the limit", Word(0x9001) + Word(CSingleInstance::kMaxRequestText + 1), Word(0)},
        {"the largest length there is", Word(0x9001) + Word(0xffffffffu) + "abc", Word(0)},
        {"an old probe", Word(CSingleInstance::kProbeMessage), Word(CSingleInstance::kProbeMessage)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RawExchange(loop, holder, c.bytes), c.reply) << c.what;
        EXPECT_EQ(heard, 0) << c.what;
        EXPECT_EQ(ProbeWhileServing(loop, prober), CSingleInstance::kProbeMessage) << "after " << c.what;
    }
}

} // namespace
