#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/ContactRecord.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/NegotiationStore.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/ReminderSink.h>
#include <vespera/core/StartupPause.h>

#include <agentkit/AgentContainer.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/StringBelief.h>
#include <outlook/AppointmentData.h>
#include <outlook/ContactData.h>
#include <outlook/GenericItemData.h>
#include <slotbook/RecurrenceData.h>
#include <wirekit/Communicator.h>

#include <platform/DateTimeSpan.h>
#include <platform/PollEventLoop.h>
#include <platform/Wnd.h>
#include <platform/Registry.h>

#include <vespera/core/MessageZone.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using vespera_test::CVesperaTest;
using vespera_test::FreeMorning;

namespace {

std::string RequestAppt(const CDateTime& start, int minutes, const std::string& fname = "Ann",
                        const std::string& lname = "Lee", const std::string& email = "ann@example.org")
{
    return "tell :command request_appt :duration (" + std::to_string(minutes) + ") :startTime (" +
           start.Format() + ") :subject (Lunch) :body (Talk) :location (Cafe) :email (" + email +
           ") :fname (" + fname + ") :lname (" + lname + ")";
}

class AppointmentRequestTest : public CVesperaTest {
protected:
    void AddBusy(const CDateTime& start, int minutes)
    {
        CDateTime end = start + CDateTimeSpan(0, 0, minutes, 0);
        CDateTime never;
        never.SetStatus(CDateTime::null);
        Agent().GetAppointmentStore().AddAppointment(1, "Busy", "", "", "", "", start, end, minutes, 0, 0, 2,
                                                     never, "outlook", false);
    }

    const vespera_test::SSentMessage& OnlyReply()
    {
        EXPECT_EQ(Agent().Sent().size(), 1u);
        static const vespera_test::SSentMessage none;
        return Agent().Sent().empty() ? none : Agent().Sent().back();
    }
};

TEST_F(AppointmentRequestTest, FreeTimeIsAccepted)
{
    Agent().GetSettings().SetMeetingSchedulingType(2);
    Deliver(RequestAppt(FreeMorning(), 60), "secretary");
    const auto& reply = OnlyReply();
    EXPECT_EQ(reply.performative, "tell");
    EXPECT_EQ(reply.receiver, "secretary");
    EXPECT_FALSE(reply.alertNotice);
    EXPECT_EQ(reply.content, "tell :startTime (" + FreeMorning().Format() +
                                 ") :duration (60) :status accept" + CMessageZone().Keyword());
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
}

TEST_F(AppointmentRequestTest, BusyTimeGetsTheNextFreeSlot)
{
    Agent().GetSettings().SetMeetingSchedulingType(2);
    AddBusy(FreeMorning(), 90);
    CTimeSlot expected = Agent().GetPreferences().NextFreeSlotPlain(FreeMorning(), 60);
    ASSERT_TRUE(expected.IsValid());
    ASSERT_GT(expected.GetStartTime(), FreeMorning());
    Deliver(RequestAppt(FreeMorning(), 60), "secretary");
    EXPECT_EQ(OnlyReply().content, "tell :startTime (" + expected.GetStartTime().Format() +
                                       ") :duration (60) :status alt" + CMessageZone().Keyword());
}

TEST_F(AppointmentRequestTest, DurationsThatAreNoPositiveMinutesAreRejected)
{
    Agent().GetSettings().SetMeetingSchedulingType(2);
    Deliver(RequestAppt(FreeMorning(), 0), "secretary");
    Deliver(RequestAppt(FreeMorning(), -30), "secretary");
    Deliver("tell :command request_appt :duration (-99999999999999999999) :startTime (" +
                FreeMorning().Format() + ")",
            "secretary");
    ASSERT_EQ(Agent().Sent().size(), 3u);
    for (const auto& reply : Agent().Sent())
        EXPECT_EQ(reply.content, "tell :status reject");
}

TEST_F(AppointmentRequestTest, UnreadableStartIsRejected)
{
    Agent().GetSettings().SetMeetingSchedulingType(2);
    Deliver("tell :command request_appt :duration (30) :startTime (soon) :fname (A) :lname (B)", "secretary");
    EXPECT_EQ(OnlyReply().content, "tell :status reject");
}

TEST_F(AppointmentRequestTest, NoMeetingsPolicyRejectsEveryone)
{
    Agent().GetSettings().SetMeetingSchedulingType(0);
    Agent().GetContactStore().Add(std::make_unique<CContactRecord>("Ann", "Lee", "ann@example.org"));
    Deliver(RequestAppt(FreeMorning(), 30), "secretary");
    EXPECT_EQ(OnlyReply().content, "tell :status reject");
    EXPECT_TRUE(Backend().GetSentMail().empty());

    // With the long form on, the refusal reaches the user by mail.
    Agent().ClearSent();
    Agent().GetSettings().SetMeetingScheduleLongAlert(true);
    Agent().GetSettings().SetEmailAlert(true);
    Agent().GetSettings().SetEmailAlertString("me@x.org");
    Deliver(RequestAppt(FreeMorning(), 30), "secretary");
    EXPECT_EQ(OnlyReply().content, "tell :status reject");
    ASSERT_EQ(Backend().GetSentMail().size(), 1u);
    const auto& mail = Backend().GetSentMail()[0];
    EXPECT_EQ(mail.to, "me@x.org");
    EXPECT_EQ(mail.subject, "[Vesp] V-Izadavavu Meeting Declined");
    EXPECT_EQ(mail.body,
              "ann@example.org (Ann Lee) requested a new meeting with you, but was declined. Please "
              "review the details below.\n\n\nMeeting Subject: Lunch\nMeeting Body: Talk\nMeeting Start "
              "Time: " +
                  FreeMorning().Format() + "\nMeeting Duration: 30\nMeeting Location: Cafe");
}

TEST_F(AppointmentRequestTest, ContactsOnlyPolicyNeedsExactNames)
{
    Agent().GetSettings().SetMeetingSchedulingType(1);
    Agent().GetContactStore().Add(std::make_unique<CContactRecord>("Ann", "Lee", "ann@example.org"));
    Deliver(RequestAppt(FreeMorning(), 30, "ann", "Lee"), "secretary");
    EXPECT_EQ(OnlyReply().content, "tell :status reject");
    Agent().ClearSent();
    Deliver(RequestAppt(FreeMorning(), 30, "Ann", "Lee"), "secretary");
    EXPECT_EQ(OnlyReply().content, "tell :startTime (" + FreeMorning().Format() +
                                       ") :duration (30) :status accept" + CMessageZone().Keyword());
}

class RequestedAppointmentTest : public CVesperaTest {
protected:
    // The secretary is no contact: it acts for the user only when everybody may.
    void SetUp() override
    {
        CVesperaTest::SetUp();
        Agent().GetSettings().SetMeetingSchedulingType(2);
    }

