#include <outlook/MailSenders.h>
#include <outlook/MboxMailSender.h>
#include <outlook/SmtpMailSender.h>

#include <platform/Registry.h>

#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

using outlook::CMailSenders;
using outlook::CMboxMailSender;
using outlook::CSmtpMailSender;
using testsupport::CTempDir;

namespace {
const std::string Key = "Software\\ORVANTE\\CalendarAgent";
} // namespace

TEST(MailSenders, WithoutServerMailGoesToTheOutbox)
{
    testsupport::CTempDir dir;
    CRegistry registry(CRegistry::CurrentUser, dir.Path());
    ASSERT_EQ(CRegistry::Ok, registry.WriteValue(Key, "Email", "me@example.org"));
    ASSERT_EQ(CRegistry::Ok, registry.WriteValue(Key, "SMTPServer", "  "));
    const std::unique_ptr<outlook::CMailSender> sender =
        CMailSenders::FromRegistry(registry, dir.File("data"));
    const auto* outbox = dynamic_cast<const CMboxMailSender*>(sender.get());
    ASSERT_NE(nullptr, outbox);
    EXPECT_EQ(dir.File("data") + "/outbox.mbox", outbox->GetPath());

    outlook::CMailData mail;
    mail.to = "you@example.org";
    std::string error;
    ASSERT_TRUE(sender->Send(mail, error)) << error;
    EXPECT_EQ(0u, testsupport::ReadFile(outbox->GetPath()).find("From me@example.org "));
}

TEST(MailSenders, ServerSettingsAreRead)
{
    testsupport::CTempDir dir;
    CRegistry registry(CRegistry::CurrentUser, dir.Path());
    ASSERT_EQ(CRegistry::Ok, registry.WriteValue(Key, "SMTPServer", " smtps://mail.example.org:465 "));
    ASSERT_EQ(CRegistry::Ok, registry.WriteValue(Key, "SMTPUser", "me"));
    ASSERT_EQ(CRegistry::Ok, registry.WriteValue(Key, "SMTPPassword", "secret"));
    ASSERT_EQ(CRegistry::Ok, registry.WriteValue(Key, "Email", "me@example.org"));
    ASSERT_EQ(CRegistry::Ok, registry.WriteValue(Key, "MailFrom", "agent@example.org"));
    const std::unique_ptr<outlook::CMailSender> sender = CMailSenders::FromRegistry(registry, dir.Path());
    const auto* smtp = dynamic_cast<const CSmtpMailSender*>(sender.get());
    ASSERT_NE(nullptr, smtp);
    EXPECT_EQ("smtps://mail.example.org:465", smtp->GetSettings().url);
    EXPECT_EQ("me", smtp->GetSettings().user);
    EXPECT_EQ("secret", smtp->GetSettings().password);
    EXPECT_EQ("agent@example.org", smtp->GetSettings().from);
    EXPECT_EQ(dir.Path() + "/outbox.mbox", smtp->GetOutbox().GetPath());
}

TEST(MailSenders, SenderAddressFallsBack)
{
    testsupport::CTempDir dir;
    CRegistry registry(CRegistry::CurrentUser, dir.Path());
    const char* user = std::getenv("USER");
    const char* logname = std::getenv("LOGNAME");
    const std::string local = user && *user ? user : logname && *logname ? logname : "vespera";
    EXPECT_EQ(local + "@localhost", CMailSenders::SenderAddress(registry));
    ASSERT_EQ(CRegistry::Ok, registry.WriteValue(Key, "Email", "me@example.org"));
    EXPECT_EQ("me@example.org", CMailSenders::SenderAddress(registry));
    ASSERT_EQ(CRegistry::Ok, registry.WriteValue(Key, "MailFrom", ""));
    EXPECT_EQ("me@example.org", CMailSenders::SenderAddress(registry));
    ASSERT_EQ(CRegistry::Ok, registry.WriteValue(Key, "MailFrom", "agent@example.org"));
    EXPECT_EQ("agent@example.org", CMailSenders::SenderAddress(registry));
}
