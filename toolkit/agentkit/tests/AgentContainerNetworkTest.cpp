// Agents talking to each other and to a real name server on 127.0.0.1: in
// this process (several containers on one loop) and as separate processes.

#include <agentkit/AgentContainer.h>

#include "AgentTestSupport.h"
#include <platform/testing/ChildProcess.h>

#include <ansd/testing/AnsdProcess.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/StringBelief.h>
#include <lexikit/Parser.h>
#include <namekit/AgentInfo.h>
#include <namekit/ANSClient.h>
#include <notekit/ServiceInfo.h>
#include <platform/MessageBoxSink.h>
#include <platform/PollEventLoop.h>
#include <wirekit/ClientSocket.h>
#include <wirekit/CommDialogs.h>
#include <wirekit/Communicator.h>
#include <wirekit/ServerSocket.h>

#include <gtest/gtest.h>

using namespace agenttest;
using testsupport::CChildProcess;

namespace {

class AgentContainerNetworkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CMessageBoxSink::SetCurrent(&boxes);
        ASSERT_TRUE(ansd.Start()) << ansd.Errors();
    }
    void TearDown() override { CMessageBoxSink::SetCurrent(nullptr); }

    // A running agent registered with the name server.
    std::unique_ptr<CHostedAgent> start(const std::string& name)
    {
        auto hosted = std::make_unique<CHostedAgent>(home, name, CAgentContainer::LOOKUP_NAME_SERVER);
        EXPECT_EQ(hosted->create(CHostedAgent::ans_args(ansd.port)), 1);
        return hosted;
    }

    // Asks the name server from outside any agent.
    std::unique_ptr<CAgentInfo> ans_lookup(const std::string& name)
    {
        CBeliefDB beliefs;
        beliefs.add_element(new CStringBelief("ans", kLoopback));
        beliefs.add_element(new CIntBelief("ansport", static_cast<int>(ansd.port)));
        CANSClient client(&beliefs, nullptr);
        return std::unique_ptr<CAgentInfo>(client.LookupAgent(name.c_str()));
    }

    bool ans_unregister(const std::string& name)
    {
        CBeliefDB beliefs;
        beliefs.add_element(new CStringBelief("ans", kLoopback));
        beliefs.add_element(new CIntBelief("ansport", static_cast<int>(ansd.port)));
        CANSClient client(&beliefs, nullptr);
        return client.UnRegisterAgent(name.c_str()) == 1;
    }

    // Sends one message from `from` to `to` by name; the communicator's
    // result (null when it went out or could not be located).
    char* tell(CHostedAgent& from, const char* to, const char* content, const char* reply_with = nullptr)
    {
        return from.agent().get_communicator()->comm_sendmessage("tell", to, "default-ontology",
                                                                 "default-language", reply_with, nullptr,
                                                                 nullptr, content, nullptr);
    }

    static std::string field(const std::string& message, const char* key)
    {
        CParser parser;
        if (!parser.parse_message(message.c_str()))
            return "<unparsable>";
        const char* value = parser.find_token(key);
        return value ? value : "<none>";
    }

    CTempHome home;
    CPollEventLoop loop;
    CMessageBoxSink::CRecorder boxes;
    CAnsdProcess ansd{home.path};
};

} // namespace

TEST_F(AgentContainerNetworkTest, CreateRegistersTheListeningAddressAndDestructionUnregisters)
{
    auto bob = start("Bob");
    std::unique_ptr<CAgentInfo> info = ans_lookup("Bob");
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->GetAgentHost(), "127.0.0.1");
    EXPECT_EQ(info->GetAgentPort(), static_cast<int>(bob->port()));
    EXPECT_NE(bob->port(), 0u);

    bob->destroy();
    EXPECT_EQ(ans_lookup("Bob"), nullptr);
}

