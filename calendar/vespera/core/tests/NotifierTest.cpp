#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/Notifier.h>

#include <vespera/core/MessageZone.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using vespera_test::CTemporaryHome;

namespace {

struct SSent {
    std::string channel;
    std::string to;
    std::string subject;
    std::string text;
};

class NotifierTest : public ::testing::Test {
protected:
    NotifierTest()
    {
        CNotifier::SChannels channels;
        channels.agent = [this](const std::string& receiver, const std::string& content) {
            m_sent.push_back({"agent", receiver, "", content});
        };
        channels.mail = [this](const std::string& to, const std::string& subject, const std::string& text) {
            m_sent.push_back({"mail", to, subject, text});
        };
        channels.log = [this](const std::string& line) { m_log.push_back(line); };
        m_notifier = std::make_unique<CNotifier>(m_settings, m_contacts, std::move(channels));
    }

    void AddContact(const std::string& first, const std::string& last, const std::string& email)
    {
        auto record = std::make_unique<CContactRecord>(first, last, email);
        record->SetCalendarAgentName(CContactRecord::AgentNameFor(email));
        m_contacts.Add(std::move(record));
    }

    void ToAgent()
    {
        m_settings.SetAgentAlert(true);
        m_settings.SetAgentAlertString("phone-agent");
    }

    void ToMail()
    {
        m_settings.SetEmailAlert(true);
        m_settings.SetEmailAlertString("me@x.org");
    }

    CTemporaryHome m_home;
    CAgentSettings m_settings;
    CContactStore m_contacts;
    std::unique_ptr<CNotifier> m_notifier;
    std::vector<SSent> m_sent;
    std::vector<std::string> m_log;
};

TEST_F(NotifierTest, ShortTextPutsSubjectStartLocationAndPersonTogether)
{
    EXPECT_EQ(CNotifier::ShortText("Review", "S", "R", "P"), "Review@S>R[P]");
    EXPECT_EQ(CNotifier::ShortText("", "", "", ""), "@>[]");
}

TEST_F(NotifierTest, ShortFormToTheAlertAgentNamesAnUnknownOrganiserByAgent)
{
    m_settings.SetMeetingScheduleShortAlert(true);
    ToAgent();
    m_notifier->NotifyMeetingScheduled("org_x.org-CalendarAgent", "Review", "Plans", "Room",
                                       "3/4/2031 10:00:00 AM", 30, "");
    ASSERT_EQ(m_sent.size(), 1u);
    EXPECT_EQ(m_sent[0].channel, "agent");
    EXPECT_EQ(m_sent[0].to, "phone-agent");
    EXPECT_EQ(m_sent[0].text, "Review@3/4/2031 10:00:00 AM>Room[org_x.org-CalendarAgent]");

    AddContact("Oli", "Ray", "org@x.org");
    m_sent.clear();
    m_notifier->NotifyMeetingScheduled("org_x.org-CalendarAgent", "Review", "Plans", "Room", "T", 30, "");
    ASSERT_EQ(m_sent.size(), 1u);
    EXPECT_EQ(m_sent[0].text, "Review@T>Room[Oli Ray]");
}

TEST_F(NotifierTest, LongFormListsEveryAttendeeContactsWithTheirAddress)
{
    m_settings.SetMeetingScheduleLongAlert(true);
    ToMail();
    AddContact("Bo", "Day", "bo@x.org");
    m_notifier->NotifyMeetingScheduled("org_x.org-CalendarAgent", "Review", "Plans", "Room", "T", 45,
                                       "ann_x.org-CalendarAgent,,bo_x.org-CalendarAgent");
    ASSERT_EQ(m_sent.size(), 1u);
    EXPECT_EQ(m_sent[0].channel, "mail");
    EXPECT_EQ(m_sent[0].to, "me@x.org");
    EXPECT_EQ(m_sent[0].subject, "[Vesp] New Meeting Scheduled");
    EXPECT_EQ(m_sent[0].text, "Agent org_x.org-CalendarAgent has scheduled an appointment with you"
                              "\nMeeting Subject: Review\nMeeting Body: Plans\nMeeting Start Time: T"
                              "\nMeeting Duration: 45\nMeeting Location: Room\nAttendees: \n"
                              "\tann_x.org-CalendarAgent\n\tBo Day [bo@x.org]\n");
}

TEST_F(NotifierTest, KnownOrganiserOpensTheLongFormByName)
{
    m_settings.SetMeetingScheduleLongAlert(true);
    AddContact("Oli", "Ray", "org@x.org");
    std::optional<CNotifier::SNotice> notice =
        m_notifier->MeetingScheduledNotice("org_x.org-CalendarAgent", "S", "B", "L", "T", 5, "");
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->text,
              "Oli Ray [org@x.org] has scheduled a new meeting with you. Please review the details "
              "below.\n\n\nMeeting Subject: S\nMeeting Body: B\nMeeting Start Time: T\nMeeting "
              "Duration: 5\nMeeting Location: L\nAttendees: \n");
}

