#include <wirekit/ServerSocket.h>

#include <wirekit/ClientSocket.h>

#include "WireTestSupport.h"

#include <platform/PollEventLoop.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace wiretest;

namespace {

// Tells the test when it is destroyed and whether it was dirty by then.
class CTrackedSocket : public CClientSocket {
public:
    CTrackedSocket(CServerSocket* server, CWnd* handler, bool& destroyed, bool& dirty_at_end)
        : CClientSocket(server, handler), destroyed(destroyed), dirty_at_end(dirty_at_end)
    {
    }
    ~CTrackedSocket() override
    {
        destroyed = true;
        dirty_at_end = get_dirty() != 0;
    }

private:
    bool& destroyed;
    bool& dirty_at_end;
};

class ServerSocketTest : public ::testing::Test {
protected:
    void SetUp() override { server->set_logger(&log.logger); }

    void Listen()
    {
        ASSERT_TRUE(server->Create(0, kLoopback));
        ASSERT_TRUE(server->Listen(5));
    }

    CClientSocket* Named(const char* agent)
    {
        auto* socket = new CClientSocket(server.get(), &wnd);
        socket->set_agentname(agent);
        server->register_connection(socket);
        return socket;
    }

    CPollEventLoop loop;
    CLogFile log;
    CRecordingWnd wnd{&loop};
    std::unique_ptr<CServerSocket> server = std::make_unique<CServerSocket>(&wnd);
};

} // namespace

TEST_F(ServerSocketTest, ListensOnASystemChosenPort)
{
    EXPECT_EQ(server->get_port(), 0u);
    Listen();
    EXPECT_NE(server->get_port(), 0u);
    EXPECT_STREQ(server->get_sockets()->get_name(), "Server Sockets List");
}

TEST_F(ServerSocketTest, AcceptedConnectionsAreNumberedAndKnowTheirPeer)
{
    Listen();
    CPeer first, second;
    ASSERT_TRUE(first.connect_to(server->get_port()));
    ASSERT_TRUE(RunUntil(loop, [&] { return server->get_sockets()->get_nr_elements() == 1; }));
    ASSERT_TRUE(second.connect_to(server->get_port()));
    ASSERT_TRUE(RunUntil(loop, [&] { return server->get_sockets()->get_nr_elements() == 2; }));

    CClientSocket* a = server->get_connection(0);
    CClientSocket* b = server->get_connection(1);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(a->get_hostname(), "127.0.0.1");
    EXPECT_EQ(a->get_port(), first.local_port());
    EXPECT_EQ(b->get_port(), second.local_port());
    EXPECT_EQ(a->get_logger(), &log.logger);
    EXPECT_EQ(a->get_server(), server.get());
    EXPECT_EQ(log.count("<CServerSocket> Accept succeeded"), 2);
}

TEST_F(ServerSocketTest, WithoutAHandlerConnectionsAreRefused)
{
    CServerSocket orphan(nullptr);
    orphan.set_logger(&log.logger);
    ASSERT_TRUE(orphan.Create(0, kLoopback));
    ASSERT_TRUE(orphan.Listen(5));
    CPeer peer;
    ASSERT_TRUE(peer.connect_to(orphan.get_port()));
    const std::string refused = "<CServerSocket> Invalid message handler given, closing connection ,..";
    ASSERT_TRUE(RunUntil(loop, [&] { return log.count(refused) == 1; }));
    char byte = 0;
    EXPECT_EQ(peer.read_once(&byte, 1), 0) << "the peer sees the connection closed";
    EXPECT_EQ(orphan.get_sockets()->get_nr_elements(), 0);
}

TEST_F(ServerSocketTest, RegisteringKeepsThePeerUnreadAndRefusesTwice)
{
    auto* socket = new CClientSocket(server.get(), &wnd);
    EXPECT_EQ(server->register_connection(socket), 1);
    EXPECT_EQ(server->register_connection(socket), 0);
    EXPECT_EQ(server->new_connection(socket), 0);
    EXPECT_EQ(server->register_connection(nullptr), 0);
    EXPECT_EQ(server->get_sockets()->get_nr_elements(), 1);
    EXPECT_STREQ(socket->get_hostname(), "unknown host");
    EXPECT_EQ(socket->get_port(), 0u);
    EXPECT_EQ(socket->get_descriptor(), 0);
}

TEST_F(ServerSocketTest, GetConnectionByDescriptor)
{
    CClientSocket* a = Named("a");
    CClientSocket* b = Named("b");
    CClientSocket* c = Named("c");
    EXPECT_EQ(server->get_connection(-1), nullptr);
    EXPECT_EQ(server->get_connection(3), nullptr);
    EXPECT_EQ(server->get_connection(0), a);
    EXPECT_EQ(server->get_connection(2), c);
    b->set_descriptor(0);
    EXPECT_EQ(server->get_connection(0), b) << "the last of several wins";
    a->set_descriptor(-1);
    EXPECT_EQ(server->get_connection(-1), nullptr);
}

TEST_F(ServerSocketTest, DescriptorsAreNeverReused)
{
    CClientSocket* a = Named("a");
    ASSERT_EQ(server->remove_connection(a), 1);
    CClientSocket* b = Named("b");
    EXPECT_EQ(b->get_descriptor(), 1);
    EXPECT_EQ(server->get_connection(0), nullptr);
}

