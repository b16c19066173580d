#include <outlook/MailMessage.h>

#include <gtest/gtest.h>

#include <cstdlib>

using outlook::CMailData;
using outlook::CMailMessage;

namespace {
CMailData Mail(const std::string& to, const std::string& subject, const std::string& body)
{
    CMailData mail;
    mail.to = to;
    mail.subject = subject;
    mail.body = body;
    return mail;
}

std::string Decode64(const std::string& text)
{
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned long group = 0;
    int bits = 0;
    for (const char c : text) {
        const std::string::size_type value = alphabet.find(c);
        if (value == std::string::npos)
            break;
        group = (group << 6) | value;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((group >> bits) & 0xFF);
        }
    }
    return bytes;
}

// Every "=?UTF-8?B?...?=" word of a header value, decoded and joined.
std::string DecodeWords(const std::string& value, std::size_t& longestWord)
{
    std::string text;
    longestWord = 0;
    std::string::size_type pos = 0;
    while ((pos = value.find("=?UTF-8?B?", pos)) != std::string::npos) {
        const std::string::size_type end = value.find("?=", pos + 10);
        if (end == std::string::npos)
            break;
        longestWord = std::max(longestWord, end + 2 - pos);
        text += Decode64(value.substr(pos + 10, end - pos - 10));
        pos = end + 2;
    }
    return text;
}

class MailMessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* tz = std::getenv("TZ");
        m_savedTz = tz ? tz : "";
        m_hadTz = tz != nullptr;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (m_hadTz)
            ::setenv("TZ", m_savedTz.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string m_savedTz;
    bool m_hadTz = false;
};
} // namespace

TEST_F(MailMessageTest, HeadersAndBodyWithNormalisedLineEnds)
{
    // 2026-12-08 09:49:22 UTC
    const CMailMessage message(
        "agent@example.org", Mail("ann@example.org", "Appointment", "one\r\ntwo\rthree\nfour\n"), 1796723362);
    const std::string text = message.ToText("\r\n");
    const std::string head = text.substr(0, text.find("\r\n\r\n") + 2);
    EXPECT_EQ(0u, head.find("From: agent@example.org\r\nTo: ann@example.org\r\nSubject: Appointment\r\n"
                            "Date: Tue, 08 Dec 2026 09:49:22 +0000\r\nMessage-ID: <1796723362."));
    EXPECT_NE(std::string::npos, head.find("@example.org>\r\nMIME-Version: 1.0\r\n"
                                           "Content-Type: text/plain; charset=UTF-8\r\n"));
    EXPECT_EQ("one\r\ntwo\r\nthree\r\nfour\r\n", text.substr(text.find("\r\n\r\n") + 4));
}

TEST_F(MailMessageTest, EachMessageHasItsOwnId)
{
    const CMailData mail = Mail("ann@example.org", "s", "b");
    const CMailMessage first("agent@example.org", mail, 0);
    const CMailMessage second("agent@example.org", mail, 0);
    EXPECT_NE(first.HeaderLines()[4], second.HeaderLines()[4]);
    EXPECT_EQ(first.HeaderLines()[4], first.HeaderLines()[4]);
}

TEST_F(MailMessageTest, NonAsciiSubjectIsEncodedInShortWords)
{
    std::string subject = "R\xC3\xA9union";
    for (int i = 0; i < 30; ++i)
        subject += " \xE2\x82\xAC"; // three octets each
    const std::string encoded = CMailMessage::EncodeHeaderText(subject);
    std::size_t longest = 0;
    EXPECT_EQ(subject, DecodeWords(encoded, longest));
    EXPECT_LE(longest, 75u);
    EXPECT_NE(std::string::npos, encoded.find("?=\r\n =?UTF-8?B?"));

    const CMailMessage message("a@b.example", Mail("c@d.example", subject, ""), 0);
    const std::vector<std::string> headers = message.HeaderLines();
    EXPECT_EQ(0u, headers[2].find("Subject: =?UTF-8?B?"));
    EXPECT_EQ(' ', headers[3][0]);
}