TEST_F(AgentContainerNetworkTest, AReplyOnTheIncomingConnectionCarriesItsReplyWith)
{
    auto alice = start("Alice");
    auto bob = start("Bob");
    bob->agent().on_message = [&](const char*) {
        CClientSocket* incoming = bob->agent().get_current_connection();
        ASSERT_NE(incoming, nullptr);
        EXPECT_STREQ(incoming->get_reply_with(), "q-17");
        EXPECT_EQ(tell(*bob, "Alice", "(answer)"), nullptr);
    };
    EXPECT_EQ(tell(*alice, "Bob", "(question)", "q-17"), nullptr);
    ASSERT_TRUE(RunUntil(loop, [&] { return alice->agent().messages.size() == 1; }));

    const std::string reply = alice->agent().messages[0];
    EXPECT_EQ(field(reply, "sender"), "Bob");
    EXPECT_EQ(field(reply, "in-reply-to"), "q-17");
    EXPECT_NE(reply.find("(answer)"), std::string::npos);
    // The answer came back on the connection Alice opened; Bob opened none.
    EXPECT_EQ(bob->agent().get_communicator()->get_server()->get_sockets()->get_nr_elements(), 1);
    EXPECT_STREQ(alice->agent().connections[0]->get_agentname(), "Bob");
    ASSERT_EQ(bob->agent().messages.size(), 1u);
    EXPECT_EQ(field(bob->agent().messages[0], "reply-with"), "q-17");
}

TEST_F(AgentContainerNetworkTest, AnInReplyToOfOneBlankIsKept)
{
    auto alice = start("Alice");
    auto bob = start("Bob");
    bob->agent().on_message = [&](const char*) {
        bob->agent().get_communicator()->comm_sendmessage("tell", "Alice", "default-ontology",
                                                          "default-language", nullptr, " ", nullptr,
                                                          "(notice)", nullptr);
    };
    EXPECT_EQ(tell(*alice, "Bob", "(question)", "q-18"), nullptr);
    ASSERT_TRUE(RunUntil(loop, [&] { return alice->agent().messages.size() == 1; }));
    EXPECT_EQ(field(alice->agent().messages[0], "in-reply-to"), "\" \"");
}

TEST_F(AgentContainerNetworkTest, SplitAndBatchedMessagesReachTheAgentOneByOne)
{
    auto bob = start("Bob");
    CPeer peer;
    ASSERT_TRUE(peer.connect_to(bob->port()));
    const std::string first = Kqml("Alice", "Bob", "(part one)");
    ASSERT_TRUE(peer.send_all(first.substr(0, 20)));
    ASSERT_TRUE(RunUntil(loop, [&] {
        CClientSocket* socket = bob->agent().get_communicator()->get_connection(0);
        return socket && socket->get_fragment_length() == 20;
    }));
    EXPECT_TRUE(bob->agent().messages.empty());
    ASSERT_TRUE(peer.send_all(first.substr(20)));
    ASSERT_TRUE(RunUntil(loop, [&] { return bob->agent().messages.size() == 1; }));
    EXPECT_EQ(bob->agent().messages[0] + "\x04", first);

    ASSERT_TRUE(peer.send_all(Kqml("Alice", "Bob", "(second)") + Kqml("Alice", "Bob", "(third)")));
    ASSERT_TRUE(RunUntil(loop, [&] { return bob->agent().messages.size() == 3; }));
    EXPECT_NE(bob->agent().messages[1].find("(second)"), std::string::npos);
    EXPECT_NE(bob->agent().messages[2].find("(third)"), std::string::npos);
    EXPECT_EQ(bob->sink.count("<CAgentContainer> EOF MESSAGE"), 3);
    EXPECT_TRUE(DeliverPosted(loop));
    EXPECT_EQ(bob->agent().messages.size(), 3u);
}

// However the bytes of back-to-back messages are cut, every message reaches
// the agent once, in order: a chunk that starts inside a message must not
// decide what kind the queued messages are.
TEST_F(AgentContainerNetworkTest, BackToBackMessagesCutAnywhereAllReachTheAgentInOrder)
{
    auto bob = start("Bob");
    CPeer peer;
    ASSERT_TRUE(peer.connect_to(bob->port()));
    std::string stream;
    for (int i = 0; i < 100; ++i)
        stream += Kqml("Alice", "Bob", "(number " + std::to_string(i) + ")");
    for (const std::size_t cut : {std::size_t{7}, std::size_t{101}, std::size_t{4096}}) {
        bob->agent().messages.clear();
        for (std::size_t at = 0; at < stream.size(); at += cut)
            ASSERT_TRUE(peer.send_all(stream.substr(at, cut)));
        ASSERT_TRUE(RunUntil(loop, [&] { return bob->agent().messages.size() == 100; })) << cut;
        for (int i = 0; i < 100; ++i)
            EXPECT_NE(bob->agent().messages[i].find("(number " + std::to_string(i) + ")"), std::string::npos);
    }
    EXPECT_EQ(bob->sink.count("<CAgentContainer> Message of unknown kind, dropped"), 0);
}

