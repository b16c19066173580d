#include <agentkit/AgentContainer.h>

#include "AgentTestSupport.h"

#include <agentkit/DlgContainer.h>
#include <agentkit/HTTPDriver.h>
#include <basekit/CommandLine.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <notekit/ServiceInfo.h>
#include <platform/MessageBoxSink.h>
#include <platform/PollEventLoop.h>
#include <wirekit/Communicator.h>
#include <wirekit/FileModule.h>
#include <wirekit/ServerSocket.h>
#include <wirekit/InterfaceModule.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>

using namespace agenttest;

namespace {

class AgentContainerTest : public ::testing::Test {
protected:
    void SetUp() override { CMessageBoxSink::SetCurrent(&boxes); }
    void TearDown() override { CMessageBoxSink::SetCurrent(nullptr); }

    const char* string_belief(CAgentContainer& agent, const char* name)
    {
        CStringBelief* belief = agent.get_belief_db()->find_string_belief(name);
        return belief ? belief->get_value() : nullptr;
    }
    int int_belief(CAgentContainer& agent, const char* name)
    {
        CIntBelief* belief = agent.get_belief_db()->find_int_belief(name);
        return belief ? belief->get_value() : -1;
    }
    void parse(CAgentContainer& agent, std::vector<std::string> args)
    {
        args.insert(args.begin(), "agent");
        arguments = args;
        pointers.clear();
        for (std::string& argument : arguments)
            pointers.push_back(argument.data());
        agent.parse_args(static_cast<int>(pointers.size()), pointers.data());
    }

    CTempHome home;
    CPollEventLoop loop;
    CMessageBoxSink::CRecorder boxes;
    std::vector<std::string> arguments;
    std::vector<char*> pointers;
};

} // namespace

TEST_F(AgentContainerTest, ConstructionMakesTheBeliefsAndCommunicator)
{
    CRecordingAgent named("Bob");
    CRecordingAgent unnamed;
    EXPECT_STREQ(string_belief(named, "name"), "Bob");
    EXPECT_STREQ(string_belief(unnamed, "name"), "Win32Agent");
    EXPECT_STREQ(named.get_agent_name(), "Bob");
    EXPECT_EQ(int_belief(named, "port"), 0);
    EXPECT_STREQ(string_belief(named, "ans"), "-unknown-");
    EXPECT_EQ(int_belief(named, "ansport"), 6677);
    ASSERT_NE(string_belief(named, "uuid"), nullptr);
    EXPECT_TRUE(std::regex_match(string_belief(named, "uuid"),
                                 std::regex("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-"
                                            "[0-9A-F]{12}\\}")));
    EXPECT_STRNE(string_belief(named, "uuid"), string_belief(unnamed, "uuid"));
    CListBelief* lookup = named.get_belief_db()->find_list_belief("lookup");
    ASSERT_NE(lookup, nullptr);
    ASSERT_NE(lookup->get_value(), nullptr);
    EXPECT_EQ(lookup->get_value()->get_nr_elements(), 0);
    EXPECT_EQ(named.obtain_network_db(), lookup->get_value());

    ASSERT_NE(named.get_communicator(), nullptr);
    EXPECT_EQ(named.get_communicator()->get_beliefdb(), named.get_belief_db());
    EXPECT_STREQ(named.get_type(), "agent");
    EXPECT_EQ(named.get_state(), CAgentContainer::STATE_CONSTRUCTED);
    EXPECT_EQ(named.get_result_code(), CAgentContainer::CREATE_OK);
    EXPECT_EQ(named.get_lookup_config(), 3);
    EXPECT_EQ(named.get_shutdown_pause(), 5000u);
    CAgentContainer plain("Carol");
    EXPECT_STREQ(plain.get_belief_dump_file(), "BeliefDB.txt");
    plain.set_belief_dump_file(nullptr);
    EXPECT_NE(named.get_http_driver(), nullptr);
    EXPECT_EQ(named.get_logger(), nullptr);
    EXPECT_EQ(named.get_interface_module(), nullptr);
}

