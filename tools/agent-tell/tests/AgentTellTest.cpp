#include "AgentTell.h"

#include "AgentTestSupport.h"
#include <platform/testing/ChildProcess.h>

#include <agentkit/DlgContainer.h>
#include <ansd/testing/AnsdProcess.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/StringBelief.h>
#include <lexikit/Parser.h>
#include <namekit/AgentInfo.h>
#include <namekit/ANSClient.h>
#include <platform/MessageBoxSink.h>
#include <platform/PollEventLoop.h>
#include <wirekit/Communicator.h>

#include <gtest/gtest.h>

using namespace agenttest;
using testsupport::CChildProcess;

namespace {

class AgentTellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CMessageBoxSink::SetCurrent(&boxes);
        ASSERT_TRUE(ansd.Start()) << ansd.Errors();
    }
    void TearDown() override { CMessageBoxSink::SetCurrent(nullptr); }

    // The receiving agent, in this process on the test's loop.
    std::unique_ptr<CHostedAgent> start_receiver(int lookup_mask)
    {
        auto bob = std::make_unique<CHostedAgent>(home, "Bob", lookup_mask);
        EXPECT_EQ(bob->create(CHostedAgent::ans_args(ansd.port)), 1);
        return bob;
    }

    // One agent-tell run in this process, on the same loop as the receiver.
    int tell(std::vector<std::string> args)
    {
        args.insert(args.begin(), "agent-tell");
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        CTellOptions options;
        EXPECT_TRUE(options.parse(static_cast<int>(argv.size()), argv.data())) << options.get_error();
        auto owned = std::make_unique<CAgentTell>(
            options, [this](const std::string& line) { out.push_back(line); },
            [this](const std::string& line) { err.push_back(line); });
        CAgentTell* agent = owned.get();
        CDlgContainer dialog(std::move(owned));
        return agent->run(dialog);
    }

    std::vector<std::string> ans_args() const
    {
        return {"-ans", kLoopback, "-ansport", std::to_string(ansd.port)};
    }

    std::unique_ptr<CAgentInfo> ans_lookup(const std::string& name)
    {
        CBeliefDB beliefs;
        beliefs.add_element(new CStringBelief("ans", kLoopback));
        beliefs.add_element(new CIntBelief("ansport", static_cast<int>(ansd.port)));
        CANSClient client(&beliefs, nullptr);
        return std::unique_ptr<CAgentInfo>(client.LookupAgent(name.c_str()));
    }

    static std::string field(const std::string& message, const char* key)
    {
        CParser parser;
        if (!parser.parse_message(message.c_str()))
            return "<unparsable>";
        const char* value = parser.find_token(key);
        return value ? value : "<none>";
    }

    // Bob answers every message `count` times on the connection it came on.
    void answer(CHostedAgent& bob, int count)
    {
        bob.agent().on_message = [&bob, count, this](const char* text) {
            const std::string sender = field(text, "sender");
            seen_registered = ans_lookup(sender) != nullptr;
            for (int i = 0; i < count; ++i)
                bob.agent().get_communicator()->comm_sendmessage(
                    "tell", sender.c_str(), "default-ontology", "default-language", nullptr, nullptr, nullptr,
                    ("(answer " + std::to_string(i) + ")").c_str(), nullptr);
        };
    }

    CTempHome home;
    CPollEventLoop loop;
    CMessageBoxSink::CRecorder boxes;
    CAnsdProcess ansd{home.path};
    std::vector<std::string> out;
    std::vector<std::string> err;
    bool seen_registered = false;
};

} // namespace