TEST_F(AgentContainerNetworkTest, PingIsAnsweredByTheContainerNotTheAgent)
{
    auto alice = start("Alice");
    auto bob = start("Bob");
    bob->agent().get_belief_db()->set_modified(0);
    EXPECT_EQ(alice->agent().ping_agent("Bob"), 1);
    ASSERT_TRUE(
        RunUntil(loop, [&] { return bob->sink.count("<CAgentContainer> Detected ping command") == 1; }));
    EXPECT_TRUE(bob->agent().messages.empty());
    EXPECT_EQ(bob->agent().internals, 1);
}

TEST_F(AgentContainerNetworkTest, ShutdownCommandSetsTheFlagWithoutReachingTheAgent)
{
    auto alice = start("Alice");
    auto bob = start("Bob");
    EXPECT_EQ(tell(*alice, "Bob", "tell :type command :action shutdown"), nullptr);
    ASSERT_TRUE(RunUntil(loop, [&] { return bob->agent().get_shutdown_requested() == 1; }));
    EXPECT_TRUE(bob->agent().messages.empty());
    EXPECT_EQ(bob->agent().get_state(), CAgentContainer::STATE_RUNNING);
}

TEST_F(AgentContainerNetworkTest, BasetypeQueriesAreAnsweredWithTheAgentsType)
{
    auto alice = start("Alice");
    auto bob = start("Bob");
    EXPECT_EQ(tell(*alice, "Bob", "tell :type command :action send_basetype", "bt-1"), nullptr);
    ASSERT_TRUE(RunUntil(loop, [&] { return alice->agent().messages.size() == 1; }));
    const std::string answer = alice->agent().messages[0];
    EXPECT_EQ(field(answer, "sender"), "Bob");
    EXPECT_EQ(field(answer, "content"), "( agent )");
    EXPECT_EQ(field(answer, "in-reply-to"), "bt-1");
    EXPECT_EQ(field(answer, "ontology"), "default-ontology");
    EXPECT_TRUE(bob->agent().messages.empty());
}

TEST_F(AgentContainerNetworkTest, AnAgentsMessagesToItselfArriveUnlessRejected)
{
    auto bob = start("Bob");
    EXPECT_EQ(tell(*bob, "Bob", "(note to self)"), nullptr);
    ASSERT_TRUE(RunUntil(loop, [&] { return bob->agent().messages.size() == 1; }));

    bob->agent().set_reject_own_messages(1);
    EXPECT_EQ(tell(*bob, "Bob", "(another note)"), nullptr);
    ASSERT_TRUE(RunUntil(loop, [&] {
        return bob->sink.count("<CAgentContainer> Agent container is configured to reject cyclic "
                               "messages, aborting") == 1;
    }));
    EXPECT_EQ(bob->agent().messages.size(), 1u);
}

TEST_F(AgentContainerNetworkTest, TheNameServerRegistrationIsRefreshedOnTheSixHundredFirstTick)
{
    auto bob = start("Bob");
    ASSERT_TRUE(ans_unregister("Bob"));
    for (int tick = 0; tick < 600; ++tick)
        bob->agent().handle_mfc_timer();
    EXPECT_EQ(ans_lookup("Bob"), nullptr);
    bob->agent().handle_mfc_timer();
    EXPECT_NE(ans_lookup("Bob"), nullptr);
    EXPECT_EQ(bob->agent().get_communicator()->get_alive_counter(), 0);
}

TEST_F(AgentContainerNetworkTest, AReceiverThatCannotBeLocatedGetsNothing)
{
    auto bob = start("Bob");
    EXPECT_EQ(tell(*bob, "Nobody", "(hello)"), nullptr);
    EXPECT_STREQ(bob->agent().get_communicator()->get_result(), " ");
    EXPECT_EQ(bob->agent().get_communicator()->get_server()->get_sockets()->get_nr_elements(), 0);
    EXPECT_EQ(bob->agent().ping_agent("Nobody"), 0);
    EXPECT_EQ(bob->sink.count("<CAgentContainer> ping failed"), 1);
    EXPECT_EQ(bob->agent().ping_agent(nullptr), 0);
}

TEST_F(AgentContainerNetworkTest, AReceiverThatRefusesTheConnectionGivesTheErrorLine)
{
    auto bob = start("Bob");
    CServiceInfo* ghost = new CServiceInfo("Ghost");
    ghost->set_location(new CURL(("tcp://127.0.0.1:" + std::to_string(ClosedPort())).c_str()));
    bob->agent().obtain_network_db()->add_element(ghost);

    const char* result = tell(*bob, "Ghost", "(hello)");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(std::string(result).rfind("<CCommunicator> Error [", 0), 0u) << result;
    EXPECT_NE(std::string(result).find("Agent [Ghost]"), std::string::npos) << result;
    EXPECT_EQ(bob->agent().ping_agent("Ghost"), 0);
    EXPECT_EQ(bob->sink.count("<CAgentContainer> ping failed"), 1);
}

