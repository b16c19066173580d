// The real server, started as a child process on 127.0.0.1 with a port the
// system chooses, spoken to over TCP.
#include <ansd/testing/AnsdProcess.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Guards every wait on the server, so that a broken server fails the test
// instead of hanging it.
constexpr int kWaitMs = CAnsdProcess::kWaitMs;
const std::string kEnd = "\r\n\x04";

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A blocking client socket from `source` (an address of the loopback range).
int Connect(unsigned port, const char* source = "127.0.0.1")
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{kWaitMs / 1000, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, source, &address.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const std::string& text)
{
    return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Reads `count` replies (each up to its 0x04) and returns them without
// their "\r\n\x04", joined by '|'.
std::string ReadReplies(int fd, int count = 1)
{
    std::string text;
    int ends = 0;
    char c;
    while (ends < count && ::recv(fd, &c, 1, 0) == 1) {
        text += c;
        if (c == '\x04')
            ++ends;
    }
    std::string joined;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(kEnd, start)) != std::string::npos; start = end + 3)
        joined += (joined.empty() && start == 0 ? "" : "|") + text.substr(start, end - start);
    return joined;
}

// True when the server closes the connection (rather than the wait ending).
bool SeesClose(int fd)
{
    char c;
    return ::recv(fd, &c, 1, 0) == 0;
}

// The client's way: a new connection per request.
std::string Ask(unsigned port, const std::string& request, const char* source = "127.0.0.1")
{
    const int fd = Connect(port, source);
    if (fd < 0)
        return "(cannot connect)";
    const std::string reply = SendAll(fd, request) ? ReadReplies(fd) : "(cannot send)";
    ::close(fd);
    return reply;
}

class AnsdBinaryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/ansd-binary-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
};

} // namespace

TEST_F(AnsdBinaryTest, RegisterLookupListUnregister)
{
    CAnsdProcess ansd(dir);
    ASSERT_TRUE(ansd.Start({"--port", "0"})) << ansd.firstLine << ansd.Errors();
    const unsigned port = ansd.port;
    EXPECT_EQ(Ask(port, "list all \n"), "null");
    EXPECT_EQ(Ask(port, "register alice tcp://127.0.0.1:5000\r\n"), "success");
    EXPECT_EQ(Ask(port, "register bob tcp://127.0.0.1:5001\r\n"), "success");
    EXPECT_EQ(Ask(port, "lookup alice\n"), "tcp://127.0.0.1:5000");
    EXPECT_EQ(Ask(port, "list all \n"), "alice\r\nbob");
    EXPECT_EQ(Ask(port, "list b* \n"), "bob");
    // Another address may neither take over nor remove the name.
    EXPECT_EQ(Ask(port, "register alice tcp://127.0.0.2:6000\r\n", "127.0.0.2"),
              "error: name already in use");
    EXPECT_EQ(Ask(port, "unregister alice\n", "127.0.0.2"), "error: not the owner of this name");
    EXPECT_EQ(Ask(port, "unregister alice\r\n"), "success");
    EXPECT_EQ(Ask(port, "lookup alice\n"), "sorry: no such agent");
    EXPECT_EQ(Ask(port, "what\n"), "error: unknown request");
    EXPECT_EQ(ansd.Stop(), 0);
    const std::string log = ansd.Errors();
    EXPECT_NE(log.find("register alice tcp://127.0.0.1:5000 -> success"), std::string::npos);
    EXPECT_NE(log.find("127.0.0.2: unregister alice -> error: not the owner"), std::string::npos);
    EXPECT_EQ(log.find("lookup"), std::string::npos) << "lookups are not logged";
}

TEST_F(AnsdBinaryTest, PipelinedLinesOnOneConnection)
{
    CAnsdProcess ansd(dir);
    ASSERT_TRUE(ansd.Start({"--port=0"})) << ansd.Errors();
    const int fd = Connect(ansd.port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendAll(fd, "register a tcp://h:1\nlookup a\r\nlookup b\nlist all \nloo"));
    EXPECT_EQ(ReadReplies(fd, 4), "success|tcp://h:1|sorry: no such agent|a");
    ASSERT_TRUE(SendAll(fd, "kup a\r"));
    ASSERT_TRUE(SendAll(fd, "\n"));
    EXPECT_EQ(ReadReplies(fd), "tcp://h:1");
    ::shutdown(fd, SHUT_WR);
    EXPECT_TRUE(SeesClose(fd));
    ::close(fd);
}

TEST_F(AnsdBinaryTest, SixtyFourParallelClients)
{
    CAnsdProcess ansd(dir);
    ASSERT_TRUE(ansd.Start({"--port", "0"})) << ansd.Errors();
    const unsigned port = ansd.port;
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 64; ++i) {
        clients.emplace_back([port, i, &wrong] {
            const std::string name = "agent" + std::to_string(i);
            const std::string url = "tcp://127.0.0.1:" + std::to_string(10000 + i);
            if (Ask(port, "register " + name + " " + url + "\r\n") != "success")
                ++wrong;
            for (int round = 0; round < 10; ++round) {
                if (Ask(port, "lookup " + name + "\n") != url)
                    ++wrong;
            }
        });
    }
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(wrong.load(), 0);
    const std::string list = Ask(port, "list agent* \n");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 63);
}