TEST_F(AgentTellTest, SendsByNameAndPrintsTheReplyThatAnswersIt)
{
    auto bob = start_receiver(CAgentContainer::LOOKUP_NAME_SERVER);
    answer(*bob, 1);
    std::vector<std::string> args = ans_args();
    args.insert(args.end(), {"-name", "Tester", "Bob", "(question)"});
    EXPECT_EQ(tell(args), CAgentTell::EXIT_SENT);

    ASSERT_EQ(bob->agent().messages.size(), 1u);
    const std::string sent = bob->agent().messages[0];
    EXPECT_EQ(sent.rfind("(tell ", 0), 0u) << sent;
    EXPECT_EQ(field(sent, "sender"), "Tester");
    EXPECT_EQ(field(sent, "receiver"), "Bob");
    EXPECT_EQ(field(sent, "ontology"), "default-ontology");
    EXPECT_EQ(field(sent, "language"), "default-language");
    EXPECT_EQ(field(sent, "content"), "( (question) )");
    EXPECT_EQ(field(sent, "reply-with").rfind("Win32M", 0), 0u);

    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(field(out[0], "in-reply-to"), field(sent, "reply-with"));
    EXPECT_NE(out[0].find("(answer 0)"), std::string::npos);
    EXPECT_TRUE(err.empty());
    // Registered while it ran, gone afterwards.
    EXPECT_TRUE(seen_registered);
    EXPECT_EQ(ans_lookup("Tester"), nullptr);
}

TEST_F(AgentTellTest, CollectsAsManyRepliesAsAskedFor)
{
    auto bob = start_receiver(CAgentContainer::LOOKUP_NAME_SERVER);
    answer(*bob, 3);
    std::vector<std::string> args = ans_args();
    args.insert(args.end(), {"--replies", "2", "Bob", "(question)"});
    EXPECT_EQ(tell(args), CAgentTell::EXIT_SENT);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NE(out[0].find("(answer 0)"), std::string::npos);
    EXPECT_NE(out[1].find("(answer 1)"), std::string::npos);
}

TEST_F(AgentTellTest, AnAddressGivenDirectlyIsUsedWithoutAskingTheNameServer)
{
    auto bob = start_receiver(CAgentContainer::LOOKUP_NAME_SERVER);
    answer(*bob, 1);
    // Bob is not even registered under the name the message goes to.
    const std::string at = "tcp://127.0.0.1:" + std::to_string(bob->port());
    std::vector<std::string> args = ans_args();
    args.insert(args.end(), {"-name", "Tester", "--at", at, "Unlisted", "(question)"});
    EXPECT_EQ(tell(args), CAgentTell::EXIT_SENT);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(seen_registered);
}

TEST_F(AgentTellTest, AnAddressAloneLeavesTheNameServerOut)
{
    auto bob = start_receiver(0);
    answer(*bob, 1);
    const std::string at = "tcp://127.0.0.1:" + std::to_string(bob->port());
    EXPECT_EQ(tell({"-name", "Tester", "--wait", "0", "--at", at, "Bob", "(question)"}),
              CAgentTell::EXIT_SENT);
    EXPECT_TRUE(RunUntil(loop, [&] { return bob->agent().messages.size() == 1; }));
    EXPECT_FALSE(seen_registered);
    EXPECT_TRUE(out.empty());
}

TEST_F(AgentTellTest, TheWaitEndsARunWithoutReplies)
{
    auto bob = start_receiver(CAgentContainer::LOOKUP_NAME_SERVER);
    std::vector<std::string> args = ans_args();
    args.insert(args.end(), {"--wait", "0.2", "Bob", "(question)"});
    EXPECT_EQ(tell(args), CAgentTell::EXIT_NO_REPLY);
    EXPECT_EQ(bob->agent().messages.size(), 1u);
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(err.size(), 1u);
    EXPECT_EQ(err[0], "agent-tell: no reply from [Bob] within 0.2 seconds");

    args = ans_args();
    args.insert(args.end(), {"--wait", "0", "Bob", "(again)"});
    EXPECT_EQ(tell(args), CAgentTell::EXIT_SENT);
    EXPECT_TRUE(RunUntil(loop, [&] { return bob->agent().messages.size() == 2; }));
}

TEST_F(AgentTellTest, AReceiverNobodyKnowsIsNotSentTo)
{
    std::vector<std::string> args = ans_args();
    args.insert(args.end(), {"Nobody", "(question)"});
    EXPECT_EQ(tell(args), CAgentTell::EXIT_NOT_SENT);
    ASSERT_EQ(err.size(), 1u);
    EXPECT_EQ(err[0].rfind("agent-tell: agent [Nobody] could not be located", 0), 0u) << err[0];
    EXPECT_TRUE(out.empty());
}