TEST_F(MailMessageTest, PlainSubjectsStayPlain)
{
    EXPECT_EQ("[Vesp] New Meeting Scheduled", CMailMessage::EncodeHeaderText("[Vesp] New Meeting Scheduled"));
    EXPECT_EQ("", CMailMessage::EncodeHeaderText(""));
    // Text that would read as an encoded word is encoded itself.
    EXPECT_EQ(0u, CMailMessage::EncodeHeaderText("=?x?=").find("=?UTF-8?B?"));
    std::size_t longest = 0;
    EXPECT_EQ("a\nb", DecodeWords(CMailMessage::EncodeHeaderText("a\nb"), longest));
}

TEST_F(MailMessageTest, SingleAddresses)
{
    EXPECT_TRUE(CMailMessage::IsSingleAddress("ann.lee+cal@example.org"));
    EXPECT_TRUE(CMailMessage::IsSingleAddress("user@localhost"));
    EXPECT_FALSE(CMailMessage::IsSingleAddress(""));
    EXPECT_FALSE(CMailMessage::IsSingleAddress("ann"));
    EXPECT_FALSE(CMailMessage::IsSingleAddress("@example.org"));
    EXPECT_FALSE(CMailMessage::IsSingleAddress("ann@"));
    EXPECT_FALSE(CMailMessage::IsSingleAddress("ann@a@b"));
    EXPECT_FALSE(CMailMessage::IsSingleAddress("ann@example.org, bob@example.org"));
    EXPECT_FALSE(CMailMessage::IsSingleAddress("ann@example.org;bob@example.org"));
    EXPECT_FALSE(CMailMessage::IsSingleAddress("Ann <ann@example.org>"));
    EXPECT_FALSE(CMailMessage::IsSingleAddress("ann @example.org"));
    EXPECT_FALSE(CMailMessage::IsSingleAddress("ann@example.org\r\nBcc: x@y"));
    EXPECT_FALSE(CMailMessage::IsSingleAddress("ann@exa\xC3\xA9mple.org"));
    EXPECT_FALSE(CMailMessage::IsSingleAddress(std::string(250, 'a') + "@b.example"));
}

TEST_F(MailMessageTest, CheckRefusesInjection)
{
    std::string error;
    EXPECT_TRUE(CMailMessage("a@b.example", Mail("c@d.example", "s", "x\r\nBcc: e@f"), 0).Check(error));
    EXPECT_FALSE(CMailMessage("a@b.example", Mail("c@d.example", "s\r\nBcc: e@f", ""), 0).Check(error));
    EXPECT_NE(std::string::npos, error.find("line break"));
    EXPECT_FALSE(CMailMessage("a@b.example", Mail("c@d.example\nBcc: e@f", "s", ""), 0).Check(error));
    EXPECT_FALSE(CMailMessage("a@b.example\n", Mail("c@d.example", "s", ""), 0).Check(error));
    EXPECT_FALSE(CMailMessage("a@b.example", Mail("c@d.example,e@f.example", "s", ""), 0).Check(error));
    EXPECT_NE(std::string::npos, error.find("recipient"));
    EXPECT_FALSE(CMailMessage("Agent <a@b.example>", Mail("c@d.example", "s", ""), 0).Check(error));
    EXPECT_NE(std::string::npos, error.find("sender"));
}

TEST_F(MailMessageTest, BodyLosesNulBytesAndKeepsEmptyLines)
{
    const CMailMessage message("a@b.example", Mail("c@d.example", "s", std::string("a\0b\n\n\nc", 7)), 0);
    const std::vector<std::string> body = message.BodyLines();
    ASSERT_EQ(4u, body.size());
    EXPECT_EQ("ab", body[0]);
    EXPECT_EQ("", body[1]);
    EXPECT_EQ("", body[2]);
    EXPECT_EQ("c", body[3]);
    EXPECT_EQ(1u, CMailMessage("a@b.example", Mail("c@d.example", "s", ""), 0).BodyLines().size());
}
