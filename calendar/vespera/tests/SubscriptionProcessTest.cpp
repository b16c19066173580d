// A headless agent follows a schedule subscription from its timer: the
// feed served on 127.0.0.1 changes between fetches, answers 304 while it
// does not, and the agent is restarted with the user's edit in its
// calendar file between two versions.

#include "AgentSociety.h"
#include "CalendarEvents.h"

#include <graphstore/testing/HttpDocumentServer.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

using vesperaprocess::CAgentSociety;
using vesperaprocess::CCalendarEvents;
using vesperaprocess::SCalendarEvent;

constexpr const char* AnnName = "ann_example.org-CalendarAgent";
constexpr const char* RefreshVariable = "ORVANTE_SCHEDULE_REFRESH_SECONDS";

// The events given, on following days, and a weekly rehearsal that never
// changes.
std::string Feed(const std::vector<std::pair<const char*, const char*>>& events)
{
    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VEVENT\r\nUID:r\r\n"
                       "DTSTAMP:20261201T000000Z\r\nDTSTART:20310303T180000Z\r\nDURATION:PT2H\r\n"
                       "RRULE:FREQ=WEEKLY;INTERVAL=2;BYDAY=MO;COUNT=6\r\nSUMMARY:Rehearsal\r\nEND:VEVENT\r\n";
    int day = 4;
    for (const auto& [uid, summary] : events)
        text += std::string("BEGIN:VEVENT\r\nUID:") + uid + "\r\nDTSTAMP:20261201T000000Z\r\nDTSTART:203103" +
                "0" + std::to_string(day++) + "T190000Z\r\nDURATION:PT1H\r\nSUMMARY:" + summary +
                "\r\nEND:VEVENT\r\n";
    return text + "END:VCALENDAR\r\n";
}

std::string FileText(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Summaries(const std::filesystem::path& calendar)
{
    std::vector<SCalendarEvent> events;
    std::string error;
    EXPECT_TRUE(CCalendarEvents::Read(calendar, events, error)) << error;
    std::vector<std::string> summaries;
    for (const SCalendarEvent& event : events)
        summaries.push_back(event.summary);
    std::sort(summaries.begin(), summaries.end());
    return summaries;
}

// The agents of the test fetch their subscriptions every second.
class CShortRefresh {
public:
    CShortRefresh() { setenv(RefreshVariable, "1", 1); }
    ~CShortRefresh() { unsetenv(RefreshVariable); }
};

TEST(SubscriptionProcessTest, AnAgentFollowsItsSubscriptionAcrossARestartAndKeepsTheUsersEdit)
{
    testsupport::CHttpDocumentServer server;
    const std::string url = server.Url("/club.ics");
    server.Put("/club.ics", "text/calendar", Feed({{"a", "Training"}, {"b", "Match"}}), "\"v1\"");
    const CShortRefresh refresh;
    CAgentSociety society;
    ASSERT_TRUE(society.StartNameServer()) << society.Failure();
    auto* ann = society.StartAgent({AnnName, "ann", {}, {}});
    ASSERT_NE(ann, nullptr) << society.Failure();
    ASSERT_TRUE(society.StopAgent(*ann)) << society.Failure();
    std::ofstream(ann->DataDirectory() / "subscriptions", std::ios::binary)
        << "orvante-subscriptions 1\naddress\t" << url << "\n";

    ASSERT_TRUE(society.RestartAgent(*ann)) << society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines(
        {{ann, "Subscribed schedule " + url + ": 3 written, 0 removed", 1},
         {ann, "Subscribed schedule " + url + ": Not changed since the last fetch", 1}}))
        << society.AllLogs();
    ASSERT_TRUE(society.StopAgent(*ann)) << society.Failure();
    EXPECT_EQ(Summaries(ann->CalendarPath()), (std::vector<std::string>{"Match", "Rehearsal", "Training"}));

    // The user renames the training in another program while the agent is
    // down; upstream, the training changes, the match goes, a quiz comes.
    std::string calendar = FileText(ann->CalendarPath());
    const std::string::size_type at = calendar.find("SUMMARY:Training");
    ASSERT_NE(at, std::string::npos) << calendar;
    calendar.replace(at, 16, "SUMMARY:Training at the lake");
    std::ofstream(ann->CalendarPath(), std::ios::binary) << calendar;
    server.Put("/club.ics", "text/calendar", Feed({{"a", "Training (new coach)"}, {"c", "Quiz"}}), "\"v2\"");

    ASSERT_TRUE(society.RestartAgent(*ann)) << society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines(
        {{ann, "Subscribed schedule " + url + ": 2 written, 1 removed, 1 changed by you and kept", 1},
         {ann, "Subscribed schedule " + url + ": Not changed since the last fetch", 2}}))
        << society.AllLogs();
    EXPECT_TRUE(society.StopAgents()) << society.Failure();
    EXPECT_EQ(Summaries(ann->CalendarPath()),
              (std::vector<std::string>{"Quiz", "Rehearsal", "Training at the lake"}));
    EXPECT_NE(FileText(ann->DataDirectory() / "subscriptions").find("etag\t\"v2\"\n"), std::string::npos);
}

} // namespace
