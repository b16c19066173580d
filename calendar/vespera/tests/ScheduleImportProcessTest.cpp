// Another agent makes a headless agent import a web schedule served on
// 127.0.0.1: the events land in calendar.ics once, however often it asks,
// and the user's alert agent hears of every import.

#include "AgentSociety.h"
#include "CalendarEvents.h"

#include <graphstore/testing/HttpDocumentServer.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using vesperaprocess::CAgentSociety;
using vesperaprocess::CCalendarEvents;
using vesperaprocess::SCalendarEvent;

constexpr const char* AnnName = "ann_example.org-CalendarAgent";
constexpr const char* AlertName = "alerts_example.org-CalendarAgent";

std::string Shipped(const std::string& name)
{
    std::ifstream in(std::string(SCHEDULES_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Until the agent's fetch has reached the server and waits there.
bool HoldsARequest(const testsupport::CHttpDocumentServer& server)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (server.Holding() == 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(ScheduleImportProcessTest, ImportsOnRequestOnceAndTellsTheAlertAgent)
{
    testsupport::CHttpDocumentServer server;
    server.Put("/team.rdf", "application/rdf+xml", Shipped("team-schedule.rdf"));
    server.Put("/choir.ics", "text/calendar",
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VEVENT\r\nUID:r1\r\n"
               "DTSTAMP:20261201T000000Z\r\nDTSTART:20261210T190000\r\nDTEND:20261210T210000\r\n"
               "SUMMARY:Rehearsal\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    CAgentSociety society;
    ASSERT_TRUE(society.StartNameServer()) << society.Failure();
    const auto* alerts = society.StartAgent({AlertName, "alerts", {}, {}});
    ASSERT_NE(alerts, nullptr) << society.Failure();
    const auto* ann = society.StartAgent({AnnName,
                                          "ann",
                                          {{"AutoLoadSchedule", "true"},
                                           {"ImportScheduleAlert", "true"},
                                           {"AgentAlert", "true"},
                                           {"AgentAlertString", AlertName},
                                           {"PeerFetchLocalAddresses", "true"}},
                                          {}});
    ASSERT_NE(ann, nullptr) << society.Failure();

    for (const char* path : {"/team.rdf", "/team.rdf", "/choir.ics"})
        ASSERT_TRUE(
            society.TellOnly(AnnName, "tell :objective uploadScheduleURL :url \"" + server.Url(path) + "\""))
            << society.Failure();
    ASSERT_TRUE(
        CAgentSociety::WaitForLines({{ann, "Imported 1 appointment(s) from " + server.Url("/choir.ics"), 1},
                                     {alerts, "schedule_uploaded", 3}}))
        << society.AllLogs();

    std::vector<SCalendarEvent> events;
    std::string error;
    ASSERT_TRUE(CCalendarEvents::Read(ann->CalendarPath(), events, error)) << error;
    EXPECT_EQ(events.size(), 3u);
    EXPECT_EQ(CCalendarEvents::WithSummary(events, "Architecture review").size(), 1u);
    EXPECT_EQ(CCalendarEvents::WithSummary(events, "Retrospective").size(), 1u);
    EXPECT_EQ(CCalendarEvents::WithSummary(events, "Rehearsal").size(), 1u);
    EXPECT_TRUE(society.StopAgents()) << society.Failure();
}

TEST(ScheduleImportProcessTest, AnAddressOnThisMachineIsNotFetchedForAnotherAgent)
{
    testsupport::CHttpDocumentServer server;
    server.Put("/team.rdf", "application/rdf+xml", Shipped("team-schedule.rdf"));
    CAgentSociety society;
    ASSERT_TRUE(society.StartNameServer()) << society.Failure();
    const auto* ann = society.StartAgent({AnnName, "ann", {{"AutoLoadSchedule", "true"}}, {}});
    ASSERT_NE(ann, nullptr) << society.Failure();

    const std::string url = server.Url("/team.rdf?by=stranger");
    ASSERT_TRUE(society.TellOnly(AnnName, "tell :objective uploadScheduleURL :url \"" + url + "\""))
        << society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines(
        {{ann,
          "Schedule " + url + " not imported: Refused address " + url + ": 127.0.0.1 is a loopback address",
          1}}))
        << society.AllLogs();
    EXPECT_EQ(server.Requests(), 0) << "not even connected to";
    EXPECT_TRUE(society.StopAgents()) << society.Failure();
}

// The server holds the schedule back for as long as the test likes; the
// agent must answer another agent meanwhile, and import once it comes.
TEST(ScheduleImportProcessTest, AnotherAgentIsAnsweredWhileAFetchStalls)
{
    testsupport::CHttpDocumentServer server;
    server.Put("/team.rdf", "application/rdf+xml", Shipped("team-schedule.rdf"));
    server.Hold("/team.rdf");
    CAgentSociety society;
    ASSERT_TRUE(society.StartNameServer()) << society.Failure();
    const auto* ann = society.StartAgent(
        {AnnName, "ann", {{"AutoLoadSchedule", "true"}, {"PeerFetchLocalAddresses", "true"}}, {}});
    ASSERT_NE(ann, nullptr) << society.Failure();

    ASSERT_TRUE(society.TellOnly(AnnName, "tell :objective uploadScheduleURL :url \"" +
                                              server.Url("/team.rdf") + "\""))
        << society.Failure();
    ASSERT_TRUE(HoldsARequest(server)) << society.AllLogs();
    const std::string reply =
        society.Tell(AnnName, "tell :command request_appt :startTime (3/4/2031 10:00:00 AM) :duration (30)");
    EXPECT_NE(reply.find(":status"), std::string::npos) << reply << society.AllLogs();
    // Answered while the fetch still waits: nothing of it has ended.
    EXPECT_EQ(server.Holding(), 1);
    EXPECT_EQ(ann->Log().find("not imported"), std::string::npos) << ann->Log();

    server.Release();
    ASSERT_TRUE(
        CAgentSociety::WaitForLines({{ann, "Imported 2 appointment(s) from " + server.Url("/team.rdf"), 1}}))
        << society.AllLogs();
    EXPECT_TRUE(society.StopAgents()) << society.Failure();
}

} // namespace

namespace {

// The peak memory of a process in KiB (VmHWM); 0 when unknown.
long PeakKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

std::string Nested(const std::string& open, const std::string& close, int depth)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += open;
    for (int i = 0; i < depth; ++i)
        text += close;
    return text;
}

} // namespace

// Documents made to eat the machine: entities that expand to gigabytes and
// nesting hundreds of thousands deep. Each is refused before it is parsed,
// the agent's memory stays where it was, and it answers at once.
TEST(ScheduleImportProcessTest, DocumentsThatWouldEatTheMachineAreRefusedUnread)
{
    const std::string rdf = "<?xml version=\"1.0\"?>\n";
    const std::string open =
        "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
        "xmlns:ex=\"http://example.org/\"><rdf:Description rdf:about=\"http://example.org/a\">";
    const std::string close = "</rdf:Description></rdf:RDF>";
    std::string references;
    for (int i = 0; i < 150000; ++i)
        references += "&big;";
    const struct {
        const char* path;
        const char* type;
        std::string text;
        const char* why;
    } documents[] = {
        {"/laughs.rdf", "application/rdf+xml",
         rdf + "<!DOCTYPE rdf:RDF [<!ENTITY big \"" + std::string(100000, 'a') + "\">]>" + open + "<ex:p>" +
             references + "</ex:p>" + close,
         "Refused: its entities expand it beyond"},
        {"/deep.rdf", "application/rdf+xml",
         rdf + open + Nested("<ex:p><ex:Q>", "</ex:Q></ex:p>", 100000) + close,
         "Refused: its elements nest deeper than"},
        {"/deep.ttl", "text/turtle",
         "@prefix ex: <http://example.org/> .\nex:a ex:p " + Nested("[ ex:p ", "] ", 200000) + ".\n",
         "Refused: it nests deeper than"},
    };
    testsupport::CHttpDocumentServer server;
    for (const auto& document : documents)
        server.Put(document.path, document.type, document.text);
    CAgentSociety society;
    ASSERT_TRUE(society.StartNameServer()) << society.Failure();
    const auto* ann = society.StartAgent(
        {AnnName, "ann", {{"AutoLoadSchedule", "true"}, {"PeerFetchLocalAddresses", "true"}}, {}});
    ASSERT_NE(ann, nullptr) << society.Failure();
    const long before = PeakKiB(ann->process->Pid());
    for (const auto& document : documents) {
        const std::string url = server.Url(document.path);
        ASSERT_TRUE(society.TellOnly(AnnName, "tell :objective uploadScheduleURL :url \"" + url + "\""))
            << society.Failure();
        ASSERT_TRUE(
            CAgentSociety::WaitForLines({{ann, "Schedule " + url + " not imported: " + document.why, 1}}))
            << society.AllLogs();
    }
    const std::string reply =
        society.Tell(AnnName, "tell :command request_appt :startTime (3/4/2031 10:00:00 AM) :duration (30)");
    EXPECT_NE(reply.find(":status"), std::string::npos) << reply;
    const long after = PeakKiB(ann->process->Pid());
    ASSERT_GT(before, 0);
    EXPECT_LT(after - before, 64 * 1024) << "peak grew from " << before << " KiB to " << after << " KiB";
    EXPECT_TRUE(society.StopAgents()) << society.Failure();
}