TEST_F(AgentTellTest, AReceiverThatRefusesGivesTheCommunicatorsErrorLine)
{
    const std::string at = "tcp://127.0.0.1:" + std::to_string(ClosedPort());
    EXPECT_EQ(tell({"--at", at, "Ghost", "(question)"}), CAgentTell::EXIT_NOT_SENT);
    ASSERT_EQ(err.size(), 1u);
    EXPECT_EQ(err[0].rfind("<CCommunicator> Error [", 0), 0u) << err[0];
    EXPECT_NE(err[0].find("Agent [Ghost]"), std::string::npos) << err[0];
}

TEST_F(AgentTellTest, TheProgramTalksToAnAgentProcess)
{
    CChildProcess echo;
    ASSERT_TRUE(
        echo.Start(ECHO_AGENT_BINARY,
                   {"-name", "Echo", "-ans", kLoopback, "-ansport", std::to_string(ansd.port), "-pause", "0"},
                   home.file("echo.txt")));
    std::string ready;
    ASSERT_TRUE(echo.ReadLine(ready)) << echo.Errors();

    CChildProcess run;
    ASSERT_TRUE(run.Start(AGENT_TELL_BINARY, {"-ansport", std::to_string(ansd.port), "Echo", "(hello)"},
                          home.file("tell.txt")));
    EXPECT_EQ(run.Wait(), 0) << run.Errors();
    ASSERT_EQ(run.lines.size(), 1u) << run.Errors();
    EXPECT_EQ(field(run.lines[0], "sender"), "Echo");
    EXPECT_NE(run.lines[0].find("echo ( (hello) )"), std::string::npos) << run.lines[0];

    CChildProcess stop;
    ASSERT_TRUE(stop.Start(
        AGENT_TELL_BINARY,
        {"-ansport", std::to_string(ansd.port), "--wait", "0", "Echo", "tell :type command :action shutdown"},
        home.file("stop.txt")));
    EXPECT_EQ(stop.Wait(), 0) << stop.Errors();
    EXPECT_EQ(echo.Wait(), 0) << echo.Errors();
}

TEST_F(AgentTellTest, TheProgramsExitStatusTellsWhatHappened)
{
    CChildProcess refused;
    ASSERT_TRUE(refused.Start(AGENT_TELL_BINARY,
                              {"--at", "tcp://127.0.0.1:" + std::to_string(ClosedPort()), "Ghost", "(x)"},
                              home.file("refused.txt")));
    EXPECT_EQ(refused.Wait(), 1);
    EXPECT_NE(refused.Errors().find("<CCommunicator> Error ["), std::string::npos) << refused.Errors();

    CChildProcess wrong;
    ASSERT_TRUE(wrong.Start(AGENT_TELL_BINARY, {"Bob"}, home.file("wrong.txt")));
    EXPECT_EQ(wrong.Wait(), 2);
    EXPECT_NE(wrong.Errors().find("agent-tell: expected the receiver and the content"), std::string::npos);
    EXPECT_NE(wrong.Errors().find("usage: agent-tell"), std::string::npos);

    // Content the receiver could not read is never sent.
    for (const char* content : {"tell :subject (unclosed", "tell :a b)", ""}) {
        CChildProcess unreadable;
        ASSERT_TRUE(unreadable.Start(AGENT_TELL_BINARY, {"--at", "tcp://127.0.0.1:1", "Ghost", content},
                                     home.file("unreadable.txt")));
        EXPECT_EQ(unreadable.Wait(), 2) << content;
        EXPECT_NE(unreadable.Errors().find("nothing was sent"), std::string::npos) << unreadable.Errors();
    }

    CChildProcess help;
    ASSERT_TRUE(help.Start(AGENT_TELL_BINARY, {"--help"}, home.file("help.txt")));
    EXPECT_EQ(help.Wait(), 0);
    ASSERT_FALSE(help.lines.empty());
    EXPECT_EQ(help.lines[0].rfind("usage: agent-tell", 0), 0u);
}