TEST_F(ServerSocketTest, FindConnectionTakesTheFirstCleanSocketOfThatName)
{
    CClientSocket* broken = Named("agent-a");
    CClientSocket* good = Named("agent-a");
    CClientSocket* later = Named("agent-a");
    Named("unknown agent");
    Named("broadcast agent");
    broken->set_dirty(1);
    EXPECT_EQ(server->find_connection("agent-a", "10.1.1.1", 1), good) << "host and port ignored";
    good->set_dirty(1);
    EXPECT_EQ(server->find_connection("agent-a", nullptr, 0), later);
    // A connection closed by the peer carries no reply either: one the same
    // agent opened since does.
    CClientSocket* reopened = Named("agent-a");
    later->finish();
    EXPECT_EQ(server->find_connection("agent-a", nullptr, 0), reopened);
    EXPECT_EQ(server->find_connection("Agent-a", nullptr, 0), nullptr);
    EXPECT_EQ(server->find_connection("unknown agent", nullptr, 0), nullptr);
    EXPECT_EQ(server->find_connection("broadcast agent", nullptr, 0), nullptr);
    EXPECT_EQ(server->find_connection(nullptr, nullptr, 0), nullptr);
}

TEST_F(ServerSocketTest, ForeignListElementsArePassedOver)
{
    CClientSocket* a = Named("agent-a");
    server->get_sockets()->add_element(new CListElement("stray"));
    CClientSocket* b = Named("agent-b");
    EXPECT_EQ(server->find_connection("agent-b", nullptr, 0), b);
    EXPECT_EQ(server->get_connection(0), a);
    EXPECT_EQ(server->get_connection(1), b);
}

TEST_F(ServerSocketTest, RemoveConnectionDestroysOnlyRegisteredSockets)
{
    bool destroyed = false, dirty = false;
    auto* tracked = new CTrackedSocket(server.get(), &wnd, destroyed, dirty);
    server->register_connection(tracked);
    EXPECT_EQ(server->remove_connection(tracked), 1);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(server->get_sockets()->get_nr_elements(), 0);

    bool stranger_destroyed = false, stranger_dirty = false;
    CTrackedSocket stranger(server.get(), &wnd, stranger_destroyed, stranger_dirty);
    EXPECT_EQ(server->remove_connection(&stranger), 0);
    EXPECT_FALSE(stranger_destroyed);
    EXPECT_EQ(server->remove_connection(nullptr), 0);
}

TEST_F(ServerSocketTest, DestructionMarksEveryConnectionDirtyAndDestroysIt)
{
    Listen();
    bool destroyed[2] = {false, false}, dirty[2] = {false, false};
    for (int i = 0; i < 2; ++i)
        server->register_connection(new CTrackedSocket(server.get(), &wnd, destroyed[i], dirty[i]));
    server.reset();
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(destroyed[i]);
        EXPECT_TRUE(dirty[i]);
    }
}

// Peers cannot make the agent hold connections without end: past the limit
// the connection idle longest is closed, and finished ones are destroyed.
TEST_F(ServerSocketTest, OpenConnectionsAreCappedAndFinishedOnesAreDestroyed)
{
    Listen();
    server->set_max_open(4);
    std::vector<std::unique_ptr<CPeer>> peers;
    for (int i = 0; i < 12; ++i) {
        peers.push_back(std::make_unique<CPeer>());
        ASSERT_TRUE(peers.back()->connect_to(server->get_port()));
        ASSERT_TRUE(RunUntil(loop, [&] { return log.count("<CServerSocket> Accept succeeded") == i + 1; }));
        EXPECT_LE(server->count_open(), 4u);
    }
    EXPECT_EQ(log.count("<CServerSocket> Too many open connections, closing the one idle longest"), 8);
    EXPECT_EQ(server->collect_connections(), 8);
    EXPECT_EQ(server->get_sockets()->get_nr_elements(), 4);

    // A peer that closes leaves nothing behind once its messages are handled.
    peers.back().reset();
    ASSERT_TRUE(RunUntil(loop, [&] { return server->count_open() == 3; }));
    EXPECT_EQ(server->collect_connections(), 1);
    EXPECT_EQ(server->get_sockets()->get_nr_elements(), 3);
}

TEST_F(ServerSocketTest, SilentConnectionsAreClosedAndTheOneInUseIsKept)
{
    Listen();
    CPeer partial, quiet;
    ASSERT_TRUE(partial.connect_to(server->get_port()));
    ASSERT_TRUE(quiet.connect_to(server->get_port()));
    ASSERT_TRUE(RunUntil(loop, [&] { return server->get_sockets()->get_nr_elements() == 2; }));
    ASSERT_TRUE(partial.send_all("(tell :sender half"));
    ASSERT_TRUE(RunUntil(loop, [&] { return server->get_connection(0)->get_fragment_length() > 0; }));

    server->set_idle_limits({std::chrono::seconds(-1), std::chrono::seconds(3600)});
    EXPECT_EQ(server->collect_connections(server->get_connection(0)), 0);
    EXPECT_EQ(server->count_open(), 2u);
    EXPECT_EQ(server->collect_connections(), 1);
    EXPECT_EQ(server->get_sockets()->get_nr_elements(), 1);
    server->set_idle_limits({std::chrono::seconds(-1), std::chrono::seconds(-1)});
    EXPECT_EQ(server->collect_connections(), 1);
    EXPECT_EQ(log.count("<CServerSocket> Closing a connection that stayed silent too long"), 2);
}