TEST_F(AgentContainerTest, CommandLineOptionsSetBeliefsAndFlags)
{
    CRecordingAgent agent("Bob");
    parse(agent, {"-name", "Carol", "-port", "5000", "-ans", "10.0.0.7", "-ansport", "7000", "-unique", "yes",
                  "-win", "hidden", "-extra", "mine"});
    EXPECT_STREQ(agent.get_agent_name(), "Carol");
    EXPECT_EQ(int_belief(agent, "port"), 5000);
    EXPECT_STREQ(string_belief(agent, "ans"), "10.0.0.7");
    EXPECT_EQ(int_belief(agent, "ansport"), 7000);
    EXPECT_EQ(agent.get_unique(), 1);
    EXPECT_EQ(agent.get_result_code(), CAgentContainer::CREATE_HIDDEN);
    EXPECT_EQ(agent.own_option, "mine");
    EXPECT_EQ(agent.get_argc(), 15);
    EXPECT_EQ(agent.get_argv(), pointers.data());
    EXPECT_TRUE(boxes.Boxes().empty());

    parse(agent, {"-win", "min"});
    EXPECT_EQ(agent.get_result_code(), CAgentContainer::CREATE_MINIMISED);
    parse(agent, {"-win", "max"});
    EXPECT_EQ(agent.get_result_code(), CAgentContainer::CREATE_MAXIMISED);
    parse(agent, {"-win", "sideways", "-name"});
    EXPECT_EQ(agent.get_result_code(), CAgentContainer::CREATE_MAXIMISED);
    EXPECT_STREQ(agent.get_agent_name(), "Carol");

    parse(agent, {"-noans"});
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_NE(boxes.Boxes()[0].text.find("comm_disable_ans () is a deprecated method"), std::string::npos);
}

TEST_F(AgentContainerTest, UniqueAcceptsOnlyTheYesSpellings)
{
    for (const char* value : {"yes", "YES", "y", "Y"}) {
        CRecordingAgent agent("Bob");
        parse(agent, {"-unique", value});
        EXPECT_EQ(agent.get_unique(), 1) << value;
    }
    for (const char* value : {"no", "Yes", "true", "1"}) {
        CRecordingAgent agent("Bob");
        parse(agent, {"-unique", value});
        EXPECT_EQ(agent.get_unique(), 0) << value;
    }
}

TEST_F(AgentContainerTest, PortsThatAreNotPortNumbersAreIgnored)
{
    CRecordingAgent agent("Bob");
    CLineSink lines;
    agent.set_file(home.file("log.txt").c_str());
    for (const char* value : {"abc", "99999", "-1", "12x", ""})
        parse(agent, {"-port", value, "-ansport", value});
    EXPECT_EQ(int_belief(agent, "port"), 0);
    EXPECT_EQ(int_belief(agent, "ansport"), 6677);
    EXPECT_EQ(CountLines(LogLines(home.file("log.txt")),
                         "<CAgentContainer> Ignoring option -port: not a port number"),
              5);
    parse(agent, {"-port", "65535", "-ansport", "0"});
    EXPECT_EQ(int_belief(agent, "port"), 65535);
    EXPECT_EQ(int_belief(agent, "ansport"), 0);
}

