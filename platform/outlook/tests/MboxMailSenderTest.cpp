#include <outlook/MailMessage.h>
#include <outlook/MboxMailSender.h>

#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using outlook::CMailData;
using outlook::CMailMessage;
using outlook::CMboxMailSender;
using testsupport::CTempDir;
using testsupport::ReadFile;

namespace {
CMailData Mail(const std::string& to, const std::string& subject, const std::string& body)
{
    CMailData mail;
    mail.to = to;
    mail.subject = subject;
    mail.body = body;
    return mail;
}

// The messages of an mbox text: each from its "From " line to the next.
std::vector<std::string> SplitMbox(const std::string& text)
{
    std::vector<std::string> messages;
    std::string::size_type start = 0;
    while (start < text.size()) {
        std::string::size_type next = text.find("\nFrom ", start);
        next = next == std::string::npos ? text.size() : next + 1;
        messages.push_back(text.substr(start, next - start));
        start = next;
    }
    return messages;
}

// Lowers the file size limit for the life of the object; writing past it
// fails with EFBIG instead of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};
} // namespace

TEST(MboxMailSender, TwoMessagesAppendedAndReadBack)
{
    testsupport::CTempDir dir;
    CMboxMailSender outbox(dir.Path() + "/new/sub", "agent@example.org");
    std::string error;
    ASSERT_TRUE(outbox.Send(Mail("ann@example.org", "First", "Hello Ann,\r\nsee you.\r\n"), error)) << error;
    ASSERT_TRUE(outbox.Send(Mail("bob@example.org", "Second", "Bob"), error)) << error;
    EXPECT_EQ(dir.Path() + "/new/sub/outbox.mbox", outbox.GetPath());

    const std::string text = ReadFile(outbox.GetPath());
    EXPECT_EQ(std::string::npos, text.find('\r'));
    const std::vector<std::string> messages = SplitMbox(text);
    ASSERT_EQ(2u, messages.size());
    EXPECT_EQ(0u, messages[0].find("From agent@example.org "));
    EXPECT_NE(std::string::npos, messages[0].find("\nFrom: agent@example.org\nTo: ann@example.org\n"
                                                  "Subject: First\nDate: "));
    EXPECT_NE(std::string::npos, messages[0].find("\nContent-Type: text/plain; charset=UTF-8\n"));
    EXPECT_NE(std::string::npos, messages[0].find("\n\nHello Ann,\nsee you.\n\n"));
    EXPECT_NE(std::string::npos, messages[1].find("\nTo: bob@example.org\nSubject: Second\n"));
    EXPECT_EQ(messages[1].size() - 7, messages[1].find("\n\nBob\n\n"));

    struct stat status {};
    ASSERT_EQ(0, ::stat(outbox.GetPath().c_str(), &status));
    EXPECT_EQ(0600u, status.st_mode & 0777);
}

TEST(MboxMailSender, FromLinesOfTheBodyAreQuoted)
{
    const CMailMessage message("a@b.example",
                               Mail("c@d.example", "s", "From here\n>From there\nFrom\nnot From x\n"), 0);
    const std::string text = CMboxMailSender::ToMbox(message);
    EXPECT_EQ(0u, text.find("From a@b.example Thu Jan  1 00:00:00 1970\n"));
    EXPECT_NE(std::string::npos, text.find("\n\n>From here\n>>From there\nFrom\nnot From x\n\n"));
    EXPECT_EQ(1u, SplitMbox(text).size());
}

TEST(MboxMailSender, RefusedInjectionLeavesTheFileUntouched)
{
    testsupport::CTempDir dir;
    CMboxMailSender outbox(dir.Path(), "agent@example.org");
    std::string error;
    ASSERT_TRUE(outbox.Send(Mail("ann@example.org", "Kept", "body"), error));
    const std::string before = ReadFile(outbox.GetPath());

    EXPECT_FALSE(outbox.Send(Mail("ann@example.org\r\nBcc: eve@example.org", "s", "b"), error));
    EXPECT_NE("", error);
    error.clear();
    EXPECT_FALSE(outbox.Send(Mail("ann@example.org", "s\nBcc: eve@example.org", "b"), error));
    EXPECT_NE("", error);
    EXPECT_FALSE(outbox.Send(Mail("ann@example.org, eve@example.org", "s", "b"), error));
    EXPECT_FALSE(outbox.Send(Mail("<ann@example.org>", "s", "b"), error));
    EXPECT_FALSE(outbox.Send(Mail("", "s", "b"), error));
    EXPECT_EQ(before, ReadFile(outbox.GetPath()));

    CMboxMailSender badSender(dir.Path(), "agent@example.org\nX: y");
    EXPECT_FALSE(badSender.Send(Mail("ann@example.org", "s", "b"), error));
    EXPECT_EQ(before, ReadFile(outbox.GetPath()));
}

TEST(MboxMailSender, FailedWriteIsCutBack)
{
    testsupport::CTempDir dir;
    CMboxMailSender outbox(dir.Path(), "agent@example.org");
    std::string error;
    ASSERT_TRUE(outbox.Send(Mail("ann@example.org", "Kept", "body"), error));
    const std::string before = ReadFile(outbox.GetPath());
    {
        const FileSizeLimit limit(before.size() + 100);
        EXPECT_FALSE(outbox.Send(Mail("ann@example.org", "Too big", std::string(10000, 'x')), error));
    }
    EXPECT_NE(std::string::npos, error.find("cannot write the outbox")) << error;
    EXPECT_EQ(before, ReadFile(outbox.GetPath()));
    EXPECT_TRUE(outbox.Send(Mail("ann@example.org", "Later", "fine"), error)) << error;
    EXPECT_EQ(2u, SplitMbox(ReadFile(outbox.GetPath())).size());
}

TEST(MboxMailSender, UnwritableDirectoryIsReported)
{
    testsupport::CTempDir dir;
    const std::string file = dir.File("plain-file");
    {
        std::ofstream out(file);
        out << "x";
    }
    CMboxMailSender outbox(file, "agent@example.org");
    std::string error;
    EXPECT_FALSE(outbox.Send(Mail("ann@example.org", "s", "b"), error));
    EXPECT_NE("", error);
}