    static std::string Appointment(const std::string& command, const std::string& extra)
    {
        return "tell :command " + command +
               " :start (tell :day 5 :month 3 :year 2031 :hour 14 :minute 30) :duration (45) :subject "
               "(Review)"
               " :body (Plans) :location (Room 2) :requiredAttendees (a@x.org) :targetRealName (Bo Day)"
               " :targetEmailAdd (bo@x.org)" +
               extra;
    }
};

// Writing the calendar, mailing in the user's name and organising meetings
// follow the meeting-scheduling policy: nobody, contacts' agents, everybody.
TEST_F(RequestedAppointmentTest, CommandsThatActForTheUserFollowThePolicy)
{
    auto contact = std::make_unique<CContactRecord>("Bo", "Day", "bo@x.org");
    contact->SetCalendarAgentName(CContactRecord::AgentNameFor("bo@x.org"));
    Agent().GetContactStore().Add(std::move(contact));
    const std::string Contact = CContactRecord::AgentNameFor("bo@x.org");
    const std::string meeting = "tell :command schedule_meeting :attendees (a_x.org-CalendarAgent) :start "
                                "(3/5/2031 10:00:00 AM) :duration (30)";
    const struct {
        int policy;
        const char* sender;
        bool allowed;
    } cases[] = {{0, "secretary", false},
                 {0, Contact.c_str(), false},
                 {1, "secretary", false},
                 {1, Contact.c_str(), true},
                 {2, "secretary", true}};
    for (const auto& c : cases) {
        Agent().GetSettings().SetMeetingSchedulingType(c.policy);
        const long items = Backend().GetCount(outlook::olFolderCalendar);
        const std::size_t mails = Backend().GetSentMail().size();
        const int negotiations = Agent().GetNegotiationStore().GetCount();
        Deliver(Appointment("appointment", ""), c.sender);
        Deliver(Appointment("conf_appt", " :email (me@x.org)"), c.sender);
        Deliver(meeting, c.sender);
        EXPECT_EQ(Backend().GetCount(outlook::olFolderCalendar), items + (c.allowed ? 2 : 0))
            << c.policy << c.sender;
        EXPECT_EQ(Backend().GetSentMail().size(), mails + (c.allowed ? 1 : 0)) << c.policy << c.sender;
        EXPECT_EQ(Agent().GetNegotiationStore().GetCount(), negotiations + (c.allowed ? 1 : 0))
            << c.policy << c.sender;
        EXPECT_EQ(Agent().HasLineContaining("Refusing the appointment command from " + std::string(c.sender)),
                  !c.allowed);
        Agent().ClearDebugLines();
    }
}

TEST_F(RequestedAppointmentTest, AppointmentWithoutReminderIsWrittenAndAnswered)
{
    Agent().GetCalendar().SetCalendarItemCount(4);
    Deliver(Appointment("appointment", ""), "secretary");

    ASSERT_EQ(Backend().GetCount(outlook::olFolderCalendar), 1);
    outlook::CStoredItem item;
    ASSERT_TRUE(Backend().GetItem(outlook::olFolderCalendar, 0, item));
    const auto& data = std::get<outlook::CAppointmentData>(item.data);
    EXPECT_EQ(data.subject, "Review");
    EXPECT_EQ(data.location, "Room 2");
    EXPECT_EQ(data.duration, 45);
    EXPECT_FALSE(data.reminderSet);
    EXPECT_EQ(data.start, CDateTime(2031, 3, 5, 14, 30, 0));

    ASSERT_EQ(Agent().GetAppointmentStore().GetCount(), 1);
    const CAppointment* stored = Agent().GetAppointmentStore().GetAt(0);
    EXPECT_EQ(stored->GetReminder(), 0);
    EXPECT_EQ(stored->GetOutlookIndex(), 5);
    EXPECT_EQ(stored->GetApptStatus(), 2);
    EXPECT_EQ(stored->GetAttribute(), "outlook");
    EXPECT_EQ(stored->GetEndTime(), CDateTime(2031, 3, 5, 15, 15, 0));

    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_EQ(Agent().Sent()[0].receiver, "secretary");
    EXPECT_EQ(Agent().Sent()[0].content, "tell :command success");
    EXPECT_TRUE(Backend().GetSentMail().empty());
}

TEST_F(RequestedAppointmentTest, ReminderIsSetWhenAsked)
{
    Deliver(Appointment("appointment", " :reminder 10"), "secretary");
    outlook::CStoredItem item;
    ASSERT_TRUE(Backend().GetItem(outlook::olFolderCalendar, 0, item));
    const auto& data = std::get<outlook::CAppointmentData>(item.data);
    EXPECT_TRUE(data.reminderSet);
    EXPECT_EQ(data.reminderMinutesBeforeStart, 10);
    EXPECT_EQ(Agent().GetAppointmentStore().GetAt(0)->GetReminder(), 10);
}

TEST_F(RequestedAppointmentTest, ConfirmedAppointmentMailsTheRequester)
{
    Deliver(Appointment("conf_appt", " :email (me@x.org)"), "secretary");
    ASSERT_EQ(Backend().GetSentMail().size(), 1u);
    const auto& mail = Backend().GetSentMail()[0];
    EXPECT_EQ(mail.to, "me@x.org");
    EXPECT_EQ(mail.subject, "[ORVANTE DMS] Appointment details");
    EXPECT_EQ(
        mail.body,
        "Hi, \n\nYou recently scheduled an appointment with Bo Day using the ORVANTE Distributed Meeting "
        "Scheduling System. This is your confirmation message with the details given below.\n\n"
        "Appointment Date: " +
            CDateTime(2031, 3, 5, 14, 30, 0).Format() +
            "\nAppointment Subject: Review\nAppointment Body: Plans\nAppointment Duration: 45 minutes.\n\n"
            "Thank you for using the ORVANTE DMS System.\nYou can contact Bo Day via email at bo@x.org");
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_EQ(Agent().Sent()[0].content, "tell :command success");
}

TEST_F(RequestedAppointmentTest, ConfirmationWithoutAddressSendsNoMail)
{
    Deliver(Appointment("conf_appt", ""), "secretary");
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 1);
    EXPECT_TRUE(Backend().GetSentMail().empty());
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_EQ(Agent().Sent()[0].content, "tell :command success");
}

