// Mail of the headless agent on its user's files, with no mail server set or
// one that cannot be reached: every message lands in outbox.mbox of the data
// directory. A confirmed appointment request writes the item into
// calendar.ics and mails its confirmation; a reminder of an event in
// calendar.ics is mailed once.

#include "AgentSociety.h"
#include "CalendarEvents.h"
#include "Outbox.h"

#include <platform/DateTime.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace vesperaprocess;

namespace {

const char* const AnnName = "ann_example.org-CalendarAgent";
const char* const AnnAddress = "ann@example.org";

// A request from the electronic secretary for a 45-minute appointment with
// a reminder, `email` being the requester's address as sent.
std::string ConfirmedRequest(const std::string& email, const std::string& subject)
{
    return "tell :command conf_appt :email (" + email +
           ") :start (tell :day 5 :month 3 :year 2031 :hour 14 :minute 30) :duration (45) :subject (" +
           subject +
           ") :body (Bring the forms) :location (Suite 2) :targetRealName (Ann Lee) :targetEmailAdd (" +
           AnnAddress + ") :reminder (10)";
}

// The messages of the outbox once it holds at least `count`, or what it
// holds when the deadline passed.
std::vector<SOutboxMessage> AwaitMessages(const SAgentProcess& agent, std::size_t count)
{
    const auto deadline = std::chrono::steady_clock::now() + Deadline;
    std::vector<SOutboxMessage> messages = COutbox::Read(agent.OutboxPath());
    while (messages.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(PollInterval);
        messages = COutbox::Read(agent.OutboxPath());
    }
    return messages;
}

std::string UtcStamp(std::time_t instant)
{
    std::tm utc{};
    gmtime_r(&instant, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc);
    return text;
}

CDateTime LocalTime(std::time_t instant)
{
    std::tm local{};
    localtime_r(&instant, &local);
    return CDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     local.tm_sec);
}

// An event starting at `start` whose alarm rings fifteen minutes before.
std::string CalendarWithReminder(std::time_t start)
{
    return "BEGIN:VCALENDAR\r\n"
           "VERSION:2.0\r\n"
           "PRODID:-//Example Desk//Desk Calendar 4.2//EN\r\n"
           "BEGIN:VEVENT\r\n"
           "UID:standup-7d01@desk.example.org\r\n"
           "DTSTAMP:" +
           UtcStamp(start - 3600) +
           "\r\n"
           "DTSTART:" +
           UtcStamp(start) +
           "\r\n"
           "DTEND:" +
           UtcStamp(start + 900) +
           "\r\n"
           "SUMMARY:Standup\r\n"
           "LOCATION:Room 7\r\n"
           "BEGIN:VALARM\r\n"
           "ACTION:DISPLAY\r\n"
           "DESCRIPTION:Standup\r\n"
           "TRIGGER:-PT15M\r\n"
           "END:VALARM\r\n"
           "END:VEVENT\r\n"
           "END:VCALENDAR\r\n";
}

// A port on 127.0.0.1 that nobody listens on: one the system handed out and
// that was closed again at once.
int ClosedLocalPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

class OutboxProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_society.StartNameServer()) << m_society.Failure(); }

    SAgentProcess* StartAnn(std::vector<std::pair<std::string, std::string>> values,
                            const SAgentFiles& files = {})
    {
        values.push_back({"Email", AnnAddress});
        SAgentProcess* agent = m_society.StartAgent({AnnName, "ann", values, {}}, files);
        EXPECT_NE(agent, nullptr) << m_society.Failure();
        return agent;
    }

    std::vector<SCalendarEvent> Calendar(const SAgentProcess& agent)
    {
        std::vector<SCalendarEvent> events;
        std::string error;
        EXPECT_TRUE(CCalendarEvents::Read(agent.CalendarPath(), events, error)) << error;
        return events;
    }

    CAgentSociety m_society;
};