TEST_F(AgentContainerTest, CreateRunsTheStepsInOrderOnASystemChosenPort)
{
    CHostedAgent hosted(home, "Bob");
    EXPECT_EQ(hosted.create(), 1);
    CRecordingAgent& agent = hosted.agent();
    EXPECT_EQ(agent.get_state(), CAgentContainer::STATE_RUNNING);
    EXPECT_EQ(agent.creates, 1);
    EXPECT_EQ(agent.inits, 1);
    ASSERT_NE(agent.get_interface_module(), nullptr);
    EXPECT_EQ(agent.get_interface_module()->get_lineage(), agent.get_base_type());

    const int port = int_belief(agent, "port");
    EXPECT_GT(port, 0);
    EXPECT_EQ(static_cast<unsigned>(port), agent.get_communicator()->get_server()->get_port());
    EXPECT_EQ(agent.get_port(), port);
    EXPECT_STREQ(agent.get_host(), "127.0.0.1");
    EXPECT_EQ(std::string(agent.get_url()), "tcp://127.0.0.1:" + std::to_string(port));

    const std::vector<std::string> lines = hosted.log();
    int at = 0;
    for (const char* step :
         {"<CAgentContainer> adding interface client ...", "<CAgentContainer> Calling: 'process_create ()'",
          "<CAgentContainer> Creating Communicator ...", "<CAgentContainer> Starting lookup modules ...",
          "<CAgentContainer> Starting lookup modules ...", "<CAgentContainer> Calling: 'process_init ()'",
          "<CAgentContainer> Entering messageloop"}) {
        at = FindLine(lines, step, at);
        ASSERT_GE(at, 0) << step;
        ++at;
    }

    EXPECT_EQ(agent.Create(0), CAgentContainer::CREATE_ALREADY_CREATED);
    EXPECT_EQ(agent.creates, 1);
}

TEST_F(AgentContainerTest, CreateFailsWithoutANameOrWhenTheCommunicatorCannotListen)
{
    CRecordingAgent nameless("Bob");
    nameless.get_belief_db()->delete_element_by_name("name");
    EXPECT_EQ(nameless.Create(0), CAgentContainer::CREATE_NO_NAME);
    EXPECT_EQ(nameless.creates, 0);

    // Without a window the communicator has nowhere to send notifications.
    CRecordingAgent windowless("Carol");
    windowless.set_lookup_config(0);
    windowless.set_file(home.file("carol.txt").c_str());
    EXPECT_EQ(windowless.Create(0), CAgentContainer::CREATE_NO_COMMUNICATOR);
    EXPECT_EQ(windowless.get_state(), CAgentContainer::STATE_CREATING);
    EXPECT_EQ(windowless.inits, 0);
    EXPECT_GE(FindLine(LogLines(home.file("carol.txt")), "<CAgentContainer> Error initializing communicator"),
              0);
    EXPECT_EQ(windowless.Create(0), CAgentContainer::CREATE_ALREADY_CREATED);
}

TEST_F(AgentContainerTest, ClientModuleFlagsAreAnnouncedAndSkipped)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create({}, 2 | 4 | 8 | 16 | 32), 1);
    const std::vector<std::string> lines = hosted.log();
    for (const char* line :
         {"<CAgentContainer> adding visualization client ...", "<CAgentContainer> adding voice client ...",
          "<CAgentContainer> adding desktop client ...", "<CAgentContainer> adding broker client ...",
          "<CAgentContainer> adding matchmaker client ..."})
        EXPECT_EQ(CountLines(lines, line), 1) << line;
    EXPECT_EQ(CountLines(lines, "<CAgentContainer> Client module not available in this container, skipped"),
              4);
    EXPECT_EQ(hosted.agent().get_communicator()->get_modules()->get_nr_elements(), 1);
}

TEST_F(AgentContainerTest, UniqueNamesGetAnIdentifierBeforeTheCommunicatorStarts)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create({"-unique", "y"}), 1);
    EXPECT_TRUE(std::regex_match(hosted.agent().get_agent_name(), std::regex("Bob-\\{[0-9A-F-]{36}\\}")));
    EXPECT_STREQ(hosted.agent().get_communicator()->get_name(), hosted.agent().get_agent_name());
}

