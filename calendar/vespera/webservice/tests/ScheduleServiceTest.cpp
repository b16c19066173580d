#include <vespera/webservice/ScheduleService.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(ScheduleService, ResultIsReadFromPlainAndPrefixedElements)
{
    struct Case {
        const char* response;
        bool found;
        const char* result;
    } cases[] = {
        {"<HelloWorldResponse><HelloWorldResult>Hello World</HelloWorldResult></HelloWorldResponse>", true,
         "Hello World"},
        {"<m:HelloWorldResult xmlns:m=\"x\">Hi</m:HelloWorldResult>", true, "Hi"},
        {"<HelloWorldResult/>", true, ""},
        {"<soap:Fault>no</soap:Fault>", false, ""},
        {"<HelloWorldResult>never closed", false, ""},
    };
    for (const Case& c : cases) {
        std::string result;
        EXPECT_EQ(CScheduleService::ResultOf(c.response, "HelloWorld", result), c.found) << c.response;
        if (c.found) {
            EXPECT_EQ(result, c.result);
        }
    }
}

// Answers one HTTP request on 127.0.0.1 with `reply` and remembers what it
// was sent.
class COneShotServer {
public:
    explicit COneShotServer(std::string reply) : m_reply(std::move(reply))
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(m_listener, 1);
        socklen_t length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~COneShotServer()
    {
        m_thread.join();
        close(m_listener);
    }
    std::string Address() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/Service.asmx"; }
    const std::string& Request() const { return m_request; }

private:
    void Serve()
    {
        const int connection = accept(m_listener, nullptr, nullptr);
        char buffer[4096];
        // The request is small: headers and body arrive before the envelope
        // is closed.
        while (m_request.find("</soap:Envelope>") == std::string::npos) {
            const ssize_t got = read(connection, buffer, sizeof buffer);
            if (got <= 0)
                break;
            m_request.append(buffer, static_cast<std::size_t>(got));
        }
        const std::string response =
            "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(m_reply.size()) +
            "\r\nConnection: close\r\n\r\n" + m_reply;
        ssize_t ignored = write(connection, response.data(), response.size());
        (void)ignored;
        close(connection);
    }

    std::string m_reply;
    std::string m_request;
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
};

TEST(ScheduleService, HelloWorldPostsTheEnvelopeAndReadsTheAnswer)
{
    COneShotServer server("<soap:Envelope><soap:Body><HelloWorldResponse><HelloWorldResult>Hello "
                          "World</HelloWorldResult></HelloWorldResponse></soap:Body></soap:Envelope>");
    std::string result;
    std::string error;
    EXPECT_TRUE(CScheduleService(server.Address(), 5).HelloWorld(result, error)) << error;
    EXPECT_EQ(result, "Hello World");
    EXPECT_NE(server.Request().find("SOAPAction: \"http://orvante.org/ScheduleService/HelloWorld\""),
              std::string::npos);
    EXPECT_NE(server.Request().find("<HelloWorld xmlns="), std::string::npos);
}

TEST(ScheduleService, FailuresSayWhy)
{
    std::string result;
    std::string error;
    EXPECT_FALSE(CScheduleService("", 1).HelloWorld(result, error));
    EXPECT_NE(error.find("no service address"), std::string::npos);
    EXPECT_FALSE(CScheduleService("file:///etc/passwd", 1).HelloWorld(result, error));
    EXPECT_NE(error.find("not an http"), std::string::npos);
    // A port that nothing listens on: bound and closed again.
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    close(probe);
    EXPECT_FALSE(CScheduleService("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", 2)
                     .HelloWorld(result, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