TEST_F(OutboxProcessTest, ConfirmedRequestWritesTheItemAndMailsItsConfirmation)
{
    SAgentProcess* ann = StartAnn({});
    ASSERT_NE(ann, nullptr);
    ASSERT_EQ(m_society.Tell(AnnName, ConfirmedRequest("cy@example.org", "Dentist check")),
              "tell :command success")
        << ann->Log();

    const std::vector<SCalendarEvent> items = CCalendarEvents::WithSummary(Calendar(*ann), "Dentist check");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].start, "2031-03-05 14:30:00");
    EXPECT_EQ(items[0].end, "2031-03-05 15:15:00");
    EXPECT_EQ(items[0].location, "Suite 2");
    EXPECT_EQ(items[0].description, "Bring the forms");
    EXPECT_EQ(items[0].alarmMinutes, 10);

    // The mail went out before the answer did.
    const std::vector<SOutboxMessage> mails = COutbox::Read(ann->OutboxPath());
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].Header("To"), "cy@example.org");
    EXPECT_EQ(mails[0].Header("From"), AnnAddress);
    EXPECT_EQ(mails[0].Header("Subject"), "[ORVANTE DMS] Appointment details");
    EXPECT_EQ(
        mails[0].body,
        "Hi, \n\nYou recently scheduled an appointment with Ann Lee using the ORVANTE Distributed Meeting "
        "Scheduling System. This is your confirmation message with the details given below.\n\n"
        "Appointment Date: 3/5/2031 2:30:00 PM\nAppointment Subject: Dentist check\n"
        "Appointment Body: Bring the forms\nAppointment Duration: 45 minutes.\n\n"
        "Thank you for using the ORVANTE DMS System.\nYou can contact Ann Lee via email at ann@example.org");

    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(OutboxProcessTest, ConfirmationTheMailServerCannotTakeIsKeptInTheOutbox)
{
    const int port = ClosedLocalPort();
    ASSERT_GT(port, 0);
    SAgentProcess* ann = StartAnn({{"SMTPServer", "smtp://127.0.0.1:" + std::to_string(port)}});
    ASSERT_NE(ann, nullptr);
    ASSERT_EQ(m_society.Tell(AnnName, ConfirmedRequest("cy@example.org", "Dentist check")),
              "tell :command success")
        << ann->Log();
    // The server was tried, and the message kept.
    EXPECT_TRUE(CAgentSociety::WaitForLines({{ann, "Unable to send the mail to cy@example.org", 1}}))
        << ann->Log();
    const std::vector<SOutboxMessage> mails = COutbox::Read(ann->OutboxPath());
    ASSERT_EQ(mails.size(), 1u) << ann->Log();
    EXPECT_EQ(mails[0].Header("To"), "cy@example.org");
    EXPECT_EQ(mails[0].Header("Subject"), "[ORVANTE DMS] Appointment details");
    EXPECT_NE(mails[0].body.find("Appointment Date: 3/5/2031 2:30:00 PM\n"), std::string::npos)
        << mails[0].body;
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(OutboxProcessTest, RequestWhoseAddressIsNotOnePlainAddressMailsNobody)
{
    SAgentProcess* ann = StartAnn({});
    ASSERT_NE(ann, nullptr);
    const std::vector<std::pair<std::string, std::string>> requests{
        {"cy@example.org\nBcc: eve@example.org", "Broken line"},
        {"cy@example.org,eve@example.org", "Two by comma"},
        {"cy@example.org eve@example.org", "Two by blank"}};
    for (const auto& [address, subject] : requests) {
        // The appointment itself is still made; only the mail is refused.
        EXPECT_EQ(m_society.Tell(AnnName, ConfirmedRequest(address, subject)), "tell :command success")
            << subject;
        EXPECT_EQ(CCalendarEvents::WithSummary(Calendar(*ann), subject).size(), 1u) << subject;
    }
    EXPECT_FALSE(std::filesystem::exists(ann->OutboxPath())) << COutbox::Read(ann->OutboxPath()).size();
    EXPECT_EQ(CountOf(ann->Log(), "no confirmation is sent"), requests.size()) << ann->Log();

    // A plain address afterwards is mailed, and only it.
    ASSERT_EQ(m_society.Tell(AnnName, ConfirmedRequest("cy@example.org", "Plain")), "tell :command success");
    const std::vector<SOutboxMessage> mails = COutbox::Read(ann->OutboxPath());
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].Header("To"), "cy@example.org");
    EXPECT_NE(mails[0].body.find("Appointment Subject: Plain\n"), std::string::npos) << mails[0].body;

    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(OutboxProcessTest, ReminderOfAnEventInTheCalendarFileIsMailedOnce)
{
    // Due a few seconds after start; should start-up take longer, the
    // reminder is still due when the calendar opens, as its event is ahead.
    const std::time_t start = std::time(nullptr) + 15 * 60 + 6;
    SAgentProcess* ann =
        StartAnn({{"ReminderAlert", "true"}, {"EmailAlert", "true"}, {"EmailAlertString", AnnAddress}},
                 {CalendarWithReminder(start), ""});
    ASSERT_NE(ann, nullptr);

    std::vector<SOutboxMessage> mails = AwaitMessages(*ann, 1);
    ASSERT_EQ(mails.size(), 1u) << ann->Log();
    EXPECT_EQ(mails[0].Header("To"), AnnAddress);
    EXPECT_EQ(mails[0].Header("Subject"), "Appointment");
    EXPECT_EQ(mails[0].body, "Standup@" + LocalTime(start).Format() + ">Room 7");

    // Past the reminder's time, and once the agent has answered another
    // request, there is still one mail; and still one after it ended.
    const auto pastDue = std::chrono::system_clock::from_time_t(start - 15 * 60 + 2);
    std::this_thread::sleep_until(
        std::min(pastDue, std::chrono::system_clock::now() + std::chrono::seconds(10)));
    EXPECT_EQ(m_society.Tell(AnnName,
                             "tell :command request_appt :duration (60) :startTime (3/4/2031 10:00:00 AM)"
                             " :subject (Lunch) :email (cy@example.org) :fname (Cy) :lname (Ng)"),
              "tell :startTime (3/4/2031 10:00:00 AM) :duration (60) :status accept :timezone (UTC)");
    EXPECT_EQ(COutbox::Read(ann->OutboxPath()).size(), 1u);
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
    EXPECT_EQ(COutbox::Read(ann->OutboxPath()).size(), 1u);
}

} // namespace
