#include <wirekit/Communicator.h>

#include "WireTestSupport.h"

#include <ansd/testing/AnsdProcess.h>

#include <wirekit/ClientSocket.h>
#include <wirekit/CommDialogs.h>
#include <wirekit/LogFacility.h>
#include <wirekit/Message.h>
#include <wirekit/ServerSocket.h>

#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/LookupModule.h>
#include <factkit/StringBelief.h>
#include <lexikit/Parser.h>
#include <namekit/ANSClient.h>
#include <notekit/ServiceInfo.h>
#include <platform/MessageBoxSink.h>
#include <platform/PollEventLoop.h>
#include <platform/SocketError.h>

#include <platform/testing/BlackHole.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace wiretest;

namespace {

using Journal = std::vector<std::string>;

// An event module that writes down what the communicator does to it.
class CRecordingModule : public CLogFacility {
public:
    CRecordingModule(const char* name, unsigned type, Journal& journal)
        : CLogFacility(name, nullptr, nullptr, 0), journal(journal)
    {
        set_type(type);
    }
    ~CRecordingModule() override { journal.push_back(label() + " destroyed"); }

    int change_state(unsigned state) override
    {
        journal.push_back(label() + " state " + std::to_string(state));
        return 1;
    }
    void process_message(const char* text, int direction) override
    {
        journal.push_back(label() + " " + std::to_string(direction) + " " + text);
    }

private:
    std::string label() { return get_name() ? get_name() : "unnamed"; }
    Journal& journal;
};

// A lookup module that counts its calls and, when it knows an address for
// the agent asked about, puts it into the location table.
class CRecordingLookup : public CLookupModule {
public:
    CRecordingLookup(CBeliefDB* db, int type, std::string address = std::string())
        : CLookupModule(db, nullptr), address(std::move(address))
    {
        set_lookup_type(type);
    }

    int alive() override { return ++alive_calls; }
    int register_agent(const char* name) override
    {
        registered.push_back(name);
        return 1;
    }
    int lookup_agent(const char* name) override
    {
        ++lookups;
        if (address.empty())
            return 0;
        CServiceInfo* record = create_entry(name);
        record->set_location(new CURL(address.c_str()));
        return 1;
    }

    int alive_calls = 0;
    int lookups = 0;
    std::vector<std::string> registered;

private:
    std::string address;
};

// A plain listening socket on 127.0.0.1 that the loop does not serve: it
// sees the exact bytes another agent sends.
class CListener {
public:
    CListener()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, kLoopback, &address.sin_addr);
        socklen_t size = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
    }
    ~CListener()
    {
        for (int connection : accepted)
            ::close(connection);
        ::close(fd);
    }
    CListener(const CListener&) = delete;
    CListener& operator=(const CListener&) = delete;

    void listen() { ::listen(fd, 4); }

    // The next waiting connection, or -1 after a few seconds.
    int accept_one()
    {
        pollfd item{fd, POLLIN, 0};
        if (::poll(&item, 1, 5000) <= 0)
            return -1;
        const int connection = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0)
            accepted.push_back(connection);
        return connection;
    }

    // Everything up to and including the next 0x04 (or what came before the
    // peer stopped sending for a few seconds).
    static std::string read_message(int connection)
    {
        std::string out;
        char c = 0;
        pollfd item{connection, POLLIN, 0};
        while (::poll(&item, 1, 5000) > 0 && ::read(connection, &c, 1) == 1) {
            out += c;
            if (c == CClientSocket::END_OF_MESSAGE)
                break;
        }
        return out;
    }

    static void reset(int connection)
    {
        linger hard{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }

    int fd = -1;
    unsigned port = 0;
    std::vector<int> accepted;
};

// One agent: its beliefs as a container makes them, a window that records
// notifications, a log and the communicator under test.
class CAgent {
public:
    CAgent(const char* name, CEventLoop& loop) : window(&loop)
    {
        db.add_element(new CStringBelief("name", name));
        db.add_element(new CIntBelief("port", 0));
        db.add_element(new CStringBelief("ans", "-unknown-"));
        db.add_element(new CIntBelief("ansport", 6677));
        db.add_element(new CListBelief("lookup", new CLList("lookup")));
        comm = std::make_unique<CCommunicator>(&db);
        comm->set_file(log.logger.get_file_pointer());
        comm->set_handler(&window);
        comm->set_listen_address(kLoopback);
    }

    void knows(const char* agent, unsigned port, int expiration = CServiceInfo::NEVER_EXPIRES)
    {
        auto* record = new CServiceInfo(agent);
        record->set_location(new CURL(("tcp://127.0.0.1:" + std::to_string(port)).c_str()));
        record->set_expiration(expiration);
        table()->add_element(record);
    }
    CLList* table() { return comm->get_lookup_table(); }
    unsigned port() { return static_cast<unsigned>(comm->get_port()); }
    bool logged(const std::string& line) { return log.count(line) > 0; }

    // The oldest message waiting on the connection that signalled last.
    std::string next_message(CEventLoop& loop, size_t count)
    {
        if (!RunUntil(loop, [&] { return window.notifications.size() >= count; }))
            return "(nothing arrived)";
        CClientSocket* connection =
            comm->get_connection(static_cast<int>(window.notifications[count - 1].lparam));
        const char* text = connection ? connection->mfc_getdata() : nullptr;
        std::string out = text ? text : "(empty queue)";
        if (connection)
            connection->remove_from_queue();
        return out;
    }

    CLogFile log;
    CBeliefDB db;
    CRecordingWnd window;
    std::unique_ptr<CCommunicator> comm;
};

std::string expected_head(const char* performative, const char* receiver, const char* sender,
                          const char* ontology, const char* language, const char* reply_with,
                          const char* in_reply_to)
{
    CMessage message;
    const char* head = message.compose_message(performative, receiver, sender, ontology, language, reply_with,
                                               in_reply_to, nullptr, 0);
    return head ? head : "(no head)";
}

class CommunicatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("ORVANTE_HOST_ADDRESS", kLoopback, 1);
        unsetenv("ORVANTE");
        CMessageBoxSink::SetCurrent(&boxes);
    }
    void TearDown() override { CMessageBoxSink::SetCurrent(nullptr); }

    // A private directory for the name server's log, removed with the test.
    std::string scratch_dir()
    {
        char pattern[] = "/tmp/communicator-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made)
            dir = made;
        return dir;
    }
    ~CommunicatorTest() override
    {
        std::error_code ignored;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ignored);
    }

    // Gives `asking` a name-server module that finds every agent at
    // `found`'s address, and starts it.
    static CRecordingLookup* FindsAt(CAgent& asking, CAgent& found)
    {
        auto* lookup = new CRecordingLookup(&asking.db, CLookupModule::LOOKUP_NAME_SERVER,
                                            "tcp://127.0.0.1:" + std::to_string(found.port()));
        asking.comm->add_lookup_module(lookup);
        asking.comm->start_lookup_modules();
        return lookup;
    }

    CPollEventLoop loop;
    CMessageBoxSink::CRecorder boxes;
    std::string dir;
};

} // namespace

// --- start and settings ----------------------------------------------------------

TEST_F(CommunicatorTest, BuildsItsOwnBeliefsWithTheDefaults)
{
    CCommunicator comm;
    EXPECT_STREQ(comm.get_name(), "Win32Agent");
    EXPECT_EQ(comm.get_port(), 6678);
    EXPECT_STREQ(comm.get_ansname(), "-unknown-");
    EXPECT_EQ(comm.get_ansport(), 6677);
    ASSERT_NE(comm.get_lookup_table(), nullptr);
    EXPECT_EQ(comm.get_lookup_table()->get_nr_elements(), 0);
    EXPECT_STREQ(comm.comm_get_ip(), kLoopback);
    EXPECT_STREQ(comm.get_result(), "_empty_");
    EXPECT_STREQ(comm.getversion(), "2.01");

    EXPECT_EQ(comm.comm_setinfo("Alice", 7000), 1);
    EXPECT_EQ(comm.comm_setansinfo("ans.example", 7001), 1);
    EXPECT_STREQ(comm.get_name(), "Alice");
    EXPECT_EQ(comm.get_port(), 7000);
    EXPECT_STREQ(comm.get_ansname(), "ans.example");
    EXPECT_EQ(comm.get_ansport(), 7001);
    EXPECT_EQ(comm.comm_is_ans_enabled(), 1);
    EXPECT_EQ(comm.comm_ans_error(), nullptr);
    EXPECT_EQ(std::string(comm.create_reply_with()).rfind("Win32M", 0), 0u);
}

TEST_F(CommunicatorTest, MissingBeliefsReadAsNothingAndAreNotCreated)
{
    CBeliefDB db;
    CLogFile log;
    CCommunicator comm(&db);
    EXPECT_EQ(comm.get_name(), nullptr);
    EXPECT_EQ(comm.get_port(), 0);
    EXPECT_EQ(comm.comm_setinfo("Alice", 1), 0);
    EXPECT_EQ(comm.get_name(), nullptr);
    EXPECT_STREQ(comm.comm_get_info(), kLoopback);
    ASSERT_NE(db.find_string_belief("hostname"), nullptr);

    comm.set_file(log.logger.get_file_pointer());
    char host[64] = "untouched";
    unsigned port = 9;
    EXPECT_EQ(comm.comm_lookup("Bob", host, &port), nullptr);
    EXPECT_STREQ(host, "untouched");
    EXPECT_EQ(log.count("<CCommunicator> Lookup table is NULL, unable to process request"), 1);
    comm.check_integrity();
    EXPECT_EQ(log.count("<CCommunicator> lookup table is NULL whilst checking location lookup "
                        "table"),
              1);
}

TEST_F(CommunicatorTest, PortZeroListensOnASystemChosenPortWrittenBack)
{
    CAgent alice("Alice", loop);
    EXPECT_EQ(alice.comm->Create(), 1);
    ASSERT_NE(alice.comm->get_server(), nullptr);
    const unsigned port = alice.comm->get_server()->get_port();
    EXPECT_NE(port, 0u);
    EXPECT_EQ(alice.port(), port);
    EXPECT_TRUE(alice.logged("<CCommunicator> Creating communicator ..."));
    EXPECT_TRUE(alice.logged("<CCommunicator> Set listening port to [" + std::to_string(port) + "]"));
    EXPECT_TRUE(alice.logged("<CCommunicator> Communicator running"));

    CPeer peer;
    EXPECT_TRUE(peer.connect_to(port));
    EXPECT_TRUE(
        RunUntil(loop, [&] { return alice.comm->get_server()->get_sockets()->get_nr_elements() == 1; }));
}

