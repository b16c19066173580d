#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/Preferences.h>

#include <platform/DateTimeSpan.h>
#include <platform/Registry.h>

#include <gtest/gtest.h>

#include <ctime>
#include <regex>
#include <string>
#include <vector>

using vespera_test::CVesperaTest;

namespace
{

const char* const BadDms = "Bad DMS message. No type specified";
const char* const UnknownObjective = "Unknown objective message type. Ignoring.";
const char* const UnknownType = "Unknown DMS message type. Ignoring.";

// A weekday well ahead, at 10:00, with nothing of the user's around it.
CDateTime FreeMorning()
{
    return CDateTime(2031, 3, 4, 10, 0, 0);
}

std::string RequestAppt(const CDateTime& start, int minutes, const std::string& fname = "Ann",
                        const std::string& lname = "Lee", const std::string& email = "ann@example.org")
{
    return "tell :command request_appt :duration (" + std::to_string(minutes) + ") :startTime (" + start.Format() +
           ") :subject (Lunch) :body (Talk) :location (Cafe) :email (" + email + ") :fname (" + fname +
           ") :lname (" + lname + ")";
}

class VesperaDispatchTest : public CVesperaTest
{
};

TEST_F(VesperaDispatchTest, MessageWithoutContentIsLoggedAndDropped)
{
    std::string noContent = "(tell :sender peer :receiver me)";
    Agent().process_message(noContent.data());
    std::string garbage = "not a message";
    Agent().process_message(garbage.data());
    Agent().process_message(static_cast<char*>(nullptr));
    EXPECT_EQ(Agent().CountLine("No Content in message."), 3);
    EXPECT_TRUE(Agent().Sent().empty());
}

TEST_F(VesperaDispatchTest, CommandsThatDoNothingSayWhy)
{
    Deliver("tell :command create_profile");
    EXPECT_TRUE(Agent().HasLine("Create_profile messages have been deprecated and are no longer used"));
    Deliver("tell :command dance");
    EXPECT_TRUE(Agent().HasLine("Unknown command in incoming message. Ignoring."));
    // Values compare case-sensitively.
    Agent().ClearDebugLines();
    Deliver("tell :command Create_profile");
    EXPECT_TRUE(Agent().HasLine("Unknown command in incoming message. Ignoring."));
    EXPECT_FALSE(Agent().HasLine(BadDms));
    EXPECT_TRUE(Agent().Sent().empty());
}

TEST_F(VesperaDispatchTest, CommandWinsOverTypeAndObjective)
{
    Deliver("tell :command create_profile :type Contract :objective nothing");
    EXPECT_TRUE(Agent().HasLine("Create_profile messages have been deprecated and are no longer used"));
    EXPECT_FALSE(Agent().HasLine(UnknownType));
    EXPECT_FALSE(Agent().HasLine(UnknownObjective));
    EXPECT_FALSE(Agent().HasLine(BadDms));
}

TEST_F(VesperaDispatchTest, UnknownTypeIsCaseSensitiveAndNotABadMessage)
{
    Deliver("tell :type Contract :negID 1");
    EXPECT_EQ(Agent().CountLine(UnknownType), 1);
    EXPECT_FALSE(Agent().HasLine(BadDms));
    EXPECT_TRUE(Agent().Sent().empty());
}

TEST_F(VesperaDispatchTest, KnownTypesNeverCountAsBadMessages)
{
    for (const char* type : {"contract", "award", "confirm", "bid"})
        Deliver(std::string("tell :type ") + type + " :negID 1 :contractID 2 :bidID 3");
    EXPECT_FALSE(Agent().HasLine(BadDms));
    EXPECT_FALSE(Agent().HasLine(UnknownType));
}

TEST_F(VesperaDispatchTest, NothingToDispatchOnIsABadMessage)
{
    Deliver("tell :subject (hello)");
    EXPECT_EQ(Agent().CountLine(BadDms), 1);
    // A content that is no expression at all has no keywords either.
    std::string bare = "(tell :sender peer :content hello)";
    Agent().process_message(bare.data());
    EXPECT_EQ(Agent().CountLine(BadDms), 2);
}

TEST_F(VesperaDispatchTest, ObjectivesNeedTheirOptions)
{
    Agent().GetSettings().SetAutoInvokeSchedule(false);
    Agent().GetSettings().SetAutoLoadSchedule(false);
    Deliver("tell :objective browseScheduleURL :url \"http://example.org/s.rdf\"");
    Deliver("tell :objective uploadScheduleURL :url \"http://example.org/s.rdf\"");
    Deliver("tell :objective lookAround");
    EXPECT_EQ(Agent().CountLine(UnknownObjective), 3);
    EXPECT_FALSE(Agent().HasLine(BadDms));
}

TEST_F(VesperaDispatchTest, AllowedObjectivesSayTheyAreUnavailableAndNeedAnAddress)
{
    Agent().GetSettings().SetAutoInvokeSchedule(true);
    Agent().GetSettings().SetAutoLoadSchedule(true);
    Deliver("tell :objective browseScheduleURL");
    Deliver("tell :objective uploadScheduleURL");
    EXPECT_TRUE(Agent().DebugLines().empty());
    Deliver("tell :objective browseScheduleURL :url \"http://example.org/s.rdf\"");
    EXPECT_TRUE(Agent().HasLine("Schedule browsing is not available in this build; not opening "
                                "http://example.org/s.rdf"));
    Deliver("tell :objective uploadScheduleURL :url \"http://example.org/t.rdf\"");
    EXPECT_TRUE(Agent().HasLine("Schedule import is not available in this build; not importing "
                                "http://example.org/t.rdf"));
    EXPECT_FALSE(Agent().HasLine(UnknownObjective));
    EXPECT_TRUE(Agent().Sent().empty());
}

TEST_F(VesperaDispatchTest, TypeAndObjectiveAreBothHandled)
{
    Agent().GetSettings().SetAutoLoadSchedule(false);
    Deliver("tell :type bid :negID 404 :bidID 1 :status accept :objective uploadScheduleURL :url \"u\"");
    EXPECT_EQ(Agent().CountLine(UnknownObjective), 1);
    EXPECT_FALSE(Agent().HasLine(UnknownType));
    EXPECT_FALSE(Agent().HasLine(BadDms));
}

TEST_F(VesperaDispatchTest, NullDataUrlShowsTheNoReplyBox)
{
    Deliver("tell :dataurl null");
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(Boxes().Boxes()[0].text, "No reply was available.  Sorry...");
    EXPECT_EQ(Boxes().Boxes()[0].type, MB_ICONINFORMATION);
    EXPECT_FALSE(Agent().HasLine(BadDms));
}

TEST_F(VesperaDispatchTest, DataUrlOpensTheAddressWithoutParentheses)
{
    std::vector<std::string> opened;
    Agent().SetUrlOpener([&opened](const std::string& address) {
        opened.push_back(address);
        return 42;
    });
    Deliver("tell :dataurl (http://example.org/reply.html)");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "http://example.org/reply.html");
    EXPECT_TRUE(Boxes().Boxes().empty());
}

