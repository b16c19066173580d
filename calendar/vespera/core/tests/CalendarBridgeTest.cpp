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

// --- the calendar program -----------------------------------------------------------

class CalendarBridgeTest : public CVesperaTest {
protected:
    static outlook::CAppointmentData Appointment(const std::string& subject, const CDateTime& start,
                                                 long minutes)
    {
        outlook::CAppointmentData data;
        data.subject = subject;
        data.body = "Body of " + subject;
        data.location = "Room";
        data.requiredAttendees = "a@x.org";
        data.start = start;
        data.duration = minutes;
        data.busyStatus = outlook::olOutOfOffice;
        data.reminderSet = true;
        data.reminderMinutesBeforeStart = 10;
        return data;
    }

    static outlook::CContactData Contact(const std::string& first, const std::string& last,
                                         const std::string& email)
    {
        outlook::CContactData data;
        data.firstName = first;
        data.lastName = last;
        data.email1Address = email;
        data.homeTelephoneNumber = "1";
        data.businessTelephoneNumber = "2";
        data.mobileTelephoneNumber = "3";
        return data;
    }
};

TEST_F(CalendarBridgeTest, EmptyCalendarLoadsNothingAndSaysSo)
{
    Agent().GetAppointmentStore().AddAppointment(7, "Kept", "", "", "", "", FreeMorning(), FreeMorning(), 0,
                                                 0, 0, 2, CDateTime(), "outlook", false);
    Agent().GetCalendar().LoadAppointments();
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 1);
    EXPECT_EQ(Agent().GetCalendar().GetCalendarItemCount(), 0);
    EXPECT_TRUE(Agent().HasApplicationLine("Total Items in olFolderCalendar = 0"));
    EXPECT_TRUE(Agent().HasApplicationLine("Total Appointments loaded = 0"));
}

TEST_F(CalendarBridgeTest, AppointmentsAreCopiedWithTheirFields)
{
    Backend().Put(outlook::olFolderCalendar, Appointment("One", FreeMorning(), 90));
    Agent().GetCalendar().LoadAppointments();
    ASSERT_EQ(Agent().GetAppointmentStore().GetCount(), 1);
    const CAppointment* loaded = Agent().GetAppointmentStore().GetAt(0);
    EXPECT_EQ(loaded->GetOutlookIndex(), 1);
    EXPECT_EQ(loaded->GetSubject(), "One");
    EXPECT_EQ(loaded->GetBody(), "Body of One");
    EXPECT_EQ(loaded->GetReqAttendees(), "a@x.org");
    EXPECT_EQ(loaded->GetEndTime(), FreeMorning() + CDateTimeSpan(0, 1, 30, 0));
    EXPECT_EQ(loaded->GetDuration(), 90);
    EXPECT_EQ(loaded->GetReminder(), 10);
    EXPECT_EQ(loaded->GetApptStatus(), outlook::olOutOfOffice);
    EXPECT_EQ(loaded->GetExpires().GetStatus(), CDateTime::null);
    EXPECT_EQ(loaded->GetAttribute(), "outlook");
    EXPECT_EQ(loaded->GetRecurrence(), nullptr);
    EXPECT_TRUE(Agent().HasApplicationLine("Adding Appointment 1"));
}

TEST_F(CalendarBridgeTest, WeeklyItemWithoutEndCarriesItsStartTimeIntoThePattern)
{
    outlook::CAppointmentData weekly = Appointment("Weekly", CDateTime(2031, 3, 3, 9, 30, 0), 30);
    weekly.isRecurring = true;
    weekly.pattern.recurrenceType = outlook::olRecursWeekly;
    weekly.pattern.dayOfWeekMask = outlook::olMonday | outlook::olThursday;
    weekly.pattern.interval = 2;
    weekly.pattern.patternStartDate = CDateTime(2031, 3, 3, 0, 0, 0);
    weekly.pattern.startTime = CDateTime(1899, 12, 30, 9, 30, 0);
    weekly.pattern.endTime = CDateTime(1899, 12, 30, 10, 0, 0);
    weekly.pattern.noEndDate = true;
    Backend().Put(outlook::olFolderCalendar, Appointment("Single", FreeMorning(), 30));
    Backend().Put(outlook::olFolderCalendar, weekly);

    Agent().GetCalendar().LoadAppointments();
    ASSERT_EQ(Agent().GetAppointmentStore().GetCount(), 2);
    const CAppointment* loaded = Agent().GetAppointmentStore().GetAt(1);
    EXPECT_EQ(loaded->GetOutlookIndex(), 2);
    const CRecurrenceData* pattern = loaded->GetRecurrence();
    ASSERT_NE(pattern, nullptr);
    EXPECT_EQ(pattern->GetEnds(), 0);
    EXPECT_EQ(pattern->GetRecType(), outlook::olRecursWeekly);
    EXPECT_EQ(pattern->GetInterval(), 2);
    EXPECT_EQ(pattern->GetStartDate(), CDateTime(2031, 3, 3, 0, 0, 0));
    EXPECT_EQ(pattern->GetStartTime().GetHour(), 9);
    EXPECT_EQ(pattern->GetStartTime().GetMinute(), 30);
    EXPECT_TRUE(Agent().HasApplicationLine("Adding Recurring Appointment 2"));
    EXPECT_TRUE(Agent().HasApplicationLine("Total Appointments loaded = 2"));
}

