#include <platform/AsyncSocket.h>

#include <platform/PollEventLoop.h>
#include <platform/SocketError.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <chrono>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char kLoopback[] = "127.0.0.1";

// Lets each test say what its handlers do.
class CTestSocket : public CAsyncSocket {
public:
    using Handler = std::function<void(CTestSocket&, int)>;

    using CAsyncSocket::CAsyncSocket;

    Handler onAccept;
    Handler onReceive;
    Handler onConnect;
    Handler onClose;
    Handler onSend;

    // Reads everything waiting now into `into`.
    void Drain(std::string& into)
    {
        char buffer[4096];
        int n;
        while ((n = Receive(buffer, sizeof buffer)) > 0)
            into.append(buffer, static_cast<size_t>(n));
    }

protected:
    void OnAccept(int error) override { Call(onAccept, error); }
    void OnReceive(int error) override { Call(onReceive, error); }
    void OnConnect(int error) override { Call(onConnect, error); }
    void OnClose(int error) override { Call(onClose, error); }
    void OnSend(int error) override { Call(onSend, error); }

private:
    void Call(const Handler& handler, int error)
    {
        if (handler)
            handler(*this, error);
    }
};

// A plain blocking listener on 127.0.0.1 with a system-chosen port, for peers
// that must not run on the loop.
class CRawListener {
public:
    explicit CRawListener(int backlog = 8)
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            listen(fd, backlog) == 0 && getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
    }
    ~CRawListener() { close(fd); }
    int AcceptOne() const { return accept4(fd, nullptr, nullptr, SOCK_CLOEXEC); }

    int fd = -1;
    unsigned port = 0;
};

std::string ReadUntilClosed(int fd)
{
    std::string data;
    char buffer[65536];
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
        data.append(buffer, static_cast<size_t>(n));
    return data;
}

std::string Pattern(size_t size)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 4093) % 251);
    return data;
}

class AsyncSocketTest : public ::testing::Test {
protected:
    AsyncSocketTest()
    {
        watchdog = loop.AddTimer(5000, false, [this](CEventLoop::TimerId) {
            timedOut = true;
            loop.QuitAll(-1);
        });
    }
    ~AsyncSocketTest() override { loop.KillTimer(watchdog); }

    void Run()
    {
        loop.Run();
        ASSERT_FALSE(timedOut) << "the awaited event never came";
    }

    void QuitAfter(unsigned ms)
    {
        loop.AddTimer(ms, false, [this](CEventLoop::TimerId) { loop.Quit(); });
    }

    // Makes `listener` listen on 127.0.0.1; its port, 0 when it cannot.
    static unsigned Listening(CAsyncSocket& listener)
    {
        std::string host;
        unsigned port = 0;
        if (!listener.Create(0, kLoopback) || !listener.Listen() || !listener.GetSockName(host, port))
            return 0;
        return port;
    }

    // A listener on the loop and a connected pair made through it.
    void Connect(CTestSocket& listener, std::unique_ptr<CTestSocket>& server, CTestSocket& client)
    {
        ASSERT_TRUE(listener.Create(0, kLoopback));
        ASSERT_TRUE(listener.Listen());
        std::string host;
        unsigned port = 0;
        ASSERT_TRUE(listener.GetSockName(host, port));
        listener.onAccept = [&](CTestSocket& self, int) {
            server = std::make_unique<CTestSocket>();
            EXPECT_TRUE(self.Accept(*server));
            loop.Quit();
        };
        ASSERT_TRUE(client.Connect(kLoopback, port, 1000));
        Run();
        ASSERT_NE(nullptr, server);
    }

    CPollEventLoop loop;
    CEventLoop::TimerId watchdog;
    bool timedOut = false;
};

} // namespace

