#include <ansd/ClientConnection.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A connection on one end of a socket pair; the test plays the client on
// the other end.
class ClientConnectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, ends), 0);
        peerFd = ends[0];
        connection = std::make_unique<CClientConnection>(ends[1], "10.0.0.1", handler);
        registry.Register("a", "tcp://h:1", "10.0.0.1");
    }
    void TearDown() override
    {
        connection.reset();
        if (peerFd >= 0)
            ::close(peerFd);
    }

    void Send(const std::string& text)
    {
        ASSERT_EQ(::send(peerFd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
        connection->OnEvents(true, false);
    }
    std::string Receive()
    {
        std::string text;
        char chunk[65536];
        ssize_t n;
        while ((n = ::recv(peerFd, chunk, sizeof chunk, 0)) > 0)
            text.append(chunk, static_cast<std::size_t>(n));
        return text;
    }

    std::int64_t now = 100;
    CAgentRegistry registry{1000, 100, [this] { return now; }};
    CRequestHandler handler{registry, nullptr};
    std::unique_ptr<CClientConnection> connection;
    int peerFd = -1;
};

const std::string kA = "tcp://h:1\r\n\x04";
const std::string kNone = "sorry: no such agent\r\n\x04";

} // namespace

TEST_F(ClientConnectionTest, AnswersPipelinedAndSplitLinesInOrder)
{
    Send("lookup a\nlookup b\r\nloo");
    EXPECT_EQ(Receive(), kA + kNone);
    Send("kup a\r");
    EXPECT_EQ(Receive(), "");
    Send("\n");
    EXPECT_EQ(Receive(), kA);
    EXPECT_TRUE(connection->WantsRead());
    EXPECT_FALSE(connection->WantsWrite());
    EXPECT_FALSE(connection->Finished());
}

TEST_F(ClientConnectionTest, EndOfInputAnswersTheLastLineThenFinishes)
{
    ASSERT_EQ(::send(peerFd, "lookup b\nlookup a", 17, 0), 17);
    ::shutdown(peerFd, SHUT_WR);
    // As the loop does: readable again until the end has been read.
    for (int i = 0; i < 3 && connection->WantsRead(); ++i)
        connection->OnEvents(true, false);
    EXPECT_EQ(Receive(), kNone + kA);
    EXPECT_TRUE(connection->Finished());
}

TEST_F(ClientConnectionTest, TooLongRequestIsAnsweredAndEndsTheConnection)
{
    Send("lookup a\n" + std::string(1025, 'x') + "\nlookup a\n");
    EXPECT_EQ(Receive(), kA + "error: request too long\r\n\x04");
    EXPECT_TRUE(connection->Finished());
}

TEST_F(ClientConnectionTest, LimitIsOnTheLineWithoutItsEnd)
{
    Send(std::string(1024, 'x') + "\r\n");
    EXPECT_EQ(Receive(), "error: unknown request\r\n\x04");
    EXPECT_FALSE(connection->Finished());
    Send(std::string(2000, 'y'));
    EXPECT_EQ(Receive(), "error: request too long\r\n\x04");
    EXPECT_TRUE(connection->Finished());
}

TEST_F(ClientConnectionTest, ClientThatDoesNotReadStopsBeingRead)
{
    const int small = 4096;
    ::setsockopt(connection->Descriptor(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    const std::size_t count = 100000;
    std::string requests;
    for (std::size_t i = 0; i < count; ++i)
        requests += "lookup a\n";
    std::size_t sent = 0;
    // Sends as long as the server keeps taking requests.
    for (int round = 0; round < 1000 && sent < requests.size(); ++round) {
        const ssize_t n = ::send(peerFd, requests.data() + sent, requests.size() - sent, 0);
        if (n > 0)
            sent += static_cast<std::size_t>(n);
        connection->OnEvents(true, false);
        if (!connection->WantsRead())
            break;
    }
    EXPECT_FALSE(connection->WantsRead());
    EXPECT_TRUE(connection->WantsWrite());
    // Reading everything lets the connection take and answer the rest.
    std::size_t received = 0;
    for (int round = 0; round < 100000 && received < count * kA.size(); ++round) {
        received += Receive().size();
        if (sent < requests.size()) {
            const ssize_t n = ::send(peerFd, requests.data() + sent, requests.size() - sent, 0);
            if (n > 0)
                sent += static_cast<std::size_t>(n);
        }
        connection->OnEvents(connection->WantsRead(), connection->WantsWrite());
    }
    EXPECT_EQ(received, count * kA.size());
}

TEST_F(ClientConnectionTest, PeerGoneFinishes)
{
    ::close(peerFd);
    peerFd = -1;
    connection->OnEvents(true, true);
    EXPECT_TRUE(connection->Finished());
}