TEST_F(AgentContainerTest, ThePidFileHoldsTheStartTimeAndGoesAtShutdown)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create(), 1);
    const std::string path = home.file("system/pid/Bob.txt");
    EXPECT_EQ(hosted.agent().get_pid_file().get_path(), path);
    EXPECT_TRUE(std::regex_match(ReadFile(path), std::regex(":date \\(tell :day [0-9]+ :month [0-9]+ :year "
                                                            "[0-9]{4} :hour [0-9]+ :minute [0-9]+ :second "
                                                            "[0-9]+\\)")));
    hosted.destroy();
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(AgentContainerTest, PidFileProblemsAreLoggedAndNotFatal)
{
    {
        CHostedAgent hosted(home, "../escape");
        ASSERT_EQ(hosted.create(), 1);
        EXPECT_GE(FindLine(hosted.log(), "<CAgentContainer> Agent name is not a file name, "
                                         "aborting PID creation (non-fatal)"),
                  0);
        EXPECT_FALSE(std::filesystem::exists(home.file("system/escape.txt")));
    }
    unsetenv("ORVANTE");
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create(), 1);
    EXPECT_EQ(hosted.agent().get_state(), CAgentContainer::STATE_RUNNING);
    EXPECT_GE(FindLine(hosted.log(), "<CAgentContainer> Home directory not found, aborting PID "
                                     "creation (non-fatal)"),
              0);
    EXPECT_TRUE(hosted.agent().get_pid_file().get_path().empty());
}

TEST_F(AgentContainerTest, InternalMessagesAreRecognised)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create(), 1);
    CRecordingAgent& agent = hosted.agent();
    struct Case {
        const char* text;
        int consumed;
        const char* line;
    } cases[] = {
        {"not kqml", 0, nullptr},
        {"(tell :receiver Bob :content (tell :type command :action ping))", 0,
         "<CAgentContainer> Vital parameters missing in message (check_internal_command)"},
        {"(tell :sender Alice :receiver Bob)", 0,
         "<CAgentContainer> Vital parameters missing in message (check_internal_command)"},
        {"(tell :sender Alice :content \"hello\")", 0,
         "<CAgentContainer> Message is not an internal message, continuing..."},
        {"(tell :sender Alice :content (tell :type))", 0,
         "<CAgentContainer> Unable to parse content field, aborting operation"},
        {"(tell :sender Alice :content (tell :type visibility :action show))", 1, nullptr},
        {"(tell :sender Alice :content (tell :type visibility :action hide))", 1, nullptr},
        {"(tell :sender Alice :content (tell :type visibility :action spin))", 0,
         "<CAgentContainer> Message is not a visibility command"},
        {"(tell :sender Alice :content (tell :type command :action ping))", 1,
         "<CAgentContainer> Detected ping command"},
        {"(tell :sender Alice :content (tell :type \"command\" :action \"ping\"))", 1,
         "<CAgentContainer> Detected ping command"},
        {"(tell :sender Alice :content (ask :type command :action ping))", 0,
         "<CAgentContainer> Message is not an internal message, continuing..."},
        {"(tell :sender Alice :content (tell :type command :action dance))", 0,
         "<CAgentContainer> Message is not an internal message, continuing..."},
        {"(tell :sender Alice :content (dms :type contract))", 0,
         "<CAgentContainer> Message is not an internal message, continuing..."},
        {"(tell :sender Bob :content (dms :type contract))", 0, nullptr},
    };
    for (const Case& c : cases) {
        hosted.sink.lines.clear();
        EXPECT_EQ(agent.check_internal_message(c.text), c.consumed) << c.text;
        if (c.line) {
            EXPECT_EQ(hosted.sink.count(c.line), 1) << c.text;
        }
    }
    EXPECT_EQ(agent.check_internal_message(nullptr), 0);
    EXPECT_EQ(agent.get_shutdown_requested(), 0);

    hosted.sink.lines.clear();
    EXPECT_EQ(
        agent.check_internal_message("(tell :sender Alice :content (tell :type command :action shutdown))"),
        1);
    EXPECT_EQ(agent.get_shutdown_requested(), 1);
    EXPECT_EQ(hosted.sink.count("<CAgentContainer> Detected shutdown command"), 1);
    EXPECT_EQ(hosted.sink.count("<CAgentContainer> Message indicated to be an internal message"), 1);
}

