#include <wirekit/SocketBase.h>

#include "WireTestSupport.h"

#include <platform/PollEventLoop.h>

#include <gtest/gtest.h>

using namespace wiretest;

namespace {

class SocketBaseTest : public ::testing::Test {
protected:
    CPollEventLoop loop;
    CRecordingWnd wnd{&loop};
    CLogFile log;
};

} // namespace

TEST_F(SocketBaseTest, StartsAsAnUnregisteredTcpConnectionOfAnUnknownAgent)
{
    CSocketBase socket(&wnd);
    EXPECT_EQ(socket.get_descriptor(), -1);
    EXPECT_EQ(socket.get_sockettype(), CSocketBase::SOCKET_TYPE_TCP);
    EXPECT_STREQ(socket.get_agentname(), "unknown agent");
    EXPECT_EQ(socket.get_dirty(), 0);
    EXPECT_EQ(socket.get_len(), 0);
    EXPECT_EQ(socket.get_handler(), &wnd);
    EXPECT_EQ(socket.get_next(), nullptr);
}

TEST_F(SocketBaseTest, AgentNameIsCopiedAndNullOrADirtySocketLeaveItAlone)
{
    CSocketBase socket(&wnd);
    char name[] = "alice_example.org-CalendarAgent";
    socket.set_agentname(name);
    name[0] = 'X';
    EXPECT_STREQ(socket.get_agentname(), "alice_example.org-CalendarAgent");
    socket.set_agentname(nullptr);
    EXPECT_STREQ(socket.get_agentname(), "alice_example.org-CalendarAgent");
    socket.set_dirty(1);
    socket.set_agentname("bob");
    EXPECT_STREQ(socket.get_agentname(), "alice_example.org-CalendarAgent");
}

TEST_F(SocketBaseTest, MarkingDirtyClosesTheDescriptor)
{
    CSocketBase socket(&wnd);
    ASSERT_TRUE(socket.Create(0, kLoopback));
    ASSERT_GE(socket.GetSocketHandle(), 0);
    socket.set_dirty(1);
    EXPECT_EQ(socket.get_dirty(), 1);
    EXPECT_EQ(socket.GetSocketHandle(), -1);
}

TEST_F(SocketBaseTest, DebugWritesToTheSharedLogUntilDirty)
{
    CSocketBase socket(&wnd);
    socket.debug("<CClientSocket> before");
    socket.set_logger(&log.logger);
    EXPECT_EQ(socket.get_logger(), &log.logger);
    socket.debug("<CClientSocket> 100% kept");
    socket.set_dirty(1);
    socket.debug("<CClientSocket> after");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"<CClientSocket> 100% kept"});
}

TEST_F(SocketBaseTest, SignalPostsMessage1029WithTypeAndDescriptor)
{
    EXPECT_EQ(WM_SOCKET_NOTIFY, 1029u);
    CSocketBase socket(&wnd);
    socket.set_descriptor(7);
    socket.set_sockettype(CSocketBase::SOCKET_TYPE_MULTICAST);
    EXPECT_EQ(socket.signal(), 1);
    EXPECT_TRUE(wnd.notifications.empty()) << "posted, not sent";
    ASSERT_TRUE(DeliverPosted(loop));
    ASSERT_EQ(wnd.notifications.size(), 1u);
    EXPECT_EQ(wnd.notifications[0].msg, 1029u);
    EXPECT_EQ(wnd.notifications[0].wparam, 9u);
    EXPECT_EQ(wnd.notifications[0].lparam, 7);
}

TEST_F(SocketBaseTest, SignalWithoutALiveHandlerPostsNothing)
{
    CSocketBase orphan(nullptr);
    EXPECT_EQ(orphan.signal(), 0);
    CSocketBase socket(&wnd);
    wnd.DestroyWindow();
    EXPECT_EQ(socket.signal(), 0);
}
