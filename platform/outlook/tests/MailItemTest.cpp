#include <outlook/MailItem.h>
#include <outlook/MailSender.h>

#include "Fixture.h"

#include <gtest/gtest.h>

#include <vector>

using namespace outlook;
using outlook_test::Session;

namespace {
struct Sender : CMailSender {
    bool Send(const CMailData& mail, std::string& error) override
    {
        if (refuse)
            error = "relay refused";
        else
            sent.push_back(mail);
        return !refuse;
    }
    std::vector<CMailData> sent;
    bool refuse = false;
};

std::unique_ptr<CItem> Mail(Session& session, const std::string& to)
{
    std::unique_ptr<CItem> item = session.application->CreateItem(olMailItem);
    item->AsMail()->SetTo(to);
    item->AsMail()->SetSubject("Appointment");
    item->AsMail()->SetBody("Review@12/7/2026 9:00:00 AM>Room 2");
    return item;
}
} // namespace

TEST(MailItem, SendHandsTheMessageToTheBackendsSenderOnceWithoutLogon)
{
    Session session;
    session.mapi->Logoff();
    Sender sender;
    session.backend->SetMailSender(&sender);
    std::unique_ptr<CItem> item = Mail(session, "ann@example.org");
    EXPECT_EQ(PropertyValue(std::string("ann@example.org")), item->GetProperty("To"));
    ASSERT_TRUE(item->AsMail()->Send());
    EXPECT_TRUE(item->AsMail()->IsSent());
    ASSERT_EQ(1u, sender.sent.size());
    EXPECT_EQ("ann@example.org", sender.sent[0].to);
    EXPECT_EQ("Appointment", sender.sent[0].subject);
    EXPECT_EQ("Review@12/7/2026 9:00:00 AM>Room 2", sender.sent[0].body);
    EXPECT_FALSE(item->AsMail()->Send()) << "a message goes once";
    EXPECT_EQ(1u, sender.sent.size());
    session.backend->SetMailSender(nullptr);
}

TEST(MailItem, SendFailsWithoutRecipientOrWayOut)
{
    Session session;
    Sender sender;
    session.backend->SetMailSender(&sender);
    EXPECT_FALSE(Mail(session, "")->AsMail()->Send());
    EXPECT_FALSE(Mail(session, " \t")->AsMail()->Send());

    sender.refuse = true;
    std::unique_ptr<CItem> refused = Mail(session, "ann@example.org");
    EXPECT_FALSE(refused->AsMail()->Send());
    EXPECT_FALSE(refused->AsMail()->IsSent());
    EXPECT_EQ("relay refused", session.application->GetLastErrorText());
    sender.refuse = false;
    EXPECT_TRUE(refused->AsMail()->Send()) << "a refused message may be sent again";
    session.backend->SetMailSender(nullptr);

    std::unique_ptr<CItem> orphan = Mail(session, "ann@example.org");
    session.application.reset();
    session.backend.reset();
    EXPECT_FALSE(orphan->AsMail()->Send());
    EXPECT_EQ(1u, sender.sent.size());
}