TEST_F(CalendarBridgeTest, ItemsOfOtherKindsAreSkippedWithoutStoppingTheLoad)
{
    outlook::CGenericItemData note;
    note.type = outlook::olNoteItem;
    Backend().Put(outlook::olFolderCalendar, note);
    Backend().Put(outlook::olFolderCalendar, Appointment("After", FreeMorning(), 30));
    Backend().Put(outlook::olFolderContacts, note);
    Backend().Put(outlook::olFolderContacts, Contact("Ann", "Lee", "ann@x.org"));
    Agent().GetCalendar().LoadAppointments();
    Agent().GetCalendar().LoadContacts();
    ASSERT_EQ(Agent().GetAppointmentStore().GetCount(), 1);
    EXPECT_EQ(Agent().GetAppointmentStore().GetAt(0)->GetOutlookIndex(), 2);
    EXPECT_EQ(Agent().GetCalendar().GetCalendarItemCount(), 2);
    ASSERT_EQ(Agent().GetContactStore().GetCount(), 1);
    EXPECT_EQ(Agent().GetContactStore().GetAt(0)->GetFirstName(), "Ann");
}

TEST_F(CalendarBridgeTest, CreatedAppointmentsAreNumberedAfterTheLoadedOnes)
{
    Backend().Put(outlook::olFolderCalendar, Appointment("One", FreeMorning(), 30));
    Backend().Put(outlook::olFolderCalendar, Appointment("Two", FreeMorning() + CDateTimeSpan(1.0), 30));
    Agent().GetCalendar().LoadAppointments();
    ASSERT_TRUE(Agent().CreateOutlookAppointment(FreeMorning() + CDateTimeSpan(2.0), 45, "New", "B", "L", 5,
                                                 false, "", "", true));
    ASSERT_EQ(Agent().GetAppointmentStore().GetCount(), 3);
    const CAppointment* created = Agent().GetAppointmentStore().GetAt(2);
    EXPECT_EQ(created->GetOutlookIndex(), 3);
    EXPECT_EQ(created->GetApptStatus(), 2);
    EXPECT_EQ(created->GetAttribute(), "outlook");
    EXPECT_EQ(created->GetReminder(), 0);
    EXPECT_EQ(Backend().GetCount(outlook::olFolderCalendar), 3);
}

TEST_F(CalendarBridgeTest, ContactsGetAnAgentNameOnlyWithAnAddress)
{
    Backend().Put(outlook::olFolderContacts, Contact("Ann", "Lee", "ann@x.org"));
    Backend().Put(outlook::olFolderContacts, Contact("Bo", "Day", ""));
    Agent().GetCalendar().LoadContacts();
    ASSERT_EQ(Agent().GetContactStore().GetCount(), 2);
    const CContactRecord* ann = Agent().GetContactStore().GetAt(0);
    EXPECT_EQ(ann->GetCalendarAgentName(), "ann_x.org-CalendarAgent");
    EXPECT_EQ(ann->GetHomeTelephone(), "1");
    EXPECT_EQ(ann->GetBusinessTelephone(), "2");
    EXPECT_EQ(ann->GetMobileTelephone(), "3");
    EXPECT_EQ(Agent().GetContactStore().GetAt(1)->GetCalendarAgentName(), "");
    EXPECT_EQ(Agent().CountApplicationLine("CVSP::LoadContacts: Setting CalendarAgentName"), 1);
    EXPECT_EQ(Agent().CountApplicationLine("CVSP::LoadContacts: Adding Contact to Contact Store"), 2);
    EXPECT_TRUE(Agent().HasApplicationLine("CVSP::LoadContacts: Total Items in olFolderContacts = 2"));
    EXPECT_TRUE(Agent().HasApplicationLine("CVSP::LoadContacts: Total Contacts Loaded = 2"));
}