TEST_F(VesperaDispatchTest, DataUrlThatCannotBeOpenedIsReported)
{
    Agent().SetUrlOpener([](const std::string&) { return 2; });
    Deliver("tell :dataurl (https://example.org/gone)");
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(Boxes().Boxes()[0].text, "Unable to open hyperlink:\n\nThe specified file was not found.");
    EXPECT_EQ(Boxes().Boxes()[0].type, MB_ICONEXCLAMATION);
}

TEST_F(VesperaDispatchTest, DataUrlThatIsNoWebAddressIsNeverOpened)
{
    int calls = 0;
    Agent().SetUrlOpener([&calls](const std::string&) { return ++calls, 42; });
    Deliver("tell :dataurl (file:///etc/passwd)");
    Deliver("tell :dataurl (--help)");
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(Agent().HasLineContaining("Refusing to open file:///etc/passwd"));
    EXPECT_TRUE(Boxes().Boxes().empty());
}

class VesperaAppointmentRequestTest : public CVesperaTest
{
protected:
    void AddBusy(const CDateTime& start, int minutes)
    {
        CDateTime end = start + CDateTimeSpan(0, 0, minutes, 0);
        CDateTime never;
        never.SetStatus(CDateTime::null);
        Agent().GetAppointmentStore().AddAppointment(1, "Busy", "", "", "", "", start, end, minutes, 0, 0, 2, never,
                                                     "outlook", false);
    }

