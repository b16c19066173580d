#include <outlook/SmtpMailSender.h>

#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using outlook::CMailData;
using outlook::CSmtpMailSender;
using testsupport::CTempDir;
using testsupport::ReadFile;

namespace {
// What one SMTP session delivered.
struct Delivery {
    std::string helo;
    std::string mailFrom;
    std::vector<std::string> recipients;
    std::string data; // unstuffed, CRLF line ends
};

// A tiny SMTP server on 127.0.0.1 at a port the system chooses, serving
// sessions one after another on its own thread until it is destroyed.
class SmtpSink {
public:
    enum class Mode { Accept, RefuseRecipient, Silent };

    explicit SmtpSink(Mode mode) : m_mode(mode)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(m_listener, 4) == 0 &&
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~SmtpSink()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    std::string Url() const { return "smtp://127.0.0.1:" + std::to_string(m_port); }
    std::vector<Delivery> Deliveries() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_deliveries;
    }

private:
    bool WaitReadable(int fd) const
    {
        pollfd entry{fd, POLLIN, 0};
        while (!m_stop) {
            const int ready = ::poll(&entry, 1, 50);
            if (ready > 0)
                return true;
            if (ready < 0)
                return false;
        }
        return false;
    }

    void Serve()
    {
        while (WaitReadable(m_listener)) {
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            Session(client);
            ::close(client);
        }
    }

    bool ReadLine(int fd, std::string& buffer, std::string& line) const
    {
        for (;;) {
            const std::string::size_type end = buffer.find("\r\n");
            if (end != std::string::npos) {
                line = buffer.substr(0, end);
                buffer.erase(0, end + 2);
                return true;
            }
            if (!WaitReadable(fd))
                return false;
            char chunk[4096];
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got <= 0)
                return false;
            buffer.append(chunk, static_cast<std::size_t>(got));
        }
    }

    static void Reply(int fd, const std::string& text)
    {
        const std::string line = text + "\r\n";
        ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
    }

    static std::string Verb(const std::string& line)
    {
        std::string verb = line.substr(0, line.find_first_of(" :"));
        for (char& c : verb)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return verb;
    }

    bool ReadData(int fd, std::string& buffer, Delivery& delivery) const
    {
        std::string line;
        while (ReadLine(fd, buffer, line)) {
            if (line == ".")
                return true;
            delivery.data += (line.compare(0, 1, ".") == 0 ? line.substr(1) : line) + "\r\n";
        }
        return false;
    }

    void Session(int fd)
    {
        if (m_mode == Mode::Silent) {
            std::string buffer, line;
            while (ReadLine(fd, buffer, line)) {
            }
            return;
        }
        Reply(fd, "220 sink ESMTP ready");
        Delivery delivery;
        std::string buffer, line;
        while (ReadLine(fd, buffer, line)) {
            const std::string verb = Verb(line);
            if (verb == "EHLO" || verb == "HELO") {
                delivery.helo = line;
                Reply(fd, "250-sink\r\n250 8BITMIME");
            } else if (verb == "MAIL") {
                delivery.mailFrom = line.substr(line.find(':') + 1);
                Reply(fd, "250 sender ok");
            } else if (verb == "RCPT" && m_mode == Mode::RefuseRecipient) {
                Reply(fd, "550 no such user here");
            } else if (verb == "RCPT") {
                delivery.recipients.push_back(line.substr(line.find(':') + 1));
                Reply(fd, "250 recipient ok");
            } else if (verb == "DATA") {
                Reply(fd, "354 go ahead");
                if (!ReadData(fd, buffer, delivery))
                    return;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_deliveries.push_back(delivery);
                }
                Reply(fd, "250 queued");
            } else if (verb == "QUIT") {
                Reply(fd, "221 bye");
                return;
            } else if (verb == "RSET" || verb == "NOOP") {
                Reply(fd, "250 ok");
            } else {
                Reply(fd, "502 not here");
            }
        }
    }

    Mode m_mode;
    int m_listener = -1;
    unsigned short m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Delivery> m_deliveries;
    std::thread m_thread;
};

CMailData Mail(const std::string& to, const std::string& subject, const std::string& body)
{
    CMailData mail;
    mail.to = to;
    mail.subject = subject;
    mail.body = body;
    return mail;
}

CSmtpMailSender::Settings SettingsFor(const std::string& url)
{
    CSmtpMailSender::Settings settings;
    settings.url = url;
    settings.from = "agent@example.org";
    settings.connectTimeoutMs = 2000;
    settings.totalTimeoutMs = 5000;
    return settings;
}

// A port on 127.0.0.1 that nothing listens on.
unsigned short ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}
} // namespace