TEST_F(AsyncSocketTest, ListenAcceptReceiveAndPeerClose)
{
    CTestSocket listener;
    ASSERT_TRUE(listener.Create(0, kLoopback));
    ASSERT_TRUE(listener.Listen());
    std::string host;
    unsigned port = 0;
    ASSERT_TRUE(listener.GetSockName(host, port));
    EXPECT_EQ(kLoopback, host);
    EXPECT_NE(0u, port);

    std::unique_ptr<CTestSocket> server;
    std::string received;
    int close_error = -1;
    std::string peer_host;
    unsigned peer_port = 0;
    listener.onAccept = [&](CTestSocket& self, int error) {
        EXPECT_EQ(0, error);
        server = std::make_unique<CTestSocket>();
        server->onReceive = [&](CTestSocket& s, int) { s.Drain(received); };
        server->onClose = [&](CTestSocket&, int e) {
            close_error = e;
            loop.Quit();
        };
        ASSERT_TRUE(self.Accept(*server));
        EXPECT_TRUE(server->GetPeerName(peer_host, peer_port));
    };

    CTestSocket client;
    int connect_error = -1;
    client.onConnect = [&](CTestSocket& s, int error) {
        connect_error = error;
        EXPECT_EQ(5, s.Send("hello", 5));
        s.Close();
    };
    ASSERT_TRUE(client.Connect(kLoopback, port, 1000));
    EXPECT_EQ(0, client.GetLastError());
    std::string client_host;
    unsigned client_port = 0;
    ASSERT_TRUE(client.GetSockName(client_host, client_port));
    Run();

    EXPECT_EQ(0, connect_error);
    EXPECT_EQ("hello", received);
    EXPECT_EQ(0, close_error);
    EXPECT_EQ(kLoopback, peer_host);
    EXPECT_EQ(client_port, peer_port);
}

TEST_F(AsyncSocketTest, ReceiveEventWaitsUntilDataIsRead)
{
    CTestSocket listener;
    std::unique_ptr<CTestSocket> server;
    CTestSocket client;
    Connect(listener, server, client);
    int events = 0;
    std::string received;
    // The first event leaves the data unread: no further event may come until
    // a read, or the loop would spin on it.
    server->onReceive = [&](CTestSocket&, int) {
        if (++events == 1) {
            loop.AddTimer(30, false, [&](CEventLoop::TimerId) {
                server->Drain(received);
                loop.Quit();
            });
        }
    };
    ASSERT_EQ(3, client.Send("abc", 3));
    Run();
    EXPECT_EQ(1, events);
    EXPECT_EQ("abc", received);
}

TEST_F(AsyncSocketTest, ConnectEventComesBeforeTheFirstSendEvent)
{
    CTestSocket listener;
    ASSERT_TRUE(listener.Create(0, kLoopback));
    ASSERT_TRUE(listener.Listen());
    std::string host;
    unsigned port = 0;
    ASSERT_TRUE(listener.GetSockName(host, port));
    CTestSocket server;
    listener.onAccept = [&](CTestSocket& self, int) { EXPECT_TRUE(self.Accept(server)); };
    CTestSocket client;
    std::vector<std::string> order;
    client.onConnect = [&](CTestSocket&, int error) { order.push_back("connect " + std::to_string(error)); };
    client.onSend = [&](CTestSocket&, int error) {
        order.push_back("send " + std::to_string(error));
        QuitAfter(20);
    };
    ASSERT_TRUE(client.Connect(kLoopback, port, 1000));
    Run();
    EXPECT_EQ((std::vector<std::string>{"connect 0", "send 0"}), order);
    EXPECT_NE(-1, server.GetSocketHandle());
}

TEST_F(AsyncSocketTest, FourMebibyteSendArrivesWhole)
{
    CRawListener peer;
    ASSERT_NE(0u, peer.port);
    const std::string data = Pattern(4u << 20);
    std::string arrived;
    std::thread reader([&] {
        const int fd = peer.AcceptOne();
        arrived = ReadUntilClosed(fd);
        close(fd);
    });
    CAsyncSocket client;
    const bool connected = client.Connect(kLoopback, peer.port, 1000);
    const int sent = connected ? client.Send(data.data(), data.size()) : -1;
    client.Close();
    reader.join();
    ASSERT_TRUE(connected);
    EXPECT_EQ(static_cast<int>(data.size()), sent);
    EXPECT_EQ(data.size(), arrived.size());
    EXPECT_TRUE(data == arrived);
}

TEST_F(AsyncSocketTest, ConnectToClosedPortIsRefused)
{
    // Bound but not listening: the port stays ours and refuses connections.
    CAsyncSocket reserved;
    ASSERT_TRUE(reserved.Create(0, kLoopback));
    std::string host;
    unsigned port = 0;
    ASSERT_TRUE(reserved.GetSockName(host, port));

    CTestSocket client;
    int event_error = 0;
    client.onConnect = [&](CTestSocket&, int error) {
        event_error = error;
        loop.Quit();
    };
    EXPECT_FALSE(client.Connect(kLoopback, port, 1000));
    EXPECT_EQ(WSAECONNREFUSED, client.GetLastError());
    EXPECT_EQ(-1, client.GetSocketHandle());
    Run();
    EXPECT_EQ(WSAECONNREFUSED, event_error);
}