TEST_F(AgentContainerTest, OwnMessagesAreDroppedOnlyWhenRejecting)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create(), 1);
    CRecordingAgent& agent = hosted.agent();
    const char* own = "(tell :sender Bob :content (dms :type contract))";
    EXPECT_EQ(agent.get_reject_own_messages(), 0);
    EXPECT_EQ(agent.check_internal_message(own), 0);
    agent.set_reject_own_messages(1);
    EXPECT_EQ(agent.check_internal_message(own), 1);
    EXPECT_EQ(hosted.sink.count("<CAgentContainer> Agent container is configured to reject cyclic "
                                "messages, aborting"),
              1);
    EXPECT_EQ(agent.check_internal_message("(tell :sender Alice :content (dms :type contract))"), 0);
}

TEST_F(AgentContainerTest, InterfaceCreateRegistersTheTargetAsAnInterfaceAgent)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create(), 1);
    CRecordingAgent& agent = hosted.agent();
    EXPECT_EQ(agent.check_internal_message(
                  "(tell :sender Alice :ontology interface :content (create :from Alice :to Eve))"),
              1);
    EXPECT_EQ(hosted.sink.count("<CAgentContainer> Ontology indicates an interface command, "
                                "parsing further"),
              1);
    EXPECT_NE(agent.get_interface_module()->get_interfaces()->find_element("Eve"), nullptr);

    // The interface module's own requests are not the container's.
    EXPECT_EQ(agent.check_internal_message(
                  "(tell :sender Alice :ontology interface :content (ask :content register))"),
              0);
    EXPECT_EQ(agent.check_internal_message(
                  "(tell :sender Alice :ontology interface :content (create :from Alice))"),
              0);
}

TEST_F(AgentContainerTest, TheTimerRunsEachPartOnceAndIsNotReentered)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create(), 1);
    CRecordingAgent& agent = hosted.agent();
    agent.on_timer = [&] { agent.handle_mfc_timer(); };
    agent.handle_mfc_timer();
    EXPECT_EQ(agent.timers, 1);
    agent.handle_mfc_timer();
    EXPECT_EQ(agent.timers, 2);
    EXPECT_EQ(agent.get_communicator()->get_alive_counter(), 2);
}

TEST_F(AgentContainerTest, ExpiredRecordsLeaveAfterTheirSecondsAndTheChangeIsHandled)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create(), 1);
    CRecordingAgent& agent = hosted.agent();
    CServiceInfo* record = new CServiceInfo("Alice");
    record->set_expiration(3);
    agent.obtain_network_db()->add_element(record);
    agent.obtain_network_db()->add_element(new CServiceInfo("Carol"));
    agent.get_belief_db()->set_modified(0);

    agent.handle_mfc_timer();
    agent.handle_mfc_timer();
    EXPECT_NE(agent.obtain_network_db()->find_element("Alice"), nullptr);
    agent.handle_mfc_timer();
    EXPECT_EQ(agent.obtain_network_db()->find_element("Alice"), nullptr);
    EXPECT_NE(agent.obtain_network_db()->find_element("Carol"), nullptr);
    EXPECT_EQ(agent.get_belief_db()->get_modified(), 1);

    EXPECT_EQ(agent.internals, 0);
    agent.check_integrity();
    EXPECT_EQ(agent.internals, 1);
    EXPECT_EQ(agent.get_belief_db()->get_modified(), 0);
    agent.check_integrity();
    EXPECT_EQ(agent.internals, 1);
}

TEST_F(AgentContainerTest, IntegrityCheckCollectsRecordsOfAgentsThatAreGone)
{
    CRecordingAgent agent("Bob");
    CServiceInfo* gone = new CServiceInfo("Alice");
    gone->set_gone(1);
    agent.obtain_network_db()->add_element(gone);
    agent.obtain_network_db()->add_element(new CServiceInfo("Carol"));
    agent.get_belief_db()->set_modified(1);
    agent.check_integrity();
    EXPECT_EQ(agent.internals, 1);
    EXPECT_EQ(agent.obtain_network_db()->find_element("Alice"), nullptr);
    EXPECT_NE(agent.obtain_network_db()->find_element("Carol"), nullptr);
}