TEST(SmtpMailSender, SinkReceivesTheMessage)
{
    testsupport::CTempDir dir;
    SmtpSink sink(SmtpSink::Mode::Accept);
    CSmtpMailSender sender(SettingsFor(sink.Url()), dir.Path());
    std::string error;
    ASSERT_TRUE(sender.Send(Mail("ann@example.org", "Appointment",
                                 "Review@12/7/2026 9:00:00 AM>Room 4\n.\n..two dots\nFrom here\n"),
                            error))
        << error;

    const std::vector<Delivery> deliveries = sink.Deliveries();
    ASSERT_EQ(1u, deliveries.size());
    const Delivery& delivery = deliveries[0];
    EXPECT_EQ("<agent@example.org>", delivery.mailFrom);
    ASSERT_EQ(1u, delivery.recipients.size());
    EXPECT_EQ("<ann@example.org>", delivery.recipients[0]);
    const std::string::size_type blank = delivery.data.find("\r\n\r\n");
    ASSERT_NE(std::string::npos, blank);
    const std::string head = delivery.data.substr(0, blank + 2);
    EXPECT_EQ(0u, head.find("From: agent@example.org\r\nTo: ann@example.org\r\nSubject: Appointment\r\n"
                            "Date: "));
    EXPECT_NE(std::string::npos, head.find("\r\nMessage-ID: <"));
    EXPECT_NE(std::string::npos, head.find("\r\nMIME-Version: 1.0\r\n"));
    EXPECT_NE(std::string::npos, head.find("\r\nContent-Type: text/plain; charset=UTF-8\r\n"));
    EXPECT_EQ("Review@12/7/2026 9:00:00 AM>Room 4\r\n.\r\n..two dots\r\nFrom here\r\n",
              delivery.data.substr(blank + 4));
    EXPECT_FALSE(std::ifstream(dir.File("outbox.mbox")).good());
}

TEST(SmtpMailSender, RefusedRecipientLeavesTheMessageInTheOutbox)
{
    testsupport::CTempDir dir;
    SmtpSink sink(SmtpSink::Mode::RefuseRecipient);
    CSmtpMailSender sender(SettingsFor(sink.Url()), dir.Path());
    std::string error;
    EXPECT_FALSE(sender.Send(Mail("nobody@example.org", "Lost?", "Not lost."), error));
    EXPECT_NE(std::string::npos, error.find("550")) << error;
    EXPECT_NE(std::string::npos, error.find("; kept in outbox.mbox")) << error;
    EXPECT_TRUE(sink.Deliveries().empty());
    const std::string outbox = ReadFile(dir.File("outbox.mbox"));
    EXPECT_EQ(0u, outbox.find("From agent@example.org "));
    EXPECT_NE(std::string::npos, outbox.find("\nTo: nobody@example.org\nSubject: Lost?\n"));
    EXPECT_NE(std::string::npos, outbox.find("\n\nNot lost.\n"));
}

TEST(SmtpMailSender, ServerNotListeningLeavesTheMessageInTheOutbox)
{
    testsupport::CTempDir dir;
    CSmtpMailSender sender(SettingsFor("smtp://127.0.0.1:" + std::to_string(ClosedPort())), dir.Path());
    std::string error;
    EXPECT_FALSE(sender.Send(Mail("ann@example.org", "s", "kept"), error));
    EXPECT_NE(std::string::npos, error.find("; kept in outbox.mbox")) << error;
    EXPECT_NE(std::string::npos, ReadFile(dir.File("outbox.mbox")).find("\n\nkept\n"));
}

TEST(SmtpMailSender, SilentServerTimesOut)
{
    testsupport::CTempDir dir;
    SmtpSink sink(SmtpSink::Mode::Silent);
    CSmtpMailSender::Settings settings = SettingsFor(sink.Url());
    settings.totalTimeoutMs = 300;
    CSmtpMailSender sender(settings, dir.Path());
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(sender.Send(Mail("ann@example.org", "s", "kept"), error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_NE(std::string::npos, error.find("; kept in outbox.mbox")) << error;
}

TEST(SmtpMailSender, OtherSchemesAreNotUsed)
{
    testsupport::CTempDir dir;
    CSmtpMailSender sender(SettingsFor("file:///etc/passwd"), dir.Path());
    std::string error;
    EXPECT_FALSE(sender.Send(Mail("ann@example.org", "s", "b"), error));
    EXPECT_NE(std::string::npos, error.find("smtp://")) << error;
    EXPECT_NE(std::string::npos, error.find("; kept in outbox.mbox")) << error;
    EXPECT_TRUE(CSmtpMailSender::IsSmtpUrl("SMTP://mail.example.org"));
    EXPECT_TRUE(CSmtpMailSender::IsSmtpUrl("smtps://mail.example.org:465"));
    EXPECT_FALSE(CSmtpMailSender::IsSmtpUrl("smtp://"));
    EXPECT_FALSE(CSmtpMailSender::IsSmtpUrl("http://mail.example.org"));
}

TEST(SmtpMailSender, InjectionIsRefusedBeforeAnythingIsSent)
{
    testsupport::CTempDir dir;
    SmtpSink sink(SmtpSink::Mode::Accept);
    CSmtpMailSender sender(SettingsFor(sink.Url()), dir.Path());
    std::string error;
    EXPECT_FALSE(sender.Send(Mail("ann@example.org\r\nRCPT TO:<eve@example.org>", "s", "b"), error));
    EXPECT_NE("", error);
    EXPECT_FALSE(sender.Send(Mail("ann@example.org", "s\r\nBcc: eve@example.org", "b"), error));
    EXPECT_FALSE(sender.Send(Mail("ann@example.org;eve@example.org", "s", "b"), error));
    EXPECT_EQ(std::string::npos, error.find("outbox"));
    EXPECT_TRUE(sink.Deliveries().empty());
    EXPECT_FALSE(std::ifstream(dir.File("outbox.mbox")).good());
}
