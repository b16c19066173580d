// Peers that do not play by the rules, against a running agent: messages
// sent back to back, floods without an end byte, strangers writing the
// calendar or ending another organiser's negotiation.

#include "AgentSociety.h"

#include <platform/KeyPair.h>
#include <platform/testing/BlackHole.h>
#include <platform/testing/WireTap.h>
#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using namespace vesperaprocess;

namespace {

const char* const AnnName = "ann_example.org-CalendarAgent";
const char* const OrganiserName = "org_example.org-CalendarAgent";
const char* const StrangerName = "eve_example.org-CalendarAgent";

std::string Wrapped(const std::string& sender, const std::string& content, int number)
{
    return "(tell :sender " + sender + " :receiver " + AnnName + " :reply-with r" + std::to_string(number) +
           " :content ( " + content + " ))\x04";
}

// Ann's organiser asks for half an hour with her.
std::string MeetingWithAnn(const std::string& subject)
{
    return "tell :command schedule_meeting :attendees (" + std::string(AnnName) + ") :subject (" + subject +
           ") :body (b) :start (3/4/2031 10:00:00 AM) :location (Room) :duration (30)";
}

std::string RequestOn(int day)
{
    return "tell :command request_appt :duration (30) :startTime (3/" + std::to_string(day) +
           "/2031 10:00:00 AM) :subject (Lunch) :email (cy@x.org) :fname (Cy) :lname (Ng)";
}

class HostilePeerProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_society.StartNameServer()) << m_society.Failure(); }

    SAgentProcess* StartAnn(std::vector<std::pair<std::string, std::string>> values = {})
    {
        SAgentProcess* ann = m_society.StartAgent({AnnName, "ann", std::move(values), {}});
        EXPECT_NE(ann, nullptr) << m_society.Failure();
        return ann;
    }

    static std::uintmax_t LogSize(const SAgentProcess& agent)
    {
        std::uintmax_t size = 0;
        std::error_code error;
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(agent.home / "Logfiles", error))
            size += entry.is_regular_file(error) ? entry.file_size(error) : 0;
        return size;
    }

    // The key the name server holds `name` for; empty when it gave none.
    std::string KeyAtNameServer(const std::string& name)
    {
        testsupport::CPeer server;
        std::string reply;
        if (!server.connect_to(m_society.NameServerPort()) || !server.send_all("key " + name + "\n") ||
            !ReadUntilEnds(server, reply, 1))
            return std::string();
        return reply.substr(0, reply.find('\r'));
    }

    std::string LookUp(const std::string& name)
    {
        testsupport::CPeer server;
        std::string reply;
        if (!server.connect_to(m_society.NameServerPort()) || !server.send_all("lookup " + name + "\n") ||
            !ReadUntilEnds(server, reply, 1))
            return std::string();
        return reply.substr(0, reply.find('\r'));
    }

    // Points Ann's name at `url`, signed with her key as her agent signs.
    bool RegisterWithAnnsKey(const SAgentProcess& ann, const std::string& url)
    {
        std::string error;
        std::optional<CKeyPair> key =
            CKeyPair::LoadOrCreate((ann.DataDirectory() / "agent-key.pem").string(), AnnName, error);
        if (!key)
            return false;
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        const std::string text = "register " + std::string(AnnName) + " " + url + " " + key->PublicKeyText() +
                                 " " + std::to_string(now + 1000);
        testsupport::CPeer server;
        std::string reply;
        return server.connect_to(m_society.NameServerPort()) &&
               server.send_all(text + " " + key->Sign(text) + "\n") && ReadUntilEnds(server, reply, 1) &&
               reply.rfind("success", 0) == 0;
    }

    CAgentSociety m_society;
};

} // namespace