// Connects the loop has not yet taken must all complete: a short listening
// queue drops the later handshakes, which then wait for the client's retry.
TEST_F(CommunicatorTest, BackToBackConnectsAllCompleteBeforeAnyIsAccepted)
{
    CAgent alice("Alice", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(alice.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::vector<pollfd> pending;
    for (int i = 0; i < 32; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        pending.push_back({fd, POLLOUT, 0});
    }
    // A dropped handshake is retried after a second; two seconds without any
    // connect completing means the rest are stuck.
    std::size_t connected = 0;
    while (connected < pending.size() && ::poll(pending.data(), pending.size(), 2000) > 0) {
        connected = 0;
        for (pollfd& entry : pending) {
            int error = -1;
            socklen_t size = sizeof error;
            if (entry.revents & POLLOUT && ::getsockopt(entry.fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 &&
                error == 0)
                entry.events = 0;
            connected += entry.events == 0 ? 1 : 0;
        }
    }
    EXPECT_EQ(connected, pending.size());
    for (pollfd& entry : pending)
        ::close(entry.fd);
}

TEST_F(CommunicatorTest, StartFailsWithoutAHandlerOrOnAPortInUse)
{
    CAgent alice("Alice", loop);
    alice.comm->set_handler(nullptr);
    EXPECT_EQ(alice.comm->Create(), 0);
    EXPECT_TRUE(alice.logged("<CCommunicator> Message handler is NULL"));
    EXPECT_TRUE(alice.logged("<CCommunicator> Unable to start server, Aborting ... !!"));

    CListener taken;
    taken.listen();
    alice.comm->set_handler(&alice.window);
    alice.comm->set_port(static_cast<int>(taken.port));
    EXPECT_EQ(alice.comm->Create(), 0);
    EXPECT_EQ(alice.comm->get_server(), nullptr);
    EXPECT_TRUE(alice.logged("<CCommunicator> Unable to create server socket on [" +
                             std::to_string(taken.port) + "]"));
    alice.comm->set_port(70000);
    EXPECT_EQ(alice.comm->comm_startserver(), 0);
}

// --- sending --------------------------------------------------------------------------

TEST_F(CommunicatorTest, ContentPiecesFollowTheHeadAndTheMessageEndsWithItsByte)
{
    CListener bob;
    bob.listen();
    CAgent alice("Alice", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    alice.knows("Bob", bob.port);

    EXPECT_EQ(alice.comm->comm_sendmessage("tell", "Bob", "onto", "lang", nullptr, nullptr, nullptr, "a", "",
                                           "b", nullptr),
              nullptr);
    const int connection = bob.accept_one();
    ASSERT_GE(connection, 0);
    EXPECT_EQ(CListener::read_message(connection),
              expected_head("tell", "Bob", "Alice", "onto", "lang", nullptr, nullptr) + " a b ))\x04");
    EXPECT_EQ(std::string(alice.comm->get_result()),
              "<CCommunicator> Success sending (internal) request to Agent [Bob] at "
              "[127.0.0.1][" +
                  std::to_string(bob.port) + "]");

    // The connection stays open under the receiver's name and carries the next
    // message, however long.
    const std::string long_piece(20000, 'x');
    EXPECT_EQ(alice.comm->comm_sendmessage("tell", "Bob", nullptr, nullptr, nullptr, nullptr, nullptr,
                                           long_piece.c_str(), nullptr),
              nullptr);
    EXPECT_EQ(CListener::read_message(connection),
              expected_head("tell", "Bob", "Alice", nullptr, nullptr, nullptr, nullptr) + " " + long_piece +
                  " ))\x04");
    EXPECT_EQ(alice.comm->get_server()->get_sockets()->get_nr_elements(), 1);
}

// Names trusted without proof, as on a network of agents without keys.
TEST_F(CommunicatorTest, AReplyOnAnOpenConnectionCarriesItsReplyWith)
{
    CAgent alice("Alice", loop);
    CAgent bob("Bob", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    ASSERT_EQ(bob.comm->Create(), 1);
    bob.comm->set_trust_unproven(true);
    alice.knows("Bob", bob.port());
    bob.knows("Alice", alice.port());

    ASSERT_EQ(alice.comm->comm_sendmessage("ask", "Bob", nullptr, nullptr, "rw-7", nullptr, nullptr,
                                           "question", nullptr),
              nullptr);
    CParser parser;
    ASSERT_EQ(parser.parse_message(bob.next_message(loop, 1).c_str()), 1);
    CClientSocket* incoming = bob.comm->find_connection("Alice", nullptr, 0);
    ASSERT_NE(incoming, nullptr);
    incoming->set_reply_with(parser.find_reply_with());

    EXPECT_EQ(bob.comm->comm_sendmessage("reply", "Alice", nullptr, nullptr, nullptr, nullptr, nullptr,
                                         "answer", nullptr),
              nullptr);
    ASSERT_EQ(parser.parse_message(alice.next_message(loop, 1).c_str()), 1);
    EXPECT_STREQ(parser.find_in_reply_to(), "rw-7");
    EXPECT_STREQ(parser.find_content(), "( answer )");

    EXPECT_EQ(bob.comm->comm_sendmessage("reply", "Alice", nullptr, nullptr, nullptr, " ", nullptr, "again",
                                         nullptr),
              nullptr);
    ASSERT_EQ(parser.parse_message(alice.next_message(loop, 2).c_str()), 1);
    ASSERT_NE(parser.find_in_reply_to(), nullptr);
    EXPECT_STRNE(parser.find_in_reply_to(), "rw-7");

    // The internal form never borrows the connection's value.
    EXPECT_EQ(bob.comm->comm_sendmessage_internal("tell", "Alice", nullptr, nullptr, nullptr, nullptr,
                                                  nullptr, "internal", nullptr),
              nullptr);
    ASSERT_EQ(parser.parse_message(alice.next_message(loop, 3).c_str()), 1);
    EXPECT_EQ(parser.find_in_reply_to(), nullptr);
    // Every answer went back on the one connection Alice opened.
    EXPECT_EQ(bob.comm->get_server()->get_sockets()->get_nr_elements(), 1);
}

TEST_F(CommunicatorTest, TheSocketFormReturnsTheConnectionAndLogsTheText)
{
    Journal journal;
    CAgent alice("Alice", loop);
    CAgent bob("Bob", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    ASSERT_EQ(bob.comm->Create(), 1);
    alice.knows("Bob", bob.port());
    alice.comm->add_display(new CRecordingModule("any", 1, journal));

    CClientSocket* socket = alice.comm->comm_sendmessage_socket("tell", "Bob", nullptr, nullptr, nullptr,
                                                                nullptr, nullptr, "hello", nullptr);
    ASSERT_NE(socket, nullptr);
    EXPECT_EQ(socket, alice.comm->find_connection("Bob", nullptr, 0));
    EXPECT_EQ(bob.next_message(loop, 1),
              expected_head("tell", "Bob", "Alice", nullptr, nullptr, nullptr, nullptr) + " hello ))");
    ASSERT_EQ(journal.size(), 1u);
    EXPECT_EQ(journal[0], "any 2 " +
                              expected_head("tell", "Bob", "Alice", nullptr, nullptr, nullptr, nullptr) +
                              " hello ))");

    socket->set_reply_with("from-bob");
    CParser parser;
    ASSERT_NE(alice.comm->comm_sendmessage_socket("tell", "Bob", nullptr, nullptr, nullptr, "mine", nullptr,
                                                  "x", nullptr),
              nullptr);
    ASSERT_EQ(parser.parse_message(bob.next_message(loop, 2).c_str()), 1);
    EXPECT_STREQ(parser.find_in_reply_to(), "from-bob");
    ASSERT_NE(alice.comm->comm_sendmessage_socket_internal("tell", "Bob", nullptr, nullptr, nullptr, "mine",
                                                           nullptr, "x", nullptr),
              nullptr);
    ASSERT_EQ(parser.parse_message(bob.next_message(loop, 3).c_str()), 1);
    EXPECT_STREQ(parser.find_in_reply_to(), "mine");

    EXPECT_EQ(alice.comm->comm_sendmessage_socket("tell", "Carol", nullptr, nullptr, nullptr, nullptr,
                                                  nullptr, "x", nullptr),
              nullptr);
    EXPECT_TRUE(alice.logged("<CCommunicator> Error looking up [Carol] in network belief DB"));
}

TEST_F(CommunicatorTest, OnlyNamedOutgoingDisplaysSeeSentMessages)
{
    Journal journal;
    CListener bob;
    bob.listen();
    CAgent alice("Alice", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    alice.knows("Bob", bob.port);
    alice.comm->add_display(new CRecordingModule("display", 2, journal));
    alice.comm->add_display(new CRecordingModule("file", 1, journal));

    ASSERT_EQ(alice.comm->comm_sendmessage("tell", "Bob", nullptr, nullptr, nullptr, nullptr, nullptr, "x",
                                           nullptr),
              nullptr);
    const std::string text =
        expected_head("tell", "Bob", "Alice", nullptr, nullptr, nullptr, nullptr) + " x ))";
    EXPECT_EQ(journal, (Journal{"display 2 " + text}));

    journal.clear();
    alice.comm->comm_log_output("logged");
    EXPECT_EQ(journal, (Journal{"display 2 logged", "file 2 logged"}));
}

TEST_F(CommunicatorTest, AReceiverThatCannotBeLocatedIsNotSentToAndGivesNull)
{
    CAgent alice("Alice", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    auto* finder = new CRecordingLookup(&alice.db, 3);
    finder->enable(1);
    alice.comm->add_lookup_module(finder);

    EXPECT_EQ(alice.comm->comm_sendmessage("tell", "Nobody", nullptr, nullptr, nullptr, nullptr, nullptr, "x",
                                           nullptr),
              nullptr);
    EXPECT_STREQ(alice.comm->get_result(), " ");
    EXPECT_EQ(finder->lookups, 1);
    EXPECT_TRUE(alice.logged("<CCommunicator> Agent not known, sending out search request for "
                             "agent location: [Nobody]"));
    EXPECT_TRUE(alice.logged("<CCommunicator> Still not able to lookup agent"));
    EXPECT_EQ(alice.comm->get_server()->get_sockets()->get_nr_elements(), 0);

    // A record without an address is searched for once more, then given up.
    alice.table()->add_element(new CServiceInfo("Homeless"));
    char host[CCommunicator::HOST_BUFFER_SIZE] = "";
    unsigned port = 0;
    EXPECT_STREQ(alice.comm->comm_lookup("Homeless", host, &port), "sorry");
    EXPECT_EQ(finder->lookups, 2);
    EXPECT_TRUE(alice.logged("<CCommunicator> Could not obtain location for agent: [Homeless]"));

    // A record whose agent is gone is not used.
    alice.knows("Gone", 1234);
    static_cast<CServiceInfo*>(alice.table()->find_element("Gone"))->set_gone(1);
    EXPECT_STREQ(alice.comm->comm_lookup("Gone", host, &port), "sorry");
}

TEST_F(CommunicatorTest, LookupFillsTheCallersBufferOnlyWhenTheHostFits)
{
    CAgent alice("Alice", loop);
    alice.knows("Bob", 4321);
    char host[CCommunicator::HOST_BUFFER_SIZE] = "";
    unsigned port = 0;
    EXPECT_EQ(alice.comm->comm_lookup("Bob", host, &port), nullptr);
    EXPECT_STREQ(host, kLoopback);
    EXPECT_EQ(port, 4321u);
    EXPECT_TRUE(alice.logged("<CCommunicator> Obtained host [127.0.0.1] and port [4321] "
                             "information for agent: [Bob]"));

    char small[9] = "unused";
    EXPECT_STREQ(alice.comm->comm_lookup("Bob", small, &port, sizeof small), "sorry");
    EXPECT_STREQ(small, "unused");
    char exact[10] = "";
    EXPECT_EQ(alice.comm->comm_lookup("Bob", exact, &port, sizeof exact), nullptr);
    EXPECT_STREQ(exact, kLoopback);
    EXPECT_STREQ(alice.comm->comm_lookup(nullptr, host, &port), "sorry");
    EXPECT_STREQ(alice.comm->comm_lookup("Bob", host, nullptr), "sorry");
}

TEST_F(CommunicatorTest, ARefusedConnectionReturnsTheErrorLine)
{
    CListener closed; // bound but never listening: connections are refused
    CAgent alice("Alice", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    alice.knows("Carol", closed.port);

    const char* outcome = alice.comm->comm_sendmessage("tell", "Carol", nullptr, nullptr, nullptr, nullptr,
                                                       nullptr, "x", nullptr);
    ASSERT_NE(outcome, nullptr);
    EXPECT_EQ(outcome, alice.comm->get_result());
    EXPECT_EQ(std::string(outcome), std::string("<CCommunicator> Error [") +
                                        CCommunicator::ErrorToAsc(WSAECONNREFUSED) +
                                        "] sending (internal) request to Agent [Carol] at [127.0.0.1][" +
                                        std::to_string(closed.port) + "]");
    EXPECT_EQ(std::string(outcome).find("WSAECONNREFUSED"), 23u);
    EXPECT_EQ(alice.comm->get_last_error(), WSAECONNREFUSED);
    EXPECT_EQ(alice.comm->get_server()->get_sockets()->get_nr_elements(), 0);
}

// A peer that restarted on another port: the refused send asks the lookup
// modules once more and goes to the new address; with no other address the
// refusal stands after one lookup.
TEST_F(CommunicatorTest, ARefusedSendLooksTheAgentUpAgainAndTriesTheNewAddressOnce)
{
    CListener closed;
    CAgent bob("Bob", loop);
    ASSERT_EQ(bob.comm->Create(), 1);
    CAgent alice("Alice", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    CRecordingLookup* lookup = FindsAt(alice, bob);
    alice.knows("Bob", closed.port);

    EXPECT_EQ(alice.comm->comm_sendmessage("tell", "Bob", nullptr, nullptr, nullptr, nullptr, nullptr,
                                           "again", nullptr),
              nullptr);
    EXPECT_EQ(bob.next_message(loop, 1),
              expected_head("tell", "Bob", "Alice", nullptr, nullptr, nullptr, nullptr) + " again ))");
    EXPECT_EQ(lookup->lookups, 1);
    EXPECT_TRUE(alice.logged("<CCommunicator> Agent [Bob] is now at [127.0.0.1][" +
                             std::to_string(bob.port()) + "], sending once more"));

    CAgent carol("Carol", loop);
    ASSERT_EQ(carol.comm->Create(), 1);
    auto* nothing = new CRecordingLookup(&carol.db, CLookupModule::LOOKUP_NAME_SERVER);
    carol.comm->add_lookup_module(nothing);
    carol.comm->start_lookup_modules();
    carol.knows("Dave", closed.port);
    EXPECT_NE(carol.comm->comm_sendmessage("tell", "Dave", nullptr, nullptr, nullptr, nullptr, nullptr, "x",
                                           nullptr),
              nullptr);
    EXPECT_EQ(nothing->lookups, 1);
    EXPECT_TRUE(carol.logged("<CCommunicator> No other address is known for agent [Dave]"));
}

// A peer whose address never accepts: the send returns before the connect
// ends, so the agent answers others meanwhile; the messages given meanwhile
// wait in the one connection; the time-out then fails them as a send fails,
// and the address is left alone for a while.
TEST_F(CommunicatorTest, AConnectThatHangsHoldsNothingUpAndItsTimeOutFailsTheSend)
{
    testsupport::CBlackHole full;
    CAgent alice("Alice", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    alice.comm->set_connect_timeout(200);
    alice.knows("Slow", full.Port());
    const std::string address = "[127.0.0.1][" + std::to_string(full.Port()) + "]";
    const std::string timedOut =
        "<CCommunicator> Connecting to " + address + " timed out; not trying it again for 30 seconds";
    for (const char* text : {"one", "two"})
        EXPECT_EQ(alice.comm->comm_sendmessage("tell", "Slow", nullptr, nullptr, nullptr, nullptr, nullptr,
                                               text, nullptr),
                  nullptr);
    EXPECT_FALSE(alice.logged(timedOut));
    EXPECT_EQ(alice.comm->get_server()->get_sockets()->get_nr_elements(), 1);
    ASSERT_TRUE(RunUntil(loop, [&] { return alice.logged(timedOut); }));
    EXPECT_TRUE(alice.logged(std::string("<CCommunicator> Error [") +
                             CCommunicator::ErrorToAsc(WSAETIMEDOUT) +
                             "] sending (internal) request to Agent [Slow] at " + address));
    for (int i = 0; i < 2; ++i)
        EXPECT_NE(alice.comm->comm_sendmessage("tell", "Slow", nullptr, nullptr, nullptr, nullptr, nullptr,
                                               "x", nullptr),
                  nullptr);
    EXPECT_EQ(alice.comm->get_last_error(), WSAETIMEDOUT);
    EXPECT_EQ(alice.log.count(timedOut), 1);
    EXPECT_EQ(
        alice.log.count("<CCommunicator> " + address + " did not answer lately, not connecting to it yet"),
        2);
}

TEST_F(CommunicatorTest, ASendOnAResetConnectionIsRetriedOnANewOne)
{
    CListener bob;
    bob.listen();
    CAgent alice("Alice", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    alice.knows("Bob", bob.port);

    ASSERT_EQ(alice.comm->comm_sendmessage("tell", "Bob", nullptr, nullptr, nullptr, nullptr, nullptr,
                                           "first", nullptr),
              nullptr);
    const int first = bob.accept_one();
    ASSERT_GE(first, 0);
    EXPECT_NE(CListener::read_message(first).find(" first ))"), std::string::npos);

    CClientSocket* open = alice.comm->find_connection("Bob", nullptr, 0);
    ASSERT_NE(open, nullptr);
    CListener::reset(first);
    ::close(first);
    bob.accepted.clear();
    // Wait for the reset to reach Alice's side without letting the loop see it.
    pollfd item{open->GetSocketHandle(), POLLIN, 0};
    ASSERT_EQ(::poll(&item, 1, 5000), 1);

    EXPECT_EQ(alice.comm->comm_sendmessage("tell", "Bob", nullptr, nullptr, nullptr, nullptr, nullptr,
                                           "second", nullptr),
              nullptr);
    const int second = bob.accept_one();
    ASSERT_GE(second, 0);
    EXPECT_NE(CListener::read_message(second).find(" second ))"), std::string::npos);
    EXPECT_EQ(open->get_dirty(), 1);
    EXPECT_EQ(alice.comm->get_server()->get_sockets()->get_nr_elements(), 2);
    CClientSocket* fresh = alice.comm->find_connection("Bob", nullptr, 0);
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh, open);
}

// A peer that restarted elsewhere closed its old connection before the loop
// saw it: the write would succeed once and be lost, so the close is found
// first, and the old address refused, the agent looked up again.
TEST_F(CommunicatorTest, AConnectionItsPeerClosedIsNotReusedAndTheAgentIsLookedUpAgain)
{
    auto old = std::make_unique<CListener>();
    old->listen();
    CAgent bob("Bob", loop);
    ASSERT_EQ(bob.comm->Create(), 1);
    CAgent alice("Alice", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    CRecordingLookup* lookup = FindsAt(alice, bob);
    alice.knows("Bob", old->port);

    ASSERT_EQ(alice.comm->comm_sendmessage("tell", "Bob", nullptr, nullptr, nullptr, nullptr, nullptr,
                                           "first", nullptr),
              nullptr);
    const int first = old->accept_one();
    ASSERT_GE(first, 0);
    EXPECT_NE(CListener::read_message(first).find(" first ))"), std::string::npos);
    CClientSocket* open = alice.comm->find_connection("Bob", nullptr, 0);
    ASSERT_NE(open, nullptr);
    old.reset();
    // The close reaches Alice's side; her loop does not run to see it.
    pollfd item{open->GetSocketHandle(), POLLIN, 0};
    ASSERT_EQ(::poll(&item, 1, 5000), 1);

    EXPECT_EQ(alice.comm->comm_sendmessage("tell", "Bob", nullptr, nullptr, nullptr, nullptr, nullptr,
                                           "second", nullptr),
              nullptr);
    EXPECT_EQ(bob.next_message(loop, 1),
              expected_head("tell", "Bob", "Alice", nullptr, nullptr, nullptr, nullptr) + " second ))");
    EXPECT_EQ(lookup->lookups, 1);
    EXPECT_TRUE(alice.logged("<CCommunicator> [Bob] closed its connection, connecting anew"));
}

TEST_F(CommunicatorTest, RefusesPiecesThatHoldTheEndByteAndSendsNothing)
{
    CListener bob;
    bob.listen();
    CAgent alice("Alice", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    alice.knows("Bob", bob.port);

    const char* outcome = alice.comm->comm_sendmessage("tell", "Bob", nullptr, nullptr, nullptr, nullptr,
                                                       nullptr, "cut\x04here", nullptr);
    ASSERT_NE(outcome, nullptr);
    EXPECT_STREQ(outcome, "<CCommunicator> Error formatting ACL string !!");
    EXPECT_STREQ(alice.comm->comm_sendmessage("not an atom", "Bob", nullptr, nullptr, nullptr, nullptr,
                                              nullptr, "x", nullptr),
                 "<CCommunicator> Error formatting ACL string !!");
    EXPECT_EQ(alice.comm->get_server()->get_sockets()->get_nr_elements(), 0);
}

TEST_F(CommunicatorTest, SendingWithoutAServerFails)
{
    CAgent alice("Alice", loop);
    alice.knows("Bob", 4321);
    EXPECT_EQ(alice.comm->comm_senddata("Bob", kLoopback, 4321, "x"), 0);
    EXPECT_STREQ(alice.comm->comm_sendmessage("tell", "Bob", nullptr, nullptr, nullptr, nullptr, nullptr, "x",
                                              nullptr),
                 "<CCommunicator> Server socket is NULL, you can't send messages to agents");
    EXPECT_EQ(alice.comm->comm_senddata_socket("Bob", kLoopback, 4321, "x"), nullptr);
}

TEST_F(CommunicatorTest, UnnamedDataIsSentOnAConnectionThatIsThenClosed)
{
    CListener peer;
    peer.listen();
    CAgent alice("Alice", loop);
    ASSERT_EQ(alice.comm->Create(), 1);
    char text[] = "(tell :content (x))\x04";
    EXPECT_EQ(alice.comm->comm_senddata(nullptr, kLoopback, peer.port, text),
              static_cast<int>(sizeof text - 1));
    const int connection = peer.accept_one();
    ASSERT_GE(connection, 0);
    EXPECT_EQ(CListener::read_message(connection), text);
    pollfd item{connection, POLLIN, 0};
    ASSERT_EQ(::poll(&item, 1, 5000), 1);
    char rest = 0;
    EXPECT_EQ(::read(connection, &rest, 1), 0);
    EXPECT_EQ(alice.comm->get_server()->get_sockets()->get_nr_elements(), 0);

    alice.knows("Peer", peer.port);
    std::unique_ptr<CClientSocket> direct = alice.comm->get_socket("Peer");
    ASSERT_NE(direct, nullptr);
    EXPECT_STREQ(direct->get_agentname(), "Peer");
    EXPECT_EQ(alice.comm->get_server()->get_sockets()->get_nr_elements(), 0);
    EXPECT_EQ(alice.comm->get_socket("Nobody"), nullptr);
    EXPECT_TRUE(alice.logged("<CCommunicator> Error looking up [Nobody] with ANS"));
}

TEST_F(CommunicatorTest, SendsByNameThroughTheNameServer)
{
    CAnsdProcess ansd(scratch_dir());
    ASSERT_TRUE(ansd.Start());
    CAgent alice("Alice", loop);
    CAgent bob("Bob", loop);
    for (CAgent* agent : {&alice, &bob}) {
        ASSERT_EQ(agent->comm->Create(), 1);
        agent->comm->comm_setansinfo(kLoopback, static_cast<int>(ansd.port));
        agent->comm->add_lookup_module(new CANSClient(&agent->db, &agent->window));
        agent->comm->start_lookup_modules();
        ASSERT_NE(agent->comm->retrieve_ans_object(), nullptr);
        EXPECT_EQ(agent->comm->comm_is_ans_enabled(), 1);
    }

    EXPECT_EQ(alice.comm->comm_sendmessage("tell", "Bob", nullptr, nullptr, nullptr, nullptr, nullptr,
                                           "by name", nullptr),
              nullptr);
    EXPECT_EQ(bob.next_message(loop, 1),
              expected_head("tell", "Bob", "Alice", nullptr, nullptr, nullptr, nullptr) + " by name ))");
    auto* record = dynamic_cast<CServiceInfo*>(alice.table()->find_element("Bob"));
    ASSERT_NE(record, nullptr);
    ASSERT_NE(record->get_location(), nullptr);
    EXPECT_EQ(static_cast<unsigned>(record->get_location()->get_port()), bob.port());

    alice.comm->set_registered(1);
    EXPECT_EQ(alice.comm->comm_listall(), 1);
    EXPECT_NE(alice.comm->comm_listall_getfirst(), nullptr);
}

// --- upkeep ----------------------------------------------------------------------------------

TEST_F(CommunicatorTest, EveryRecordCountsDownOncePerTick)
{
    CAgent alice("Alice", loop);
    alice.knows("Slow", 1, 5);
    alice.knows("Last", 1, 1);
    alice.knows("Bob", 1, 3);
    alice.knows("Zero", 1, 0);
    alice.knows("Forever", 1);
    auto expiration = [&](const char* name) {
        auto* record = dynamic_cast<CServiceInfo*>(alice.table()->find_element(name));
        return record ? record->get_expiration() : -100;
    };

    alice.comm->check_integrity();
    EXPECT_EQ(expiration("Slow"), 4);
    EXPECT_EQ(expiration("Last"), -100);
    EXPECT_EQ(expiration("Zero"), -100);
    EXPECT_EQ(expiration("Bob"), 2);
    EXPECT_EQ(alice.db.get_modified(), 1);
    alice.db.set_modified(0);

    alice.comm->check_integrity();
    EXPECT_EQ(expiration("Bob"), 1);
    EXPECT_EQ(alice.db.get_modified(), 0);
    alice.comm->check_integrity();
    EXPECT_EQ(expiration("Bob"), -100);
    EXPECT_EQ(expiration("Forever"), -1);
    EXPECT_EQ(alice.db.get_modified(), 1);
    EXPECT_EQ(alice.comm->get_alive_counter(), 3);
}

TEST_F(CommunicatorTest, The601stAliveRunsTheEnabledLookupModules)
{
    CAgent alice("Alice", loop);
    auto* enabled = new CRecordingLookup(&alice.db, 3);
    auto* disabled = new CRecordingLookup(&alice.db, 3);
    enabled->enable(1);
    alice.comm->add_lookup_module(enabled);
    alice.comm->add_lookup_module(disabled);

    for (int i = 0; i < CCommunicator::ALIVE_PERIOD; ++i)
        alice.comm->alive();
    EXPECT_EQ(enabled->alive_calls, 0);
    alice.comm->alive();
    EXPECT_EQ(enabled->alive_calls, 1);
    EXPECT_EQ(disabled->alive_calls, 0);
    EXPECT_EQ(alice.comm->get_alive_counter(), 0);
    EXPECT_TRUE(alice.logged("<CCommunicator> Activating 'alive' method in lookup modules..."));
    EXPECT_TRUE(alice.logged("<CCommunicator> Module is disabled, skipping"));

    for (int i = 0; i < CCommunicator::ALIVE_PERIOD; ++i)
        alice.comm->alive();
    EXPECT_EQ(enabled->alive_calls, 1);
    alice.comm->alive();
    EXPECT_EQ(enabled->alive_calls, 2);
}

TEST_F(CommunicatorTest, NameServiceGoesToTheEnabledModulesInOrder)
{
    CAgent alice("Alice", loop);
    auto* first = new CRecordingLookup(&alice.db, 3, "tcp://127.0.0.1:5000");
    first->enable(1);
    alice.comm->set_service_type(4);
    alice.comm->add_lookup_module(first);
    alice.comm->add_lookup_module(nullptr);
    EXPECT_EQ(first->get_service_type(), 4);
    EXPECT_EQ(alice.comm->get_lookup_modules()->get_nr_elements(), 1);

    EXPECT_EQ(alice.comm->comm_register_agent("Alice"), 1);
    EXPECT_EQ(alice.comm->comm_register_agent(nullptr), 0);
    EXPECT_EQ(first->registered, (std::vector<std::string>{"Alice"}));
    EXPECT_EQ(alice.comm->comm_activate_lookup("Bob"), 1);

    alice.comm->add_requirement("Bob");
    EXPECT_EQ(alice.comm->check_requirements(), 1);
    alice.comm->add_requirement("Carol");
    EXPECT_EQ(alice.comm->check_requirements(), 0);

    EXPECT_EQ(alice.comm->comm_listall(), 0);
    EXPECT_TRUE(alice.logged("<CCommunicator> Pointer to ANS module is invalid"));
    alice.comm->stop_lookup_modules();
    EXPECT_EQ(first->is_enabled(), 0);
}

TEST_F(CommunicatorTest, ModulesAreStartedStoppedAndRemoved)
{
    Journal journal;
    {
        CAgent alice("Alice", loop);
        auto* display = new CRecordingModule("display", 2, journal);
        alice.comm->add_display(display);
        alice.comm->add_display(new CRecordingModule("file", 1, journal));
        alice.comm->start_modules();
        EXPECT_TRUE(alice.logged("<CCommunicator> Starting event module: [display]"));
        EXPECT_TRUE(alice.logged("<CCommunicator> Module: [file] now running"));
        alice.comm->shutdown_modules();
        EXPECT_TRUE(alice.logged("<CCommunicator> Shutting down event module: [display]"));
        EXPECT_TRUE(alice.logged("<CCommunicator> Module: [file] stopped"));
        EXPECT_EQ(journal, (Journal{"display state 3", "file state 3", "display state 4", "file state 4"}));

        journal.clear();
        display->set_registered(1);
        alice.comm->remove_display(display);
        EXPECT_EQ(journal, (Journal{"display state 4", "display destroyed"}));
        EXPECT_EQ(alice.comm->get_modules()->get_nr_elements(), 1);
        journal.clear();
    }
    EXPECT_EQ(journal, (Journal{"file destroyed"}));
}

TEST_F(CommunicatorTest, ShutsDownInOrder)
{
    CLogFile log;
    {
        CAgent alice("Alice", loop);
        alice.comm->set_file(log.logger.get_file_pointer());
        ASSERT_EQ(alice.comm->Create(), 1);
        auto* module = new CRecordingLookup(&alice.db, 3);
        module->enable(1);
        alice.comm->add_lookup_module(module);
    }
    std::vector<std::string> shutdown;
    bool down = false;
    for (const std::string& line : log.lines()) {
        down = down || line == "<CCommunicator> Shutting down";
        if (down && line.rfind("<CCommunicator> ", 0) == 0)
            shutdown.push_back(line);
    }
    EXPECT_EQ(shutdown, (std::vector<std::string>{
                            "<CCommunicator> Shutting down",
                            "<CCommunicator> Deleting event modules...",
                            "<CCommunicator> Stopping lookup modules ...",
                            "<CCommunicator> Removing lookup modules ...",
                            "<CCommunicator> Stopping server ...",
                            "<CCommunicator> Cleaning up pointers ..",
                        }));
}

// --- dialogs and obsolete operations ---------------------------------------------------

namespace {

class CRecordingDialogs : public CCommDialogs {
public:
    void ShowNameServerDialog(CCommunicator&) override { shown.push_back("name server"); }
    void ShowCommunicationInfo(CCommunicator&) override { shown.push_back("information"); }
    std::vector<std::string> shown;
};

} // namespace

TEST_F(CommunicatorTest, DialogsOpenOnlyWithANameServerClient)
{
    CRecordingDialogs dialogs;
    SetCommDialogs(&dialogs);
    CAgent alice("Alice", loop);
    alice.comm->set_user_hooks(CCommDialogs::StandardHooks());
    alice.comm->comm_ans();
    alice.comm->comm_info();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(alice.log.count("<CCommunicator> Pointer to ANS module is invalid"), 2);

    alice.comm->add_lookup_module(new CANSClient(&alice.db, &alice.window));
    alice.comm->comm_ans();
    alice.comm->comm_info();
    EXPECT_EQ(dialogs.shown, (std::vector<std::string>{"name server", "information"}));
    SetCommDialogs(nullptr);
}

TEST_F(CommunicatorTest, ObsoleteOperationsOnlyReport)
{
    CAgent alice("Alice", loop);
    alice.comm->set_user_hooks(CCommDialogs::StandardHooks());
    alice.comm->comm_disable_ans();
    alice.comm->comm_enable_ans();
    alice.comm->comm_connections();
    alice.comm->comm_console();
    alice.comm->comm_viewmessage();
    EXPECT_EQ(alice.comm->create_connection("Bob", kLoopback, 1), nullptr);
    EXPECT_TRUE(alice.logged("<CCommunicator> Deprecated method, this should not be called"));
    std::vector<std::string> texts;
    for (const auto& box : boxes.Boxes())
        texts.push_back(box.text);
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "<CCommunicator> comm_disable_ans () is a deprecated method, please use "
                         "<CBasicAgent> set_lookup_config ()",
                         "<CCommunicator> comm_enable_ans () is a deprecated method, please use "
                         "<CBasicAgent> set_lookup_config ()",
                         "Deprecated function", "Deprecated function", "Deprecated function"}));
    EXPECT_EQ(alice.comm->process_discovery(1), CCommunicator::DISCOVERY_ERROR);
    EXPECT_TRUE(alice.logged("<CCommunicator> Discovery module is NULL, unable to process "
                             "message"));
}

TEST_F(CommunicatorTest, ErrorTextsBeginWithTheCodesName)
{
    const std::pair<int, const char*> named[] = {
        {WSAEACCES, "WSAEACCES"},
        {WSAEFAULT, "WSAEFAULT"},
        {WSAEWOULDBLOCK, "WSAEWOULDBLOCK"},
        {WSAEINPROGRESS, "WSAEINPROGRESS"},
        {WSAENOTSOCK, "WSAENOTSOCK"},
        {WSAEDESTADDRREQ, "WSAEDESTADDRREQ"},
        {WSAEMSGSIZE, "WSAEMSGSIZE"},
        {WSAEOPNOTSUPP, "WSAEOPNOTSUPP"},
        {WSAEAFNOSUPPORT, "WSAEAFNOSUPPORT"},
        {WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL"},
        {WSAENETDOWN, "WSAENETDOWN"},
        {WSAENETUNREACH, "WSAENETUNREACH"},
        {WSAENETRESET, "WSAENETRESET"},
        {WSAECONNABORTED, "WSAECONNABORTED"},
        {WSAECONNRESET, "WSAECONNRESET"},
        {WSAENOBUFS, "WSAENOBUFS"},
        {WSAENOTCONN, "WSAENOTCONN"},
        {WSAESHUTDOWN, "WSAESHUTDOWN"},
        {WSANOTINITIALISED, "WSANOTINITIALISED"},
        {WSAECONNREFUSED, "WSAECONNREFUSED"},
        {WSAETIMEDOUT, "WSAETIMEDOUT"},
    };
    for (const auto& [code, name] : named)
        EXPECT_EQ(std::string(CCommunicator::ErrorToAsc(code)).rfind(std::string(name) + ": ", 0), 0u)
            << name;
    for (int code : {0, WSAEINVAL, WSAEISCONN, -1})
        EXPECT_STREQ(CCommunicator::ErrorToAsc(code),
                     "<CCommunicator> The network returned an unknown error");
}