TEST_F(AgentContainerTest, DestructionRunsInOrderAndLeavesTheBeliefDump)
{
    const std::string dump = home.file("beliefs.txt");
    std::string log_file;
    {
        CHostedAgent hosted(home, "Bob");
        hosted.agent().set_belief_dump_file(dump.c_str());
        hosted.agent().set_shutdown_pause(30);
        ASSERT_EQ(hosted.create({}, CAgentContainer::FLAG_FILE_LOG), 1);
        ASSERT_NE(hosted.agent().get_logger(), nullptr);
        log_file = hosted.agent().get_logger()->get_file();
        const auto start = std::chrono::steady_clock::now();
        hosted.destroy();
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
    }
    const std::vector<std::string> lines = LogLines(log_file);
    // Never registered with a name server, and its log says so.
    int at = FindLine(lines, "[Bob] [++] Agent running without a registration with ANS");
    ASSERT_GE(at, 0);
    for (const char* step :
         {"<CAgentContainer> Sleeping for 0.03 seconds to make sure remote agents have time to "
          "process pending messages",
          "<CAgentContainer> Exiting messageloop", "<CAgentContainer> Shutting developer defined sockets ...",
          "<CAgentContainer> Shutting down client modules ...",
          "[Bob] [++] Agent stopping, was not registered with ANS",
          "<CAgentContainer> Shutting down agent shell", "<CCommunicator> Shutting down",
          "<CAgentContainer> Communicator no longer running !", "<CFileModule> shutting down"}) {
        at = FindLine(lines, step, at);
        ASSERT_GE(at, 0) << step;
    }
    EXPECT_NE(ReadFile(dump).find("name = Bob"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(home.file("system/pid/Bob.txt")));
}

TEST_F(AgentContainerTest, BeliefsAreDumpedIntoTheCurrentDirectoryUnlessTurnedOff)
{
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(home.path);
    const auto start = std::chrono::steady_clock::now();
    {
        CRecordingAgent agent("Bob");
        agent.set_belief_dump_file(nullptr);
        EXPECT_EQ(agent.get_belief_dump_file(), nullptr);
    }
    const bool skipped = !std::filesystem::exists(home.file("BeliefDB.txt"));
    {
        CAgentContainer agent("Carol");
    }
    // A container that never ran has nothing in flight and does not pause.
    const auto took = std::chrono::steady_clock::now() - start;
    std::filesystem::current_path(previous);
    EXPECT_TRUE(skipped);
    EXPECT_NE(ReadFile(home.file("BeliefDB.txt")).find("name = Carol"), std::string::npos);
    EXPECT_LT(took, std::chrono::seconds(4));
}

TEST_F(AgentContainerTest, TheFileLogCarriesTheContainersLines)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create({}, CAgentContainer::FLAG_FILE_LOG), 1);
    CFileModule* logger = hosted.agent().get_logger();
    ASSERT_NE(logger, nullptr);
    EXPECT_EQ(hosted.agent().get_communicator()->get_logger(), logger);
    hosted.agent().debug("<Test> %s and %d stay as written", "filled");
    const std::vector<std::string> lines = LogLines(logger->get_file());
    EXPECT_GE(FindLine(lines, "<CAgentContainer> Entering messageloop"), 0);
    EXPECT_GE(FindLine(lines, "<Test> filled and %d stay as written"), 0);
    EXPECT_EQ(hosted.sink.count("<Test> filled and %d stay as written"), 1);
}

