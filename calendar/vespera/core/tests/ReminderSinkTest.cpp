#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/Notifier.h>
#include <vespera/core/ReminderSink.h>

#include <agentkit/AgentContainer.h>
#include <outlook/Application.h>
#include <outlook/AppointmentData.h>
#include <outlook/MemoryBackend.h>
#include <outlook/NameSpace.h>

#include <vespera/core/MessageZone.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using vespera_test::CTemporaryHome;

namespace {

class ReminderSinkTest : public ::testing::Test {
protected:
    ReminderSinkTest()
    {
        CNotifier::SChannels channels;
        channels.agent = [this](const std::string& receiver, const std::string& content) {
            m_agentSends.push_back(receiver + " " + content);
        };
        channels.mail = [this](const std::string& to, const std::string& subject, const std::string& text) {
            m_mails.push_back(to + "|" + subject + "|" + text);
        };
        m_notifier = std::make_unique<CNotifier>(m_settings, m_contacts, std::move(channels));
        // Nothing of a test container may land in the directory the tests run in.
        m_container.set_belief_dump_file(nullptr);
        m_application = outlook::CApplication::Create(m_backend);
        m_application->GetNamespace("MAPI")->Logon();
        outlook::CAppointmentData data;
        data.subject = "Dentist";
        data.location = "Main St";
        data.start = CDateTime(2031, 3, 5, 8, 5, 9);
        m_item = m_backend->Put(outlook::olFolderCalendar, data);
    }

    CTemporaryHome m_home;
    CAgentSettings m_settings;
    CContactStore m_contacts;
    std::unique_ptr<CNotifier> m_notifier;
    std::shared_ptr<outlook::CMemoryBackend> m_backend = std::make_shared<outlook::CMemoryBackend>();
    std::unique_ptr<outlook::CApplication> m_application;
    outlook::EntryId m_item;
    CAgentContainer m_container{"sink-test"};
    std::vector<std::string> m_agentSends;
    std::vector<std::string> m_mails;
};

TEST_F(ReminderSinkTest, ConnectedSinkForwardsTheItemsSubjectLocationAndStart)
{
    CReminderSink sink(*m_application, *m_notifier);
    sink.SetAgentTarget("phone-agent", true);
    sink.SetEmailTarget("me@x.org", true);
    sink.SetCommunicator(m_container.get_communicator());

    ASSERT_TRUE(m_backend->FireReminder(m_item));
    EXPECT_TRUE(m_agentSends.empty()) << "not connected yet";

    ASSERT_TRUE(sink.Connect());
    EXPECT_FALSE(sink.Connect());
    ASSERT_TRUE(m_backend->FireReminder(m_item));
    ASSERT_EQ(m_agentSends.size(), 1u);
    EXPECT_EQ(m_agentSends[0],
              "phone-agent tell :command appointment_due :start (tell :day 5 :month 3 :year 2031 "
              ":hour 8 :minute 5 :second 9 ) :subject (Dentist) :location (Main St)" +
                  CMessageZone().Keyword());
    ASSERT_EQ(m_mails.size(), 1u);
    EXPECT_EQ(m_mails[0],
              "me@x.org|Appointment|Dentist@" + CDateTime(2031, 3, 5, 8, 5, 9).Format() + ">Main St");

    sink.Disconnect();
    EXPECT_FALSE(sink.IsConnected());
    ASSERT_TRUE(m_backend->FireReminder(m_item));
    EXPECT_EQ(m_agentSends.size(), 1u);
}

TEST_F(ReminderSinkTest, WithoutACommunicatorNothingIsForwarded)
{
    CReminderSink sink(*m_application, *m_notifier);
    sink.SetAgentTarget("phone-agent", true);
    ASSERT_TRUE(sink.Connect());
    ASSERT_TRUE(m_backend->FireReminder(m_item));
    EXPECT_TRUE(m_agentSends.empty());
    EXPECT_EQ(sink.GetCommunicator(), nullptr);
}

TEST_F(ReminderSinkTest, TargetsAreTheSinksOwnCopies)
{
    CReminderSink sink(*m_application, *m_notifier);
    sink.SetCommunicator(m_container.get_communicator());
    sink.SetAgentTarget("old-agent", true);
    sink.SetAgentTarget("new-agent", false);
    sink.SetEmailTarget("me@x.org", false);
    EXPECT_EQ(sink.GetTargets().agentTarget, "new-agent");
    ASSERT_TRUE(sink.Connect());
    // The settings say otherwise; the sink keeps to what it was given.
    m_settings.SetAgentAlert(true);
    m_settings.SetAgentAlertString("settings-agent");
    ASSERT_TRUE(m_backend->FireReminder(m_item));
    EXPECT_TRUE(m_agentSends.empty());
    EXPECT_TRUE(m_mails.empty());
}

TEST_F(ReminderSinkTest, DestroyedSinkLeavesTheApplication)
{
    auto sink = std::make_unique<CReminderSink>(*m_application, *m_notifier);
    sink->SetCommunicator(m_container.get_communicator());
    sink->SetAgentTarget("phone-agent", true);
    ASSERT_TRUE(sink->Connect());
    sink.reset();
    ASSERT_TRUE(m_backend->FireReminder(m_item));
    EXPECT_TRUE(m_agentSends.empty());
}

} // namespace