TEST_F(RequestedAppointmentTest, UnusableRequestCreatesNothingAndClaimsNoSuccess)
{
    Deliver("tell :command appointment :duration (45) :subject (No start)", "secretary");
    Deliver("tell :command appointment :start (tell :day 40 :month 13 :year 2031 :hour 1 :minute 0) "
            ":duration (5)",
            "secretary");
    EXPECT_EQ(Backend().GetCount(outlook::olFolderCalendar), 0);
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
    EXPECT_TRUE(Agent().Sent().empty());
}

TEST_F(RequestedAppointmentTest, OversizedNumbersNeitherWrapNorCreate)
{
    Deliver(
        "tell :command appointment :start (tell :day 5 :month 3 :year 99999999999999999999 :hour 1 :minute 0)"
        " :duration (45)",
        "secretary");
    Deliver("tell :command appointment :start (tell :day 5 :month 3 :year 4294969327 :hour 1 :minute 0)"
            " :duration (45)",
            "secretary");
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
    EXPECT_TRUE(Agent().Sent().empty());
}

TEST_F(RequestedAppointmentTest, RefusedCalendarWriteClaimsNoSuccess)
{
    Backend().SetFailing(outlook::CMemoryBackend::Operation::Save, true);
    Deliver(Appointment("appointment", ""), "secretary");
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
    EXPECT_TRUE(Agent().Sent().empty());
}

} // namespace