TEST_F(AgentContainerTest, OneArgumentDebugWritesTheTextAsItStands)
{
    CRecordingAgent agent("Bob");
    agent.set_file(home.file("log.txt").c_str());
    agent.debug("100% %s %n %x");
    agent.debug("%s%s 50%%", nullptr);
    agent.dprintf("<Test> [%d]", 7);
    const std::vector<std::string> lines = LogLines(home.file("log.txt"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "100% %s %n %x");
    EXPECT_EQ(lines[1], "(null)%s 50%");
    EXPECT_EQ(lines[2], "<Test> [7]");
}

TEST_F(AgentContainerTest, LookupConfigurationBeforeCreateOnlyStoresTheMask)
{
    CHostedAgent hosted(home, "Bob", CAgentContainer::LOOKUP_NAME_SERVER);
    hosted.agent().set_lookup_config(0);
    EXPECT_EQ(hosted.agent().get_lookup_config(), 0);
    EXPECT_EQ(hosted.agent().get_communicator()->get_lookup_modules()->get_nr_elements(), 0);
    ASSERT_EQ(hosted.create(), 1);
    EXPECT_EQ(hosted.agent().get_communicator()->retrieve_ans_object(), nullptr);
}

TEST_F(AgentContainerTest, TheWindowAndServiceTypeAreHandedToTheCommunicator)
{
    CRecordingAgent agent("Bob");
    agent.set_service_type(5);
    EXPECT_EQ(agent.get_communicator()->get_service_type(), 5);
    CWnd window(&loop);
    agent.set_handler(&window);
    EXPECT_EQ(agent.get_communicator()->get_handler(), &window);
    agent.assign_http_driver(nullptr);
    EXPECT_EQ(agent.get_http_driver(), nullptr);
}

// While the hosting loop dispatches, log lines wait in memory; they are in
// the file as soon as the loop is about to wait again.
TEST_F(AgentContainerTest, LinesLoggedOnTheLoopReachTheFileWhenTheLoopGoesIdle)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create({}, CAgentContainer::FLAG_FILE_LOG), 1);
    CFileModule* logger = hosted.agent().get_logger();
    ASSERT_NE(logger, nullptr);
    const std::string path = logger->get_file();
    const std::string text = "<Test> written on the loop";
    bool deferred_in_task = false;
    bool in_file_during_task = true;
    bool in_file_after_wait = false;
    loop.Post([&] {
        hosted.agent().debug(text.c_str());
        deferred_in_task = CDebug::is_deferred();
        in_file_during_task = FindLine(LogLines(path), text) >= 0;
        loop.AddTimer(20, false, [&](CEventLoop::TimerId) {
            in_file_after_wait = FindLine(LogLines(path), text) >= 0;
            loop.Quit();
        });
    });
    const CEventLoop::TimerId watchdog =
        loop.AddTimer(5000, false, [&](CEventLoop::TimerId) { loop.QuitAll(-1); });
    EXPECT_EQ(loop.Run(), 0);
    loop.KillTimer(watchdog);
    EXPECT_TRUE(deferred_in_task);
    EXPECT_FALSE(in_file_during_task);
    EXPECT_TRUE(in_file_after_wait);
    EXPECT_FALSE(CDebug::is_deferred());
}

TEST_F(AgentContainerTest, AContainerThatIsGoneOrUnhostedNoLongerDefersLines)
{
    CHostedAgent hosted(home, "Bob");
    ASSERT_EQ(hosted.create({}, CAgentContainer::FLAG_FILE_LOG), 1);
    bool deferred = true;
    auto probe = [&] {
        loop.Post([&] {
            deferred = CDebug::is_deferred();
            loop.Quit();
        });
        loop.Run();
    };
    probe();
    EXPECT_TRUE(deferred);
    hosted.agent().set_handler(nullptr);
    probe();
    EXPECT_FALSE(deferred);
    hosted.agent().set_handler(&hosted.dlg());
    probe();
    EXPECT_TRUE(deferred);
    hosted.destroy();
    probe();
    EXPECT_FALSE(deferred);
}

// A loop that dies before the container (as in tests that host an agent on
// a short-lived loop) is simply forgotten.
TEST_F(AgentContainerTest, AContainerOutlivingItsLoopLeavesCleanly)
{
    CRecordingAgent agent("Bob");
    {
        CPollEventLoop short_lived;
        CWnd window(&short_lived);
        agent.set_handler(&window);
    }
    agent.set_handler(nullptr);
    EXPECT_FALSE(CDebug::is_deferred());
}