TEST_F(AnsdBinaryTest, RequestOverTheLimitIsRefusedAndClosed)
{
    CAnsdProcess ansd(dir);
    ASSERT_TRUE(ansd.Start({"--port", "0"})) << ansd.Errors();
    const int fd = Connect(ansd.port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SendAll(fd, "lookup " + std::string(1100, 'x') + "\n"));
    EXPECT_EQ(ReadReplies(fd), "error: request too long");
    EXPECT_TRUE(SeesClose(fd));
    ::close(fd);
    // Exactly the limit is still answered.
    EXPECT_EQ(Ask(ansd.port, "lookup " + std::string(1024 - 7, 'x') + "\r\n"), "sorry: no such agent");
}

TEST_F(AnsdBinaryTest, StateSurvivesRestart)
{
    const std::string state = (dir / "state.txt").string();
    {
        CAnsdProcess ansd(dir);
        ASSERT_TRUE(ansd.Start({"--port", "0", "--state", state})) << ansd.Errors();
        EXPECT_EQ(Ask(ansd.port, "register alice tcp://127.0.0.1:5000\r\n"), "success");
        EXPECT_EQ(Ask(ansd.port, "register bob tcp://127.0.0.1:5001\r\n"), "success");
        EXPECT_EQ(Ask(ansd.port, "unregister bob\r\n"), "success");
        EXPECT_EQ(ansd.Stop(SIGINT), 0);
    }
    CAnsdProcess again(dir);
    ASSERT_TRUE(again.Start({"--port", "0", "--state", state})) << again.Errors();
    EXPECT_EQ(Ask(again.port, "lookup alice\n"), "tcp://127.0.0.1:5000");
    EXPECT_EQ(Ask(again.port, "list all \n"), "alice");
    EXPECT_EQ(Ask(again.port, "register alice tcp://127.0.0.2:1\n", "127.0.0.2"),
              "error: name already in use");
    EXPECT_EQ(again.Stop(), 0);
}

TEST_F(AnsdBinaryTest, CorruptStateFileRefusesToStart)
{
    const fs::path state = dir / "state.txt";
    const std::string corrupt = "ansd-state 1\nalice tcp://127.0.0.1:5000 oops\n";
    std::ofstream(state, std::ios::binary) << corrupt;
    CAnsdProcess ansd(dir);
    EXPECT_FALSE(ansd.Start({"--port", "0", "--state", state.string()}));
    EXPECT_EQ(ansd.Stop(0), 1);
    EXPECT_NE(ansd.Errors().find("line 2"), std::string::npos) << ansd.Errors();
    EXPECT_EQ(ReadFile(state), corrupt);
}

TEST_F(AnsdBinaryTest, ConnectionLimitAndIdleTimeOut)
{
    CAnsdProcess ansd(dir);
    ASSERT_TRUE(ansd.Start({"--port", "0", "--max-clients", "2", "--idle", "1"})) << ansd.Errors();
    const int first = Connect(ansd.port);
    const int second = Connect(ansd.port);
    ASSERT_TRUE(SendAll(first, "lookup a\n"));
    ASSERT_TRUE(SendAll(second, "lookup a\n"));
    EXPECT_EQ(ReadReplies(first), "sorry: no such agent");
    EXPECT_EQ(ReadReplies(second), "sorry: no such agent");
    const int third = Connect(ansd.port);
    ASSERT_GE(third, 0);
    EXPECT_TRUE(SeesClose(third)) << "beyond the limit a connection is closed at once";
    // Silent connections are closed after the idle time.
    EXPECT_TRUE(SeesClose(first));
    EXPECT_TRUE(SeesClose(second));
    for (const int fd : {first, second, third})
        ::close(fd);
    EXPECT_EQ(Ask(ansd.port, "lookup a\n"), "sorry: no such agent");
}

TEST_F(AnsdBinaryTest, OptionsHelpAndPortFile)
{
    {
        CAnsdProcess help(dir);
        EXPECT_FALSE(help.Start({"--help"}));
        EXPECT_EQ(help.firstLine, "Usage: ansd [OPTION]...");
        EXPECT_EQ(help.Stop(0), 0);
    }
    for (const char* bad : {"--port=x", "--nope", "--ttl"}) {
        CAnsdProcess ansd(dir);
        EXPECT_FALSE(ansd.Start({bad}));
        EXPECT_EQ(ansd.Stop(0), 2) << bad;
        EXPECT_NE(ansd.Errors().find("ansd: "), std::string::npos);
    }
    const fs::path portFile = dir / "port";
    CAnsdProcess ansd(dir);
    ASSERT_TRUE(ansd.Start({"--port", "0", "--port-file", portFile.string()})) << ansd.Errors();
    EXPECT_EQ(ReadFile(portFile), std::to_string(ansd.port) + "\n");
    {
        CAnsdProcess taken(dir);
        EXPECT_FALSE(taken.Start({"--port", std::to_string(ansd.port)}));
        EXPECT_EQ(taken.Stop(0), 1) << "the port is in use";
    }
    EXPECT_EQ(ansd.Stop(), 0);
}