TEST_F(AsyncSocketTest, ConnectTimesOutWhenTheBacklogIsFull)
{
    CRawListener full(0);
    ASSERT_NE(0u, full.port);
    std::vector<std::unique_ptr<CAsyncSocket>> fillers;
    int failure = 0;
    for (int attempt = 0; attempt < 16 && failure == 0; ++attempt) {
        auto socket = std::make_unique<CAsyncSocket>();
        if (!socket->Connect(kLoopback, full.port, 200))
            failure = socket->GetLastError();
        fillers.push_back(std::move(socket));
    }
    EXPECT_EQ(WSAETIMEDOUT, failure);
    EXPECT_EQ(-1, fillers.back()->GetSocketHandle());
}

TEST_F(AsyncSocketTest, SendToResetPeerFailsWithoutSigpipe)
{
    CRawListener peer;
    CTestSocket client;
    int close_error = 0;
    client.onClose = [&](CTestSocket&, int error) {
        close_error = error;
        loop.Quit();
    };
    ASSERT_TRUE(client.Connect(kLoopback, peer.port, 1000));
    const int accepted = peer.AcceptOne();
    ASSERT_GE(accepted, 0);
    linger reset{1, 0};
    ASSERT_EQ(0, setsockopt(accepted, SOL_SOCKET, SO_LINGER, &reset, sizeof reset));
    close(accepted);
    Run();
    EXPECT_EQ(WSAECONNRESET, close_error);
    EXPECT_EQ(-1, client.Send("after reset", 11));
    EXPECT_EQ(WSAECONNRESET, client.GetLastError());
    EXPECT_EQ(-1, client.Send("again", 5));
    EXPECT_EQ(WSAECONNRESET, client.GetLastError());
}

TEST_F(AsyncSocketTest, SendTimeOutMidBufferShutsTheSendingSide)
{
    CRawListener peer;
    CAsyncSocket client;
    ASSERT_TRUE(client.Connect(kLoopback, peer.port, 1000));
    const int accepted = peer.AcceptOne();
    ASSERT_GE(accepted, 0);
    client.SetSendTimeout(100);
    EXPECT_EQ(100u, client.GetSendTimeout());
    // Far more than the socket buffers hold while nobody reads.
    const std::string data(32u << 20, 'q');
    EXPECT_EQ(-1, client.Send(data.data(), data.size()));
    EXPECT_EQ(WSAETIMEDOUT, client.GetLastError());
    EXPECT_EQ(-1, client.Send("x", 1));
    EXPECT_EQ(WSAESHUTDOWN, client.GetLastError());
    // The peer sees the cut message end, not more data glued to it.
    const std::string arrived = ReadUntilClosed(accepted);
    close(accepted);
    EXPECT_GT(arrived.size(), 0u);
    EXPECT_LT(arrived.size(), data.size());
    EXPECT_EQ(std::string::npos, arrived.find('x'));
}

TEST_F(AsyncSocketTest, ConnectionLeftUnacceptedIsRefused)
{
    CTestSocket listener;
    const unsigned port = Listening(listener);
    ASSERT_NE(port, 0u);
    int offers = 0;
    listener.onAccept = [&](CTestSocket&, int) { ++offers; };
    CTestSocket first;
    CTestSocket second;
    int closed = 0;
    auto on_close = [&](CTestSocket&, int) {
        if (++closed == 2)
            loop.Quit();
    };
    first.onClose = on_close;
    second.onClose = on_close;
    ASSERT_TRUE(first.Connect(kLoopback, port, 1000));
    ASSERT_TRUE(second.Connect(kLoopback, port, 1000));
    Run();
    EXPECT_EQ(2, closed);
    EXPECT_GE(offers, 1);
}

// Out of descriptors, a listener must not spin on a connection it cannot
// take: each failed accept pauses it, and it takes the connection once
// descriptors are back. Run in a child, whose descriptor limit can drop.
// A listener on a system that has no descriptor left for the first few
// connections it tries to take.
class CShortListener : public CTestSocket {
public:
    using CTestSocket::CTestSocket;
    int shortFor = 3;

protected:
    int AcceptDescriptor(int listener) override
    {
        if (shortFor > 0) {
            --shortFor;
            errno = EMFILE;
            return -1;
        }
        return CTestSocket::AcceptDescriptor(listener);
    }
};

