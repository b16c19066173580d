#include <outlook/DavClient.h>

#include <outlook/testing/RadicaleServer.h>

#include <platform/testing/Loopback.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using outlook::CDavClient;
using testsupport::CRadicaleServer;

// Counts the answers a Radicale log tells of, and those of them that were
// 401.
std::pair<int, int> Answers(const std::string& log)
{
    int all = 0, refused = 0;
    for (std::size_t at = log.find(" response status for "); at != std::string::npos;
         at = log.find(" response status for ", at + 1)) {
        ++all;
        const std::size_t end = log.find('\n', at);
        refused += log.substr(at, end - at).find(": 401 ") != std::string::npos;
    }
    return {all, refused};
}

TEST(DavClientTest, EveryRequestToRadicaleIsAnsweredAtTheFirstTry)
{
    if (!CRadicaleServer::Available())
        GTEST_SKIP() << "radicale is not installed";
    CRadicaleServer server;
    server.LogRequests();
    ASSERT_TRUE(server.Start()) << server.Errors();
    const CDavClient client({CRadicaleServer::User, 5000});
    ASSERT_EQ(client.Request("MKCALENDAR", server.Url("/ann/calendar/"), {}).status, 201);
    const std::string event =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VEVENT\r\nUID:u-1\r\n"
        "DTSTAMP:20310101T000000Z\r\nDTSTART:20310304T090000Z\r\nSUMMARY:One\r\n"
        "END:VEVENT\r\nEND:VCALENDAR\r\n";
    const CDavClient::SReply put =
        client.Put(server.Url("/ann/calendar/u-1.ics"), event, "text/calendar", "");
    ASSERT_EQ(put.status, 201);
    EXPECT_TRUE(client.Put(server.Url("/ann/calendar/u-1.ics"), event, "text/calendar", put.etag).Ok());
    EXPECT_EQ(client.Propfind(server.Url("/ann/calendar/"), 1, "").status, 207);
    EXPECT_EQ(Answers(server.Errors()), std::make_pair(4, 0)) << server.Errors();
}

// A server of HTTP/1.1 connections that takes Digest alone: a request
// without a Digest answer gets its challenge. It does not check the answer:
// what is tested is which scheme the client sends, and on how many
// connections.
class CDigestOnlyServer {
public:
    CDigestOnlyServer()
    {
        m_listen = testsupport::BoundLoopbackSocket(m_port);
        if (m_listen >= 0 && ::listen(m_listen, 8) == 0)
            m_thread = std::thread([this] { Serve(); });
    }
    ~CDigestOnlyServer()
    {
        m_stop = true;
        ::shutdown(m_listen, SHUT_RDWR);
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listen);
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/cal/"; }
    // The scheme of each request in turn: "Basic", "Digest" or "".
    std::vector<std::string> Schemes() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_schemes;
    }
    int Connections() const { return m_connections; }

private:
    void Serve()
    {
        while (!m_stop) {
            const int connection = ::accept(m_listen, nullptr, nullptr);
            if (connection < 0)
                return;
            ++m_connections;
            while (AnswerOne(connection)) {
            }
            ::close(connection);
        }
    }
    bool AnswerOne(int connection)
    {
        std::string request;
        char c = 0;
        while (request.find("\r\n\r\n") == std::string::npos && ::read(connection, &c, 1) == 1)
            request += c;
        if (request.empty())
            return false;
        const std::size_t length = request.find("Content-Length: ");
        for (long body = length == std::string::npos ? 0 : std::stol(request.substr(length + 16)); body > 0;
             --body) {
            if (::read(connection, &c, 1) != 1)
                return false;
        }
        const std::size_t authorization = request.find("Authorization: ");
        const std::string scheme =
            authorization == std::string::npos
                ? std::string()
                : request.substr(authorization + 15,
                                 request.find(' ', authorization + 15) - authorization - 15);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_schemes.push_back(scheme);
        }
        const std::string answer = scheme == "Digest"
                                       ? "HTTP/1.1 207 Multi-Status\r\nContent-Length: 0\r\n\r\n"
                                       : "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"r\", "
                                         "nonce=\"n1\", qop=\"auth\"\r\nContent-Length: 0\r\n\r\n";
        return ::write(connection, answer.data(), answer.size()) == static_cast<ssize_t>(answer.size());
    }

    int m_listen = -1;
    unsigned m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_schemes;
};

TEST(DavClientTest, AServerThatTakesDigestAloneGetsDigestFromThenOnOnOneConnection)
{
    CRadicaleServer home; // its HOME holds the user's .netrc
    CDigestOnlyServer server;
    const CDavClient client({CRadicaleServer::User, 5000});
    EXPECT_EQ(client.Propfind(server.Url(), 0, "").status, 207);
    EXPECT_EQ(client.Propfind(server.Url(), 0, "").status, 207);
    EXPECT_EQ(server.Schemes(), (std::vector<std::string>{"Basic", "", "Digest", "", "Digest"}));
    EXPECT_EQ(server.Connections(), 1);
}

} // namespace