TEST_F(CalendarBridgeTest, LoadsWithoutNamespaceOrFolderShowWhy)
{
    Backend().SetFailing(outlook::CMemoryBackend::Operation::Start, true);
    EXPECT_FALSE(Agent().StartOutlook());
    Agent().GetCalendar().LoadAppointments();
    Agent().GetCalendar().LoadContacts();
    ASSERT_EQ(Boxes().Boxes().size(), 2u);
    EXPECT_EQ(Boxes().Boxes()[0].text, "Namespace pointer is null. No Appointments Loaded");
    EXPECT_EQ(Boxes().Boxes()[1].text, "NameSpace pointer is NULL. No Contacts Loaded");
    EXPECT_TRUE(Agent().HasApplicationLine(
        "CVSP::LoadApointments: Namespace Pointer is NULL. No Appointments Loaded"));
    EXPECT_TRUE(Agent().HasApplicationLine("Namespace pointer is NULL. No Contacts Loaded"));

    Backend().SetFailing(outlook::CMemoryBackend::Operation::Start, false);
    Backend().SetFailing(outlook::CMemoryBackend::Operation::ContactsFolder, true);
    ASSERT_TRUE(Agent().StartOutlook());
    Boxes().Clear();
    Agent().GetCalendar().LoadContacts();
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(Boxes().Boxes()[0].text, "Could not load contacts because items pointer is not accessible");
}

TEST_F(CalendarBridgeTest, ContactFromAScheduleSplitsTheNameAtTheLastBlank)
{
    ASSERT_TRUE(Agent().GetCalendar().CreateOutlookContact("ann_x.org-CalendarAgent", "  Ann Marie Lee ",
                                                           "ann@x.org", "http://x.org/ann"));
    ASSERT_TRUE(Agent().GetCalendar().CreateOutlookContact("cher-CalendarAgent", "Cher", "cher@x.org", ""));
    ASSERT_EQ(Agent().GetContactStore().GetCount(), 2);
    const CContactRecord* ann = Agent().GetContactStore().GetAt(0);
    EXPECT_EQ(ann->GetFirstName(), "Ann Marie");
    EXPECT_EQ(ann->GetLastName(), "Lee");
    EXPECT_EQ(ann->GetWebPage(), "http://x.org/ann");
    EXPECT_EQ(Agent().GetContactStore().GetAt(1)->GetFirstName(), "");
    EXPECT_EQ(Agent().GetContactStore().GetAt(1)->GetLastName(), "Cher");

    outlook::CStoredItem item;
    ASSERT_TRUE(Backend().GetItem(outlook::olFolderContacts, 0, item));
    const auto& data = std::get<outlook::CContactData>(item.data);
    EXPECT_EQ(data.firstName, "Ann Marie");
    EXPECT_EQ(data.lastName, "Lee");
    EXPECT_EQ(data.email1Address, "ann@x.org");
    EXPECT_EQ(data.webPage, "http://x.org/ann");

    Backend().SetFailing(outlook::CMemoryBackend::Operation::Save, true);
    EXPECT_FALSE(Agent().GetCalendar().CreateOutlookContact("x", "A B", "a@b.c", ""));
    EXPECT_EQ(Agent().GetContactStore().GetCount(), 2);
}

TEST_F(CalendarBridgeTest, ResynchronisingDropsHoldsAndReloads)
{
    Backend().Put(outlook::olFolderCalendar, Appointment("One", FreeMorning(), 30));
    Agent().GetCalendar().LoadAppointments();
    CDateTime later = CDateTime::GetCurrentTime() + CDateTimeSpan(1.0);
    Agent().GetAppointmentStore().AddAppointment(CAppointmentStore::HoldIndex, "Hold", "", "", "", "",
                                                 FreeMorning(), FreeMorning(), 30, 0, 0, 1, later, "1:2:3",
                                                 false);
    ASSERT_EQ(Agent().GetAppointmentStore().GetCount(), 2);
    Backend().Put(outlook::olFolderCalendar, Appointment("Two", FreeMorning(), 30));
    Agent().GetCalendar().Resynchronise();
    ASSERT_EQ(Agent().GetAppointmentStore().GetCount(), 2);
    EXPECT_EQ(Agent().GetAppointmentStore().GetAt(0)->GetSubject(), "One");
    EXPECT_EQ(Agent().GetAppointmentStore().GetAt(1)->GetSubject(), "Two");
    EXPECT_EQ(Agent().GetCalendar().GetCalendarItemCount(), 2);
}

} // namespace