    const vespera_test::SSentMessage& OnlyReply()
    {
        EXPECT_EQ(Agent().Sent().size(), 1u);
        static const vespera_test::SSentMessage none;
        return Agent().Sent().empty() ? none : Agent().Sent().back();
    }
};

TEST_F(VesperaAppointmentRequestTest, FreeTimeIsAccepted)
{
    Agent().GetSettings().SetMeetingSchedulingType(2);
    Deliver(RequestAppt(FreeMorning(), 60), "secretary");
    const auto& reply = OnlyReply();
    EXPECT_EQ(reply.performative, "tell");
    EXPECT_EQ(reply.receiver, "secretary");
    EXPECT_FALSE(reply.alertNotice);
    EXPECT_EQ(reply.content, "tell :startTime (" + FreeMorning().Format() + ") :duration (60) :status accept");
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
}

TEST_F(VesperaAppointmentRequestTest, BusyTimeGetsTheNextFreeSlot)
{
    Agent().GetSettings().SetMeetingSchedulingType(2);
    AddBusy(FreeMorning(), 90);
    CTimeSlot expected = Agent().GetPreferences().NextFreeSlotPlain(FreeMorning(), 60);
    ASSERT_TRUE(expected.IsValid());
    ASSERT_GT(expected.GetStartTime(), FreeMorning());
    Deliver(RequestAppt(FreeMorning(), 60), "secretary");
    EXPECT_EQ(OnlyReply().content,
              "tell :startTime (" + expected.GetStartTime().Format() + ") :duration (60) :status alt");
}

TEST_F(VesperaAppointmentRequestTest, DurationsThatAreNoPositiveMinutesAreRejected)
{
    Agent().GetSettings().SetMeetingSchedulingType(2);
    Deliver(RequestAppt(FreeMorning(), 0), "secretary");
    Deliver(RequestAppt(FreeMorning(), -30), "secretary");
    Deliver("tell :command request_appt :duration (-99999999999999999999) :startTime (" + FreeMorning().Format() +
                ")",
            "secretary");
    ASSERT_EQ(Agent().Sent().size(), 3u);
    for (const auto& reply : Agent().Sent())
        EXPECT_EQ(reply.content, "tell :status reject");
}

TEST_F(VesperaAppointmentRequestTest, UnreadableStartIsRejected)
{
    Agent().GetSettings().SetMeetingSchedulingType(2);
    Deliver("tell :command request_appt :duration (30) :startTime (soon) :fname (A) :lname (B)", "secretary");
    EXPECT_EQ(OnlyReply().content, "tell :status reject");
}

TEST_F(VesperaAppointmentRequestTest, NoMeetingsPolicyRejectsEveryone)
{
    Agent().GetSettings().SetMeetingSchedulingType(0);
    Agent().GetContactStore().Add(std::make_unique<CContactRecord>("Ann", "Lee", "ann@example.org"));
    Deliver(RequestAppt(FreeMorning(), 30), "secretary");
    EXPECT_EQ(OnlyReply().content, "tell :status reject");
    EXPECT_TRUE(Agent().HasLineContaining("V-Izadavavu meeting declined for ann@example.org (Ann Lee)"));
}

TEST_F(VesperaAppointmentRequestTest, ContactsOnlyPolicyNeedsExactNames)
{
    Agent().GetSettings().SetMeetingSchedulingType(1);
    Agent().GetContactStore().Add(std::make_unique<CContactRecord>("Ann", "Lee", "ann@example.org"));
    Deliver(RequestAppt(FreeMorning(), 30, "ann", "Lee"), "secretary");
    EXPECT_EQ(OnlyReply().content, "tell :status reject");
    Agent().ClearSent();
    Deliver(RequestAppt(FreeMorning(), 30, "Ann", "Lee"), "secretary");
    EXPECT_EQ(OnlyReply().content, "tell :startTime (" + FreeMorning().Format() + ") :duration (30) :status accept");
}