TEST_F(HostilePeerProcessTest, MessagesWrittenBackToBackInOneSendAreAllAnswered)
{
    SAgentProcess* ann = StartAnn();
    ASSERT_NE(ann, nullptr);
    // Replies go back on the open connection of an agent the name server
    // knows.
    ASSERT_TRUE(m_society.RegisterName("burst_example.org-CalendarAgent", "tcp://127.0.0.1:1"))
        << m_society.Failure();
    std::string burst;
    for (int i = 0; i < 100; ++i)
        burst += Wrapped("burst_example.org-CalendarAgent", RequestOn(i % 28 + 1), i);
    testsupport::CPeer peer;
    ASSERT_TRUE(peer.connect_to(ann->port));
    ASSERT_TRUE(peer.send_all(burst));
    std::string replies;
    EXPECT_TRUE(ReadUntilEnds(peer, replies, 100)) << CountOf(replies, "\x04") << " replies\n" << ann->Log();
    EXPECT_EQ(CountOf(replies, ":status accept :timezone (UTC)"), 100u);
    EXPECT_EQ(ann->Log().find("Message of unknown kind, dropped"), std::string::npos);
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// A peer that closed its connection and opens another is answered on the
// new one, each reply naming the message it answers.
TEST_F(HostilePeerProcessTest, APeerThatReconnectsIsAnsweredOnItsNewConnection)
{
    SAgentProcess* ann = StartAnn();
    ASSERT_NE(ann, nullptr);
    ASSERT_TRUE(m_society.RegisterName("again_example.org-CalendarAgent", "tcp://127.0.0.1:1"))
        << m_society.Failure();
    for (int round = 0; round < 3; ++round) {
        testsupport::CPeer peer;
        ASSERT_TRUE(peer.connect_to(ann->port));
        ASSERT_TRUE(
            peer.send_all(Wrapped("again_example.org-CalendarAgent", RequestOn(round + 1), round) +
                          Wrapped("again_example.org-CalendarAgent", RequestOn(round + 10), round + 10)));
        std::string replies;
        EXPECT_TRUE(ReadUntilEnds(peer, replies, 2)) << "round " << round << "\n" << ann->Log();
        EXPECT_NE(replies.find(":in-reply-to r" + std::to_string(round) + " "), std::string::npos) << replies;
        EXPECT_NE(replies.find(":in-reply-to r" + std::to_string(round + 10) + " "), std::string::npos)
            << replies;
    }
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// Floods without an end byte are cut off at the limit, logged in a line or
// two, and the agent answers as before.
TEST_F(HostilePeerProcessTest, FloodsWithoutAnEndByteLeaveTheLogSmallAndTheAgentAnswering)
{
    SAgentProcess* ann = StartAnn();
    ASSERT_NE(ann, nullptr);
    const std::uintmax_t before = LogSize(*ann);
    const std::string flood(1100 * 1024, 'x');
    for (int i = 0; i < 20; ++i) {
        testsupport::CPeer peer;
        ASSERT_TRUE(peer.connect_to(ann->port));
        peer.send(flood);
    }
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "Message fragment exceeds 1048576 bytes", 20}}))
        << ann->Log();
    EXPECT_EQ(m_society.Tell(AnnName, RequestOn(4)),
              "tell :startTime (3/4/2031 10:00:00 AM) :duration (30) :status accept :timezone (UTC)");
    // Twenty megabytes in, a little log out.
    EXPECT_LT(LogSize(*ann) - before, 1024u * 1024u);
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// With meetings from contacts only, a stranger can neither write the
// calendar nor make the agent organise a meeting.
TEST_F(HostilePeerProcessTest, StrangersCannotWriteTheCalendarOrOrganiseMeetings)
{
    SAgentProcess* ann = StartAnn({{"MeetingSchedulingType", "1"}});
    ASSERT_NE(ann, nullptr);
    const std::string appointment =
        "tell :command conf_appt :start (tell :day 5 :month 3 :year 2031 :hour 14 "
        ":minute 30) :duration (45) :subject (Planted) :email (victim@x.org)";
    EXPECT_EQ(m_society.TellAs(StrangerName, AnnName, appointment, 2).rfind("<no single reply>", 0), 0u);
    m_society.TellOnly(AnnName, "tell :command schedule_meeting :attendees (" + std::string(OrganiserName) +
                                    ") :start (3/4/2031 10:00:00 AM) :duration (30)");
    ASSERT_TRUE(CAgentSociety::WaitForLines(
        {{ann, "Refusing the schedule_meeting command", 1},
         {ann, "Refusing the conf_appt command from " + std::string(StrangerName), 1}}))
        << ann->Log();
    EXPECT_FALSE(std::filesystem::exists(ann->CalendarPath()));
    EXPECT_FALSE(std::filesystem::exists(ann->OutboxPath()));
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// A third party cannot award another organiser's bid; the organiser can.
// Names trusted without proof (agent-tell has no key): even so, an award
// counts only from the agent the bid was made to.
TEST_F(HostilePeerProcessTest, OnlyTheOrganiserCanAwardItsBid)
{
    SAgentProcess* ann = StartAnn({{"TrustUnauthenticatedContacts", "true"}});
    ASSERT_NE(ann, nullptr);
    const std::string bid = m_society.TellAs(OrganiserName, AnnName,
                                             "tell :type contract :negID N1 :contractID C1 :attributes (tell "
                                             ":subject (Plan)) :constraints (tell :start "
                                             "(3/4/2031 10:00:00 AM) :duration (30))");
    const std::string bidID = WordAfter(bid, ":bidID ");
    ASSERT_FALSE(bidID.empty()) << bid;
    const std::string award =
        "tell :type award :negID N1 :contractID C1 :bidID " + bidID +
        " :attributes (tell :subject (Hijacked)) :constraints (tell :startTime (3/4/2031 "
        "10:00:00 AM) :duration 30)";
    EXPECT_EQ(m_society.TellAs(StrangerName, AnnName, award, 2).rfind("<no single reply>", 0), 0u);
    ASSERT_TRUE(CAgentSociety::WaitForLines(
        {{ann, "Invalid award. The bid was not made to " + std::string(StrangerName), 1}}))
        << ann->Log();
    const std::string confirm = m_society.TellAs(OrganiserName, AnnName, award);
    EXPECT_NE(confirm.find(":type confirm"), std::string::npos) << confirm;
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// Twelve attendees whose addresses swallow connects: the agent answers
// another agent before any of the connects has timed out, and each then
// fails as a send does.
TEST_F(HostilePeerProcessTest, AMeetingWithBlackHoledAttendeesHoldsNoOneElseUp)
{
    testsupport::CBlackHole hole;
    std::string attendees;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "gone" + std::to_string(i) + "_example.org-CalendarAgent";
        ASSERT_TRUE(m_society.RegisterName(name, "tcp://127.0.0.1:" + std::to_string(hole.Port())))
            << m_society.Failure();
        attendees += (i ? "," : "") + name;
    }
    SAgentProcess* ann = StartAnn();
    ASSERT_NE(ann, nullptr);
    ASSERT_TRUE(m_society.TellOnly(AnnName, "tell :command schedule_meeting :attendees (" + attendees +
                                                ") :subject (Void) :body (x) :start (3/4/2031 10:00:00 AM)"
                                                " :location (Nowhere) :duration (30)"))
        << m_society.Failure();
    // The last contract is given to its connection.
    ASSERT_TRUE(CAgentSociety::WaitForLines(
        {{ann, "Success sending (internal) request to Agent [gone11_example.org-CalendarAgent]", 1}}))
        << m_society.AllLogs();
    const std::string reply = m_society.Tell(AnnName, RequestOn(4));
    EXPECT_NE(reply.find(":status"), std::string::npos) << reply;
    const char* const timedOut = "timed out; not trying it again";
    EXPECT_EQ(ann->Log().find(timedOut), std::string::npos) << ann->Log();
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, timedOut, 1}})) << m_society.AllLogs();
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// The agent makes its key at the first start, registers its name with it,
// and nobody else can register the name, even from this address; the
// fingerprint vespera prints is the one of the key the name server holds.
TEST_F(HostilePeerProcessTest, AnAgentsNameIsHeldByItsKeyAtTheNameServer)
{
    SAgentProcess* ann = StartAnn();
    ASSERT_NE(ann, nullptr);
    const std::filesystem::path keyFile = ann->DataDirectory() / "agent-key.pem";
    ASSERT_TRUE(std::filesystem::exists(keyFile));
    EXPECT_EQ(std::filesystem::status(keyFile).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    const std::string key = KeyAtNameServer(AnnName);
    ASSERT_EQ(key.rfind("ed25519:", 0), 0u) << key;

    EXPECT_FALSE(m_society.RegisterName(AnnName, "tcp://127.0.0.1:1"));
    EXPECT_NE(m_society.Failure().find("error: name held by another key"), std::string::npos)
        << m_society.Failure();

    testsupport::CChildProcess fingerprint;
    ASSERT_TRUE(
        fingerprint.Start(VESPERA_BINARY, {"--fingerprint"}, (ann->home / "fingerprint.err").string()));
    EXPECT_EQ(fingerprint.Wait(), 0) << fingerprint.Errors();
    ASSERT_FALSE(fingerprint.lines.empty());
    EXPECT_EQ(fingerprint.lines[0], CKeyPair::FingerprintOf(key));
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// Two agents that know each other's keys from the name server talk TLS: a
// whole negotiation crosses the tunnel, each side proved by its key, while
// a plain peer (agent-tell) is still served in plain text.
TEST_F(HostilePeerProcessTest, AgentsWithKeysNegotiateOverTls)
{
    SAgentProcess* ann = StartAnn({{"MeetingSchedulingType", "2"}});
    SAgentProcess* organiser = m_society.StartAgent({OrganiserName, "organiser", {}, {}});
    ASSERT_TRUE(ann && organiser) << m_society.Failure();
    ASSERT_TRUE(m_society.TellOnly(OrganiserName, MeetingWithAnn("Sealed"))) << m_society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "tell :type confirm :negID ", 1}})) << m_society.AllLogs();
    EXPECT_NE(ann->Log().find("TLS with the peer's key [" +
                              CKeyPair::FingerprintOf(KeyAtNameServer(OrganiserName)) + "]"),
              std::string::npos)
        << ann->Log();
    EXPECT_NE(organiser->Log().find("TLS with the peer's key [" +
                                    CKeyPair::FingerprintOf(KeyAtNameServer(AnnName)) + "]"),
              std::string::npos);
    EXPECT_NE(m_society.Tell(AnnName, RequestOn(4)).find(":status"), std::string::npos);
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// What crosses the wire between two agents with keys is TLS records, not
// the KQML texts: a tap between the organiser and Ann (registered there
// with Ann's own key, as only its holder can) sees none of the meeting.
TEST_F(HostilePeerProcessTest, TheWireBetweenAgentsWithKeysCarriesNoPlainText)
{
    SAgentProcess* ann = StartAnn({{"MeetingSchedulingType", "2"}});
    ASSERT_NE(ann, nullptr);
    const std::string annAddress = LookUp(AnnName);
    ASSERT_EQ(annAddress.rfind("tcp://127.0.0.1:", 0), 0u) << annAddress;
    testsupport::CWireTap tap(
        static_cast<unsigned>(std::stoul(annAddress.substr(annAddress.rfind(':') + 1))));
    ASSERT_TRUE(RegisterWithAnnsKey(*ann, "tcp://127.0.0.1:" + std::to_string(tap.Port())));

    SAgentProcess* organiser = m_society.StartAgent({OrganiserName, "organiser", {}, {}});
    ASSERT_NE(organiser, nullptr) << m_society.Failure();
    ASSERT_TRUE(m_society.TellOnly(OrganiserName, MeetingWithAnn("Sealed plans"))) << m_society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "tell :type confirm :negID ", 1}})) << m_society.AllLogs();
    const std::string seen = tap.Seen();
    ASSERT_GT(seen.size(), 100u);
    EXPECT_EQ(seen.substr(0, 2), std::string("\x16\x03", 2)) << "a TLS hello first";
    for (const char* text : {"tell", "Sealed plans", ":negID", "contract", OrganiserName})
        EXPECT_EQ(seen.find(text), std::string::npos) << text;
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// Names a peer does not prove are a stranger's claims: a contact's name in
// :sender writes nothing and awards nothing, and a connection claiming the
// attendee's name gets none of the organiser's messages for her, which
// reach the real attendee, who proves her name.
TEST_F(HostilePeerProcessTest, NamesThatAreNotProvenAreAStrangersClaims)
{
    const std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Reyes;Olga;;;\r\nFN:Olga Reyes\r\n"
                             "EMAIL;TYPE=INTERNET:org@example.org\r\nUID:card-olga\r\nEND:VCARD\r\n";
    SAgentProcess* ann =
        m_society.StartAgent({AnnName, "ann", {{"MeetingSchedulingType", "1"}}, {}}, {"", card});
    SAgentProcess* organiser = m_society.StartAgent({OrganiserName, "organiser", {}, {}});
    ASSERT_TRUE(ann && organiser) << m_society.Failure();
    const std::string planted = "tell :command conf_appt :start (tell :day 5 :month 3 :year 2031 :hour 14 "
                                ":minute 30) :duration (45) :subject (Planted) :email (victim@x.org)";
    m_society.TellAs(OrganiserName, AnnName, planted, 1);
    m_society.TellAs(OrganiserName, AnnName, "tell :type award :negID N1 :contractID C1 :bidID B1", 1);
    ASSERT_TRUE(CAgentSociety::WaitForLines(
        {{ann,
          "Refusing the conf_appt command from " + std::string(OrganiserName) + ": it did not prove its name",
          1},
         {ann, "Ignoring the award from " + std::string(OrganiserName) + ": it did not prove its name", 1}}))
        << ann->Log();
    EXPECT_FALSE(std::filesystem::exists(ann->CalendarPath()));

    testsupport::CPeer impostor;
    std::string answer;
    ASSERT_TRUE(impostor.connect_to(organiser->port) && impostor.send_all(Wrapped(AnnName, RequestOn(4), 1)));
    ASSERT_TRUE(ReadUntilEnds(impostor, answer, 1)) << answer;
    ASSERT_TRUE(m_society.TellOnly(OrganiserName, MeetingWithAnn("Real"))) << m_society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "tell :type confirm :negID ", 1}})) << m_society.AllLogs();
    char buffer[4096];
    pollfd waiting{impostor.fd, POLLIN, 0};
    const bool more = ::poll(&waiting, 1, 0) > 0 && impostor.read_once(buffer, sizeof buffer) > 0;
    EXPECT_FALSE(more) << "the impostor's connection carried the organiser's messages for Ann";
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// A key seen once for a name is kept: when the name shows another, the user
// is told, and the agent under that name takes part in nothing.
TEST_F(HostilePeerProcessTest, AChangedKeyForAKnownNameIsRefusedAndReported)
{
    SAgentProcess* ann = StartAnn({{"MeetingSchedulingType", "2"}});
    SAgentProcess* organiser = m_society.StartAgent({OrganiserName, "organiser", {}, {}});
    ASSERT_TRUE(ann && organiser) << m_society.Failure();
    const std::string meeting = MeetingWithAnn("Pinned");
    ASSERT_TRUE(m_society.TellOnly(OrganiserName, meeting)) << m_society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "tell :type confirm :negID ", 1}})) << m_society.AllLogs();
    ASSERT_TRUE(m_society.StopAgent(*ann)) << m_society.Failure();

    // Ann's record of the organiser's key now says another one.
    testsupport::CTempDir keys;
    std::string error;
    const std::optional<CKeyPair> other = CKeyPair::LoadOrCreate(keys.File("other.pem"), "other", error);
    ASSERT_TRUE(other) << error;
    const std::filesystem::path pins = ann->DataDirectory() / "known-agents";
    ASSERT_TRUE(std::filesystem::exists(pins));
    std::ofstream(pins) << OrganiserName << " " << other->PublicKeyText() << "\n";
    ASSERT_TRUE(m_society.RestartAgent(*ann)) << m_society.Failure();
    ASSERT_TRUE(m_society.TellOnly(OrganiserName, meeting)) << m_society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines(
        {{ann, "The agent " + std::string(OrganiserName) + " now shows another key", 1},
         {ann, "Ignoring the contract from " + std::string(OrganiserName) + ": it did not prove its name",
          1}}))
        << ann->Log();
    EXPECT_NE(ann->process->Errors().find("now shows another key"), std::string::npos);
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}