TEST_F(NotifierTest, ShortFormWinsAndBothChannelsAreUsedWhenOn)
{
    m_settings.SetMeetingScheduleLongAlert(true);
    m_settings.SetMeetingScheduleShortAlert(true);
    ToAgent();
    ToMail();
    m_notifier->NotifyMeetingScheduled("org", "S", "B", "L", "T", 5, "a");
    ASSERT_EQ(m_sent.size(), 2u);
    EXPECT_EQ(m_sent[0].channel, "agent");
    EXPECT_EQ(m_sent[0].text, "S@T>L[org]");
    EXPECT_EQ(m_sent[1].channel, "mail");
    EXPECT_EQ(m_sent[1].subject, "New Meeting");
    EXPECT_EQ(m_sent[1].text, "S@T>L[org]");
}

TEST_F(NotifierTest, MeetingNoticesNeedAMeetingAlert)
{
    ToAgent();
    ToMail();
    m_notifier->NotifyMeetingScheduled("org", "S", "B", "L", "T", 5, "a");
    m_notifier->NotifyESecretaryMeeting(true, "S", "B", "L", "T", 5, "r");
    m_notifier->NotifyESecretaryMeeting(false, "S", "B", "L", "T", 5, "r");
    EXPECT_TRUE(m_sent.empty());
    EXPECT_FALSE(m_notifier->MeetingScheduledNotice("org", "S", "B", "L", "T", 5, "a"));
}

TEST_F(NotifierTest, SecretaryNoticesSayScheduledOrDeclined)
{
    m_settings.SetMeetingScheduleLongAlert(true);
    std::optional<CNotifier::SNotice> scheduled =
        m_notifier->ESecretaryNotice(true, "S", "B", "L", "T", 20, "Req");
    ASSERT_TRUE(scheduled);
    EXPECT_EQ(scheduled->subject, "[Vesp] New V-Izadavavu Meeting Scheduled");
    EXPECT_EQ(scheduled->text,
              "Req has scheduled a new meeting with you. Please review the details below.\n\n"
              "\nMeeting Subject: S\nMeeting Body: B\nMeeting Start Time: T\nMeeting Duration: 20"
              "\nMeeting Location: L");
    std::optional<CNotifier::SNotice> declined =
        m_notifier->ESecretaryNotice(false, "S", "B", "L", "T", 20, "Req");
    ASSERT_TRUE(declined);
    EXPECT_EQ(declined->subject, "[Vesp] V-Izadavavu Meeting Declined");
    EXPECT_EQ(
        declined->text.rfind("Req requested a new meeting with you, but was declined. Please review the "
                             "details below.\n\n\nMeeting Subject: S",
                             0),
        0u);

    m_settings.SetMeetingScheduleShortAlert(true);
    EXPECT_EQ(m_notifier->ESecretaryNotice(true, "S", "B", "L", "T", 20, "Req")->subject,
              "New E-Sec Meeting");
    std::optional<CNotifier::SNotice> shortDeclined =
        m_notifier->ESecretaryNotice(false, "S", "B", "L", "T", 20, "Req");
    EXPECT_EQ(shortDeclined->subject, "E-Sec Meeting Declined");
    EXPECT_EQ(shortDeclined->text, "S@T>L[Req]");
}

TEST_F(NotifierTest, ReminderGoesToTheTargetsThatAreOnWhateverTheMeetingAlerts)
{
    const CDateTime start(2031, 12, 24, 18, 0, 5);
    CNotifier::SReminderTargets targets{"me@x.org", true, "phone-agent", true};
    m_notifier->NotifyReminder(targets, "Dinner", "Home", start);
    ASSERT_EQ(m_sent.size(), 2u);
    EXPECT_EQ(m_sent[0].to, "phone-agent");
    EXPECT_EQ(m_sent[0].text,
              "tell :command appointment_due :start (tell :day 24 :month 12 :year 2031 :hour 18 "
              ":minute 0 :second 5 ) :subject (Dinner) :location (Home)" +
                  CMessageZone().Keyword());
    EXPECT_EQ(m_sent[1].to, "me@x.org");
    EXPECT_EQ(m_sent[1].subject, "Appointment");
    EXPECT_EQ(m_sent[1].text, "Dinner@" + start.Format() + ">Home");

    m_sent.clear();
    m_notifier->NotifyReminder(CNotifier::SReminderTargets{"me@x.org", false, "phone-agent", false}, "Dinner",
                               "Home", start);
    EXPECT_TRUE(m_sent.empty());

    CDateTime broken;
    broken.SetStatus(CDateTime::invalid);
    m_notifier->NotifyReminder(targets, "Dinner", "Home", broken);
    EXPECT_TRUE(m_sent.empty());
    ASSERT_EQ(m_log.size(), 1u);
    EXPECT_EQ(m_log[0], "Reminder of \"Dinner\" has no valid start; not forwarded");
}