TEST_F(AgentContainerNetworkTest, TurningTheNameServerOffAndOnWhileRunning)
{
    auto bob = start("Bob");
    CCommunicator* communicator = bob->agent().get_communicator();
    ASSERT_NE(communicator->retrieve_ans_object(), nullptr);
    bob->agent().set_lookup_config(0);
    EXPECT_EQ(communicator->retrieve_ans_object(), nullptr);
    EXPECT_EQ(communicator->get_lookup_modules()->get_nr_elements(), 0);
    EXPECT_EQ(ans_lookup("Bob"), nullptr);
    bob->agent().set_lookup_config(CAgentContainer::LOOKUP_NAME_SERVER);
    ASSERT_NE(communicator->retrieve_ans_object(), nullptr);
    EXPECT_EQ(communicator->retrieve_ans_object()->is_enabled(), 1);
    EXPECT_NE(ans_lookup("Bob"), nullptr);

    auto carol = std::make_unique<CHostedAgent>(home, "Carol");
    ASSERT_EQ(carol->create(CHostedAgent::ans_args(ansd.port)), 1);
    EXPECT_EQ(carol->agent().get_communicator()->retrieve_ans_object(), nullptr);
    carol->agent().set_lookup_config(CAgentContainer::LOOKUP_NAME_SERVER);
    ASSERT_NE(carol->agent().get_communicator()->retrieve_ans_object(), nullptr);
    EXPECT_NE(ans_lookup("Carol"), nullptr);
}

namespace {

// Stands in for the user who types the name server's address into the
// dialog the container opens.
class CTypingDialogs : public CCommDialogs {
public:
    explicit CTypingDialogs(unsigned port) : port(port) {}
    void ShowNameServerDialog(CCommunicator& communicator) override
    {
        ++shown;
        communicator.comm_setansinfo(kLoopback, static_cast<int>(port));
    }
    void ShowCommunicationInfo(CCommunicator&) override {}

    unsigned port;
    int shown = 0;
};

} // namespace

TEST_F(AgentContainerNetworkTest, AnUnknownNameServerIsAskedForThroughTheDialog)
{
    CTypingDialogs dialogs(ansd.port);
    SetCommDialogs(&dialogs);
    auto bob = std::make_unique<CHostedAgent>(home, "Bob", CAgentContainer::LOOKUP_NAME_SERVER);
    const int created = bob->create();
    SetCommDialogs(nullptr);
    ASSERT_EQ(created, 1);
    EXPECT_EQ(dialogs.shown, 1);
    EXPECT_NE(ans_lookup("Bob"), nullptr);

    auto carol = start("Carol");
    EXPECT_EQ(dialogs.shown, 1);
}

TEST_F(AgentContainerNetworkTest, AnAgentProcessAnswersAndShutsDownWhenTold)
{
    CChildProcess echo;
    ASSERT_TRUE(
        echo.Start(ECHO_AGENT_BINARY,
                   {"-name", "Echo", "-ans", kLoopback, "-ansport", std::to_string(ansd.port), "-pause", "0"},
                   home.file("echo-stderr.txt")));
    std::string ready;
    ASSERT_TRUE(echo.ReadLine(ready)) << echo.Errors();
    EXPECT_EQ(ready.rfind("ready ", 0), 0u);
    ASSERT_NE(ans_lookup("Echo"), nullptr);

    auto alice = start("Alice");
    EXPECT_EQ(tell(*alice, "Echo", "(hello there)", "e-1"), nullptr);
    ASSERT_TRUE(RunUntil(loop, [&] { return alice->agent().messages.size() == 1; }));
    const std::string reply = alice->agent().messages[0];
    EXPECT_EQ(field(reply, "sender"), "Echo");
    EXPECT_EQ(field(reply, "in-reply-to"), "e-1");
    EXPECT_NE(reply.find("echo ( (hello there) )"), std::string::npos) << reply;

    EXPECT_EQ(tell(*alice, "Echo", "tell :type command :action shutdown"), nullptr);
    EXPECT_EQ(echo.Wait(), 0) << echo.Errors();
    EXPECT_EQ(ans_lookup("Echo"), nullptr);
}