// Out of descriptors, a listener must not spin on a connection it cannot
// take: each failed accept pauses it, and it takes the connection once
// descriptors are back.
TEST_F(AsyncSocketTest, AListenerOutOfDescriptorsPausesInsteadOfSpinning)
{
    CShortListener listener;
    const unsigned port = Listening(listener);
    ASSERT_NE(port, 0u);
    int offers = 0;
    std::unique_ptr<CTestSocket> server;
    listener.onAccept = [&](CTestSocket& self, int) {
        ++offers;
        server = std::make_unique<CTestSocket>();
        if (self.Accept(*server))
            loop.Quit();
        else
            EXPECT_EQ(self.GetLastError(), WSAEMFILE);
    };
    CTestSocket client;
    ASSERT_TRUE(client.Connect(kLoopback, port, 1000));
    const auto start = std::chrono::steady_clock::now();
    Run();
    EXPECT_EQ(offers, 4);
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(3 * CAsyncSocket::kAcceptPauseMs));
    ASSERT_NE(server, nullptr);
    EXPECT_GE(server->GetSocketHandle(), 0);
}

TEST_F(AsyncSocketTest, NestedModalRunServesSocketAndTimer)
{
    CTestSocket listener;
    std::unique_ptr<CTestSocket> server;
    CTestSocket client;
    Connect(listener, server, client);
    bool received_in_modal = false;
    bool ticked_in_modal = false;
    auto end_modal_when_done = [&] {
        if (received_in_modal && ticked_in_modal)
            loop.Quit(21);
    };
    std::string received;
    server->onReceive = [&](CTestSocket& s, int) {
        s.Drain(received);
        received_in_modal = loop.RunDepth() == 2 && received == "ping";
        end_modal_when_done();
    };
    int modal_result = 0;
    loop.Post([&] {
        loop.AddTimer(5, false, [&](CEventLoop::TimerId) {
            ticked_in_modal = loop.RunDepth() == 2;
            end_modal_when_done();
        });
        EXPECT_EQ(4, client.Send("ping", 4));
        modal_result = loop.Run();
        loop.Quit();
    });
    Run();
    EXPECT_EQ(21, modal_result);
    EXPECT_TRUE(received_in_modal);
    EXPECT_TRUE(ticked_in_modal);
}

TEST_F(AsyncSocketTest, HandlerMayDeleteItsOwnSocket)
{
    CTestSocket listener;
    std::unique_ptr<CTestSocket> server;
    CTestSocket client;
    Connect(listener, server, client);
    std::string received;
    server->onReceive = [&](CTestSocket& s, int) { s.Drain(received); };
    server->onClose = [&](CTestSocket&, int) {
        // Last: the handler itself goes with the socket.
        QuitAfter(20);
        server.reset();
    };
    ASSERT_EQ(3, client.Send("bye", 3));
    client.Close();
    Run();
    EXPECT_EQ(nullptr, server);
    EXPECT_EQ("bye", received);
}

TEST_F(AsyncSocketTest, ClosingFromReceiveDropsTheRest)
{
    CTestSocket listener;
    std::unique_ptr<CTestSocket> server;
    CTestSocket client;
    Connect(listener, server, client);
    int receives = 0;
    int closes = 0;
    server->onReceive = [&](CTestSocket& s, int) {
        ++receives;
        s.Close();
        QuitAfter(20);
    };
    server->onClose = [&](CTestSocket&, int) { ++closes; };
    ASSERT_EQ(2, client.Send("hi", 2));
    client.Close();
    Run();
    EXPECT_EQ(1, receives);
    EXPECT_EQ(0, closes);
    EXPECT_EQ(-1, server->GetSocketHandle());
}

TEST_F(AsyncSocketTest, BadCallsFailWithAnError)
{
    CAsyncSocket socket;
    char buffer[8];
    EXPECT_EQ(-1, socket.Send("x", 1));
    EXPECT_EQ(WSAENOTSOCK, socket.GetLastError());
    EXPECT_EQ(-1, socket.Receive(buffer, sizeof buffer));
    EXPECT_EQ(WSAENOTSOCK, socket.GetLastError());
    EXPECT_FALSE(socket.Listen());
    EXPECT_EQ(WSAENOTSOCK, socket.GetLastError());
    EXPECT_FALSE(socket.Connect(nullptr, 80));
    EXPECT_EQ(WSAEDESTADDRREQ, socket.GetLastError());
    EXPECT_FALSE(socket.Connect(kLoopback, 0));
    EXPECT_EQ(WSAEADDRNOTAVAIL, socket.GetLastError());
    EXPECT_FALSE(socket.Connect(kLoopback, 70000));
    EXPECT_EQ(WSAEADDRNOTAVAIL, socket.GetLastError());
    EXPECT_FALSE(socket.Connect("not a host name", 80));
    EXPECT_EQ(WSAHOST_NOT_FOUND, socket.GetLastError());
    EXPECT_FALSE(socket.Create(70000, kLoopback));
    EXPECT_EQ(WSAEINVAL, socket.GetLastError());
    std::string host;
    unsigned port = 0;
    EXPECT_FALSE(socket.GetPeerName(host, port));

    ASSERT_TRUE(socket.Create(0, kLoopback));
    EXPECT_FALSE(socket.Create(0, kLoopback));
    EXPECT_EQ(WSAEISCONN, socket.GetLastError());
    EXPECT_EQ(-1, socket.Receive(buffer, sizeof buffer));
    EXPECT_EQ(WSAENOTCONN, socket.GetLastError());
    EXPECT_EQ(-1, socket.Send("x", 1));
    EXPECT_EQ(WSAENOTCONN, socket.GetLastError());
    CAsyncSocket other;
    EXPECT_FALSE(socket.Accept(other));
    EXPECT_EQ(WSAEINVAL, socket.GetLastError());
    EXPECT_FALSE(socket.GetPeerName(host, port));

    ASSERT_TRUE(socket.Listen());
    EXPECT_FALSE(socket.Accept(other));
    EXPECT_EQ(WSAEWOULDBLOCK, socket.GetLastError());
    EXPECT_FALSE(socket.Accept(socket));
    EXPECT_EQ(WSAEISCONN, socket.GetLastError());
}