class VesperaRequestedAppointmentTest : public CVesperaTest
{
protected:
    static std::string Appointment(const std::string& command, const std::string& extra)
    {
        return "tell :command " + command +
               " :start (tell :day 5 :month 3 :year 2031 :hour 14 :minute 30) :duration (45) :subject (Review)"
               " :body (Plans) :location (Room 2) :requiredAttendees (a@x.org) :targetRealName (Bo Day)"
               " :targetEmailAdd (bo@x.org)" +
               extra;
    }
};

TEST_F(VesperaRequestedAppointmentTest, AppointmentWithoutReminderIsWrittenAndAnswered)
{
    Agent().SetCalendarItemCount(4);
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

TEST_F(VesperaRequestedAppointmentTest, ReminderIsSetWhenAsked)
{
    Deliver(Appointment("appointment", " :reminder 10"), "secretary");
    outlook::CStoredItem item;
    ASSERT_TRUE(Backend().GetItem(outlook::olFolderCalendar, 0, item));
    const auto& data = std::get<outlook::CAppointmentData>(item.data);
    EXPECT_TRUE(data.reminderSet);
    EXPECT_EQ(data.reminderMinutesBeforeStart, 10);
    EXPECT_EQ(Agent().GetAppointmentStore().GetAt(0)->GetReminder(), 10);
}

TEST_F(VesperaRequestedAppointmentTest, ConfirmedAppointmentMailsTheRequester)
{
    Deliver(Appointment("conf_appt", " :email (me@x.org)"), "secretary");
    ASSERT_EQ(Backend().GetSentMail().size(), 1u);
    const auto& mail = Backend().GetSentMail()[0];
    EXPECT_EQ(mail.to, "me@x.org");
    EXPECT_EQ(mail.subject, "[ORVANTE DMS] Appointment details");
    EXPECT_EQ(mail.body,
              "Hi, \n\nYou recently scheduled an appointment with Bo Day using the ORVANTE Distributed Meeting "
              "Scheduling System. This is your confirmation message with the details given below.\n\n"
              "Appointment Date: " +
                  CDateTime(2031, 3, 5, 14, 30, 0).Format() +
                  "\nAppointment Subject: Review\nAppointment Body: Plans\nAppointment Duration: 45 minutes.\n\n"
                  "Thank you for using the ORVANTE DMS System.\nYou can contact Bo Day via email at bo@x.org");
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_EQ(Agent().Sent()[0].content, "tell :command success");
}

TEST_F(VesperaRequestedAppointmentTest, ConfirmationWithoutAddressSendsNoMail)
{
    Deliver(Appointment("conf_appt", ""), "secretary");
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 1);
    EXPECT_TRUE(Backend().GetSentMail().empty());
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_EQ(Agent().Sent()[0].content, "tell :command success");
}

TEST_F(VesperaRequestedAppointmentTest, UnusableRequestCreatesNothingAndClaimsNoSuccess)
{
    Deliver("tell :command appointment :duration (45) :subject (No start)", "secretary");
    Deliver("tell :command appointment :start (tell :day 40 :month 13 :year 2031 :hour 1 :minute 0) :duration (5)",
            "secretary");
    EXPECT_EQ(Backend().GetCount(outlook::olFolderCalendar), 0);
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
    EXPECT_TRUE(Agent().Sent().empty());
}

TEST_F(VesperaRequestedAppointmentTest, OversizedNumbersNeitherWrapNorCreate)
{
    Deliver("tell :command appointment :start (tell :day 5 :month 3 :year 99999999999999999999 :hour 1 :minute 0)"
            " :duration (45)",
            "secretary");
    Deliver("tell :command appointment :start (tell :day 5 :month 3 :year 4294969327 :hour 1 :minute 0)"
            " :duration (45)",
            "secretary");
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
    EXPECT_TRUE(Agent().Sent().empty());
}

TEST_F(VesperaRequestedAppointmentTest, RefusedCalendarWriteClaimsNoSuccess)
{
    Backend().SetFailing(outlook::CMemoryBackend::Operation::Save, true);
    Deliver(Appointment("appointment", ""), "secretary");
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
    EXPECT_TRUE(Agent().Sent().empty());
}