TEST_F(NotifierTest, ConfirmationIsMailedWhateverTheAlertSettings)
{
    const CDateTime start(2031, 3, 5, 14, 30, 0);
    const std::string text =
        CNotifier::ConfirmationText("Bo Day", start, "Review", "Plans", "45", "bo@x.org");
    EXPECT_EQ(
        text,
        "Hi, \n\nYou recently scheduled an appointment with Bo Day using the ORVANTE Distributed Meeting "
        "Scheduling System. This is your confirmation message with the details given below.\n\n"
        "Appointment Date: " +
            start.Format() +
            "\nAppointment Subject: Review\nAppointment Body: Plans\nAppointment Duration: 45 minutes."
            "\n\nThank you for using the ORVANTE DMS System.\nYou can contact Bo Day via email at bo@x.org");
    m_notifier->SendConfirmation("req@x.org", text);
    ASSERT_EQ(m_sent.size(), 1u);
    EXPECT_EQ(m_sent[0].to, "req@x.org");
    EXPECT_EQ(m_sent[0].subject, "[ORVANTE DMS] Appointment details");
}

// What the user must know reaches the desktop with its day, whatever the
// alert settings say.
TEST_F(NotifierTest, MeetingsRequestsAndRemindersAreShownOnTheDesktopWithTheirDay)
{
    std::vector<SSent> shown;
    CNotifier::SChannels channels;
    channels.desktop = [&shown](const std::string& title, const std::string& text, const CDateTime& day) {
        shown.push_back(
            {"desktop", title, day.GetStatus() == CDateTime::valid ? day.Format() : "no day", text});
    };
    AddContact("Olga", "Reyes", "olga@x.org");
    const CNotifier notifier(m_settings, m_contacts, std::move(channels));
    notifier.NotifyMeetingScheduled(CContactRecord::AgentNameFor("olga@x.org"), "Review", "B", "Room 4",
                                    "3/4/2031 10:00:00 AM", 30, "a");
    notifier.NotifyESecretaryMeeting(true, "Lunch", "B", "", "3/5/2031 12:00:00 PM", 60, "Ben");
    notifier.NotifyESecretaryMeeting(false, "Lunch", "B", "", "not a time", 60, "Ben");
    notifier.NotifyReminder({}, "Dinner", "Home", CDateTime(2031, 3, 6, 19, 0, 0));
    const std::vector<SSent> expected = {
        {"desktop", "Meeting Scheduled", "3/4/2031 10:00:00 AM",
         "Review\n3/4/2031 10:00:00 AM, Room 4\nArranged by Olga Reyes"},
        {"desktop", "Appointment Request Accepted", "3/5/2031 12:00:00 PM",
         "Lunch\n3/5/2031 12:00:00 PM\nAsked for by Ben"},
        {"desktop", "Appointment Request Declined", "no day", "Lunch\nnot a time\nAsked for by Ben"},
        {"desktop", "Reminder", "3/6/2031 7:00:00 PM", "Dinner\n3/6/2031 7:00:00 PM, Home"},
    };
    ASSERT_EQ(shown.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(shown[i].to, expected[i].to);
        EXPECT_EQ(shown[i].subject, expected[i].subject) << expected[i].to;
        EXPECT_EQ(shown[i].text, expected[i].text) << expected[i].to;
    }
    EXPECT_TRUE(m_sent.empty()) << "no alert channel is on";
}

TEST_F(NotifierTest, OnlyOnePlainAddressCountsAsAnAddress)
{
    for (const char* good : {"a@x.org", "first.last+tag@mail.x.org", "a@b"})
        EXPECT_TRUE(CNotifier::IsSingleAddress(good)) << good;
    for (const char* bad :
         {"", "@", "a@", "@x.org", "ax.org", "a@b@c", "a@x.org,b@y.org", "a@x.org;b@y.org", "Ann <a@x.org>",
          "a @x.org", "a@x.org\n", "a@x.org\r\nBcc: b@y.org", "a\t@x.org", "a@x\x7F.org"})
        EXPECT_FALSE(CNotifier::IsSingleAddress(bad)) << bad;
    EXPECT_FALSE(CNotifier::IsSingleAddress(std::string("a@x.org\0b", 9)));
}

} // namespace