TEST_F(AsyncSocketTest, PortInUseIsReported)
{
    CAsyncSocket first;
    ASSERT_TRUE(first.Create(0, kLoopback));
    ASSERT_TRUE(first.Listen());
    std::string host;
    unsigned port = 0;
    ASSERT_TRUE(first.GetSockName(host, port));
    CAsyncSocket second;
    EXPECT_FALSE(second.Create(port, kLoopback));
    EXPECT_EQ(WSAEADDRINUSE, second.GetLastError());
    EXPECT_EQ(-1, second.GetSocketHandle());
}

TEST_F(AsyncSocketTest, ExchangeReadsTheWholeReply)
{
    CRawListener server;
    std::string request;
    std::thread peer([&] {
        const int fd = server.AcceptOne();
        char c;
        while (recv(fd, &c, 1, 0) == 1) {
            request += c;
            if (c == '\n')
                break;
        }
        const std::string reply = "tcp://127.0.0.1:7000\r\n";
        send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        close(fd);
    });
    std::string reply;
    int error = -1;
    const bool ok =
        CAsyncSocket::Exchange(kLoopback, server.port, "lookup bob\n", reply, 11024, 2000, &error);
    peer.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(0, error);
    EXPECT_EQ("lookup bob\n", request);
    EXPECT_EQ("tcp://127.0.0.1:7000\r\n", reply);
}

TEST_F(AsyncSocketTest, ExchangeStopsAtTheByteLimit)
{
    CRawListener server;
    std::thread peer([&] {
        const int fd = server.AcceptOne();
        const std::string reply(100, 'r');
        send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        // Held open until the client goes: only the limit can end its read.
        ReadUntilClosed(fd);
        close(fd);
    });
    std::string reply;
    const bool ok = CAsyncSocket::Exchange(kLoopback, server.port, "list all \n", reply, 10, 2000);
    peer.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(std::string(10, 'r'), reply);
}

TEST_F(AsyncSocketTest, ExchangeTimesOutOnASilentServer)
{
    CRawListener silent;
    std::string reply = "stale";
    int error = 0;
    EXPECT_FALSE(CAsyncSocket::Exchange(kLoopback, silent.port, "lookup x\n", reply, 100, 200, &error));
    EXPECT_EQ(WSAETIMEDOUT, error);
    EXPECT_TRUE(reply.empty());
}

TEST_F(AsyncSocketTest, ExchangeReportsRefusalAndBadArguments)
{
    CAsyncSocket reserved;
    ASSERT_TRUE(reserved.Create(0, kLoopback));
    std::string host;
    unsigned port = 0;
    ASSERT_TRUE(reserved.GetSockName(host, port));
    std::string reply;
    int error = 0;
    EXPECT_FALSE(CAsyncSocket::Exchange(kLoopback, port, "x\n", reply, 100, 1000, &error));
    EXPECT_EQ(WSAECONNREFUSED, error);
    EXPECT_FALSE(CAsyncSocket::Exchange(nullptr, port, "x\n", reply, 100, 1000, &error));
    EXPECT_EQ(WSAEDESTADDRREQ, error);
    EXPECT_FALSE(CAsyncSocket::Exchange(kLoopback, 0, "x\n", reply, 100, 1000, &error));
    EXPECT_EQ(WSAEADDRNOTAVAIL, error);
}
