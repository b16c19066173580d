#include <agentkit/HTTPDriver.h>

#include "AgentTestSupport.h"

#include <platform/PollEventLoop.h>
#include <wirekit/ClientSocket.h>
#include <wirekit/ServerSocket.h>

#include <gtest/gtest.h>

#include <cstring>

using agenttest::CPeer;
using agenttest::RunUntil;

namespace {

// A listening server with one accepted connection from a blocking peer.
class HTTPDriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Create(0, agenttest::kLoopback));
        ASSERT_TRUE(server.Listen());
        ASSERT_TRUE(peer.connect_to(server.get_port()));
        ASSERT_TRUE(RunUntil(loop, [&] { return server.get_sockets()->get_nr_elements() == 1; }));
        connection = server.get_connection(0);
        ASSERT_NE(connection, nullptr);
    }

    void queue(const std::string& text)
    {
        std::string data = text;
        connection->buffer_data(data.data(), static_cast<int>(data.size()));
    }

    CPollEventLoop loop;
    CWnd window{&loop};
    CServerSocket server{&window};
    CPeer peer;
    CClientSocket* connection = nullptr;
    CHTTPDriver driver;
};

} // namespace

TEST_F(HTTPDriverTest, AnswersNotImplementedAndClosesTheConnection)
{
    queue("GET / HTTP/1.0\r\nHost: localhost\r\n\r\n\x04");
    ASSERT_NE(connection->mfc_getdata(), nullptr);
    EXPECT_EQ(driver.handle_request(connection), 1);
    EXPECT_EQ(connection->get_dirty(), 1);

    const std::string answer = peer.receive_all();
    EXPECT_EQ(answer, CHTTPDriver::not_implemented_response());
    EXPECT_EQ(answer.rfind("HTTP/1.0 501 Not Implemented\r\n", 0), 0u);
    const size_t body = answer.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos);
    EXPECT_NE(answer.find("Content-Length: " + std::to_string(answer.size() - body - 4)), std::string::npos);
}

TEST_F(HTTPDriverTest, NothingQueuedOrNoSocketLeavesTheConnectionAlone)
{
    EXPECT_EQ(driver.handle_request(nullptr), 0);
    EXPECT_EQ(driver.handle_request(connection), 0);
    EXPECT_EQ(connection->get_dirty(), 0);

    queue("GET / HTTP/1.0\r\n\r\n\x04");
    connection->set_dirty(1);
    EXPECT_EQ(driver.handle_request(connection), 0);
}