class VesperaAgentTest : public CVesperaTest
{
};

TEST_F(VesperaAgentTest, NegotiationIdsAreClockThenZeroThenRandom)
{
    std::time_t before = std::time(nullptr);
    std::string id = CVespera::MakeNegotiationId();
    std::time_t after = std::time(nullptr);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(id, match, std::regex("([0-9]{6})0([0-9]{1,5})"))) << id;
    EXPECT_LE(std::stol(match[2].str()), 32767);
    std::vector<std::string> clocks;
    for (std::time_t t : {before, after}) {
        std::tm local{};
        localtime_r(&t, &local);
        char text[16];
        std::snprintf(text, sizeof text, "%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec);
        clocks.push_back(text);
    }
    EXPECT_TRUE(match[1].str() == clocks[0] || match[1].str() == clocks[1]) << id;
}

TEST_F(VesperaAgentTest, ExpiredHoldsGoOnEveryThirtiethTick)
{
    CDateTime past = CDateTime::GetCurrentTime() - CDateTimeSpan(1.0);
    auto addHold = [&] {
        Agent().GetAppointmentStore().AddAppointment(CAppointmentStore::HoldIndex, "Hold", "", "", "", "", past,
                                                     past + CDateTimeSpan(0, 1, 0, 0), 60, 0, 0, 1, past,
                                                     "1:2:3", false);
    };
    addHold();
    for (int tick = 1; tick < CVespera::PurgeInterval; ++tick)
        Agent().process_timer();
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 1);
    EXPECT_EQ(Agent().GetTimerTick(), CVespera::PurgeInterval);
    Agent().process_timer();
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
    EXPECT_EQ(Agent().GetTimerTick(), 1);

    addHold();
    for (int tick = 1; tick < CVespera::PurgeInterval; ++tick)
        Agent().process_timer();
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 1);
    Agent().process_timer();
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
}

TEST_F(VesperaAgentTest, RegistrationNeedsEveryStoredValue)
{
    CRegistry registry;
    const char* key = "Software\\ORVANTE\\CalendarAgent";
    EXPECT_FALSE(Agent().LoadRegInfo());
    registry.WriteValue(key, "AgentName", "me_x.org-CalendarAgent");
    registry.WriteValue(key, "ANSHost", "127.0.0.1");
    EXPECT_FALSE(Agent().LoadRegInfo());
    registry.WriteValue(key, "ANSPort", "-1");
    EXPECT_FALSE(Agent().LoadRegInfo());
    registry.WriteValue(key, "ANSPort", "6677");
    registry.WriteValue(key, "AgentName", "-");
    EXPECT_FALSE(Agent().LoadRegInfo());
    registry.WriteValue(key, "AgentName", "me_x.org-CalendarAgent");
    registry.WriteValue(key, "ANSHost", "-");
    EXPECT_FALSE(Agent().LoadRegInfo());
    EXPECT_FALSE(Agent().HasLine("<CVespera::EnableANS()> ENABLING THE ANS MODULE"));

    // All set: registration is tried whatever its outcome; without a
    // running name-server client it cannot succeed.
    registry.WriteValue(key, "ANSHost", "127.0.0.1");
    EXPECT_TRUE(Agent().LoadRegInfo());
    EXPECT_TRUE(Agent().HasLine("<CVespera::EnableANS()> ENABLING THE ANS MODULE"));
    EXPECT_TRUE(Agent().HasLineContaining("CVSP::LoadRegInfo: Agent Name = "));
}

TEST_F(VesperaAgentTest, CalendarWritesFailCleanlyWithoutTheProgram)
{
    Backend().SetFailing(outlook::CMemoryBackend::Operation::Start, true);
    EXPECT_FALSE(Agent().StartOutlook());
    EXPECT_EQ(Agent().GetOutlookApplication(), nullptr);
    EXPECT_EQ(Agent().GetNameSpace(), nullptr);
    EXPECT_FALSE(Agent().CreateOutlookAppointment(FreeMorning(), 30, "S", "B", "L", 0, false, "", "", true));
    EXPECT_FALSE(Agent().SendMail("a@x.org", "S", "B"));
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
}

} // namespace
