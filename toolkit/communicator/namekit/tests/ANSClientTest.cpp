#include <namekit/ANSClient.h>

#include "FakeAnsServer.h"

#include <ansd/testing/AnsdProcess.h>
#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <namekit/AgentInfo.h>
#include <notekit/ServiceInfo.h>
#include <platform/SocketError.h>

#include <platform/KeyPair.h>
#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Names = std::vector<std::string>;
using Server = FakeAnsServer;

const char* const kSelf = "alice_x.org-CalendarAgent";
const std::string kRegisterSelf = "register alice_x.org-CalendarAgent tcp://127.0.0.1:5000\r\n";

// A socket bound to a loopback port, listening or not. A port that is bound
// but not listening refuses connections, and holding it keeps any other
// program from taking it meanwhile.
class LoopbackPort {
public:
    explicit LoopbackPort(bool listening)
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return;
        if (listening && ::listen(fd, 4) != 0)
            return;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
    }
    ~LoopbackPort() { ::close(fd); }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;

    // True once a client has connected to the listening socket.
    bool connection_waiting() const
    {
        pollfd item{fd, POLLIN, 0};
        return ::poll(&item, 1, 0) > 0;
    }

    unsigned port = 0;

private:
    int fd = -1;
};

std::string read_file(const std::string& path)
{
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

class ANSClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* home = std::getenv("ORVANTE"))
            saved_home = home;
        ::unsetenv("ORVANTE");
        std::string pattern = ::testing::TempDir() + "namekit-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        db.add_element(new CStringBelief("name", kSelf));
        db.add_element(new CIntBelief("port", 5000));
        db.add_element(new CStringBelief("ans", "127.0.0.1"));
        db.add_element(new CIntBelief("ansport", CANSClient::DEFAULT_ANS_PORT));
        db.add_element(new CStringBelief("hostname", "127.0.0.1"));
        db.add_element(new CListBelief("lookup", new CLList()));
    }

    void TearDown() override
    {
        client.reset();
        if (saved_home) {
            ::setenv("ORVANTE", saved_home->c_str(), 1);
        } else {
            ::unsetenv("ORVANTE");
        }
    }

    // A client of the name server at `port`, logging into the test's
    // directory, with a time-out short enough for a failing test to end soon.
    CANSClient& make_client(unsigned port)
    {
        db.find_int_belief("ansport")->set_value(static_cast<int>(port));
        client = std::make_unique<CANSClient>(&db, nullptr);
        client->set_file((dir + "/ans.log").c_str());
        client->set_timeout(3000);
        return *client;
    }

    bool logged(const std::string& line)
    {
        return read_file(dir + "/ans.log").find(line) != std::string::npos;
    }
    std::string error() { return client->get_last_error(); }
    CLList* table() { return db.find_list_belief("lookup")->get_value(); }
    CServiceInfo* record(const char* name)
    {
        return dynamic_cast<CServiceInfo*>(table()->find_element(name));
    }
    bool remembered(const char* name) { return client->get_names()->find_element(name) != nullptr; }

    Names table_names()
    {
        Names names;
        for (CListElement* e = table()->get_element(0); e; e = e->get_next())
            names.emplace_back(e->get_name());
        return names;
    }

    CServiceInfo* add_record(const char* name, const char* url)
    {
        auto* info = new CServiceInfo(name);
        if (url)
            info->set_location(new CURL(url));
        table()->add_element(info);
        return info;
    }

    void write_server_file(const std::string& text)
    {
        ::mkdir((dir + "/system").c_str(), 0700);
        ::mkdir((dir + "/system/ans").c_str(), 0700);
        std::ofstream(dir + "/system/ans/ANSListFile.txt") << text;
        ::setenv("ORVANTE", dir.c_str(), 1);
    }

    CBeliefDB db;
    std::unique_ptr<CANSClient> client;
    std::string dir;
    std::optional<std::string> saved_home;
};

std::string servers_of(CANSClient& ans)
{
    std::string out;
    for (CListElement* e = ans.get_ans_servers()->get_element(0); e; e = e->get_next()) {
        auto* url = dynamic_cast<CURL*>(e);
        out += std::string(url->get_proto()) + "|" + url->get_host() + "|" + std::to_string(url->get_port()) +
               ";";
    }
    return out;
}

} // namespace

// --- construction and the server list --------------------------------------

TEST_F(ANSClientTest, ServerListFromTheBeliefsThenTheListFile)
{
    CANSClient& ans = make_client(6001);
    EXPECT_EQ(ans.get_lookup_type(), 2);
    EXPECT_EQ(ans.is_enabled(), 0);
    EXPECT_EQ(servers_of(ans), "tcp|127.0.0.1|6001;");
    EXPECT_EQ(CANSClient(&db, nullptr).get_timeout(), CANSClient::DEFAULT_TIMEOUT_MS);

    write_server_file("tcp://10.0.0.5:6678\r\n\n   tcp://ans.example.org  \nnot an address\ntcp://:99\n");
    db.delete_element_by_name("ansport");
    CANSClient default_port(&db, nullptr);
    EXPECT_EQ(servers_of(default_port), "tcp|127.0.0.1|6677;tcp|10.0.0.5|6678;tcp|ans.example.org|6677;");
    EXPECT_STREQ(default_port.get_current_ans()->get_host(), "127.0.0.1");

    db.find_string_belief("ans")->set_value("-unknown-");
    CANSClient placeholder(&db, nullptr);
    EXPECT_STREQ(placeholder.get_current_ans()->get_host(), "10.0.0.5");
    ::unsetenv("ORVANTE");
    EXPECT_EQ(CANSClient(&db, nullptr).get_current_ans(), nullptr);
}

TEST_F(ANSClientTest, WithoutBeliefDatabaseEveryOperationFailsCleanly)
{
    CANSClient ans(nullptr, nullptr);
    EXPECT_EQ(ans.get_current_ans(), nullptr);
    EXPECT_EQ(ans.register_agent("bob") + ans.ans_list_all() + ans.ans_unregister() + ans.alive(), 0);
    EXPECT_EQ(ans.lookup_agent("bob"), 0);
    EXPECT_STREQ(ans.get_last_error(), "<CANSClient> No lookup table defined, aborting lookup");
    EXPECT_EQ(ans.listall_getfirst(), nullptr);
    EXPECT_EQ(ans.LookupAgent("bob"), nullptr);
    EXPECT_EQ(ans.enable(1), 0);
}

TEST_F(ANSClientTest, FindServerTakesTheFirstThatAcceptsAConnection)
{
    LoopbackPort refused(false), listening(true);
    write_server_file("tcp://127.0.0.1:" + std::to_string(refused.port) +
                      "\ntcp://127.0.0.1:" + std::to_string(listening.port) + "\n");
    db.delete_element_by_name("ans");
    CANSClient& ans = make_client(6001);
    EXPECT_EQ(ans.get_current_ans()->get_port(), static_cast<int>(refused.port));
    EXPECT_EQ(ans.ans_find_server(), 1);
    EXPECT_EQ(ans.get_current_ans()->get_port(), static_cast<int>(listening.port));
    EXPECT_TRUE(listening.connection_waiting());
    EXPECT_TRUE(logged("<CANSClient> Error connecting to ANS [127.0.0.1," + std::to_string(refused.port) +
                       "], [" + WsaErrorExplanation(WSAECONNREFUSED) + "]"));

    ::unsetenv("ORVANTE");
    make_client(6001);
    EXPECT_EQ(client->ans_find_server(), 0);
    EXPECT_TRUE(logged("<CANSClient> Unable to find any ANS servers"));
}

// --- requests and reply classes ---------------------------------------------

TEST_F(ANSClientTest, RequestsGoOutInTheirExactTexts)
{
    Server server({Server::reply("success"), Server::reply("success"), Server::reply("tcp://127.0.0.1:6001"),
                   Server::reply("sorry: no key"), Server::reply("bob"), Server::reply("bob"),
                   Server::reply("success"), Server::reply("success"), Server::reply("success")});
    CANSClient& ans = make_client(server.port());
    add_record("zed", nullptr);
    EXPECT_EQ(ans.ans_register(), 1);
    EXPECT_EQ(ans.ans_register_alias("alias-1"), 1);
    EXPECT_EQ(ans.lookup_agent("bob"), 1);
    EXPECT_EQ(ans.ans_list_all(), 1);
    EXPECT_EQ(ans.ans_list_all("b*"), 1);
    EXPECT_EQ(ans.UnRegisterAgent("bob"), 1);
    EXPECT_EQ(ans.ans_unregister(), 1);
    EXPECT_EQ(server.requests(),
              (Names{kRegisterSelf, "register alias-1 tcp://127.0.0.1:5000\r\n", "lookup bob\n", "key bob\n",
                     "list all \n", "list b* \n", "unregister bob\n",
                     "unregister alice_x.org-CalendarAgent\r\n", "unregister alias-1\r\n"}));
    EXPECT_EQ(ans.get_names()->get_nr_elements(), 0);
    EXPECT_TRUE(logged("ANS client successfully send: [lookup bob]"));
    EXPECT_TRUE(logged("<CANSClient> ans_request ()"));
}

TEST(ANSClientClassify, WordsInSearchOrderAndListNull)
{
    struct Case {
        const char* reply;
        int kind;
        int expected;
    };
    const Case cases[] = {
        {"error: but success", CANSClient::REQUEST_REGISTER, CANSClient::REPLY_ERROR},
        {"success, no error", CANSClient::REQUEST_REGISTER, CANSClient::REPLY_ERROR},
        {"sorry to fail", CANSClient::REQUEST_LOOKUP, CANSClient::REPLY_FAIL},
        {"sorry, error", CANSClient::REQUEST_UNREGISTER, CANSClient::REPLY_SORRY},
        {"success", CANSClient::REQUEST_UNREGISTER, CANSClient::REPLY_SUCCESS},
        {"tcp://10.0.0.5:6678", CANSClient::REQUEST_LOOKUP, CANSClient::REPLY_SUCCESS},
        {"Failed", CANSClient::REQUEST_REGISTER, CANSClient::REPLY_SUCCESS},
        {"null", CANSClient::REQUEST_LIST, CANSClient::REPLY_ERROR},
        {"nullify", CANSClient::REQUEST_LIST, CANSClient::REPLY_ERROR},
        {"alice null", CANSClient::REQUEST_LIST, CANSClient::REPLY_SUCCESS},
        {"error", CANSClient::REQUEST_LIST, CANSClient::REPLY_SUCCESS},
        {nullptr, CANSClient::REQUEST_LIST, CANSClient::REPLY_FAIL},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CANSClient::classify_reply(c.reply, c.kind), c.expected) << (c.reply ? c.reply : "(null)");
    }
}

TEST_F(ANSClientTest, RegisterFailsOnErrorReplyOrMissingBeliefs)
{
    Server server({Server::reply("error in request, success unlikely")});
    CANSClient& ans = make_client(server.port());
    EXPECT_EQ(ans.register_agent("bob"), 0);
    EXPECT_EQ(error(), "error in request, success unlikely");
    // Remembered all the same, so that the periodic refresh tries again.
    EXPECT_TRUE(remembered("bob"));
    EXPECT_EQ(server.requests().size(), 1u);

    EXPECT_EQ(ans.register_agent(nullptr), 0);
    db.delete_element_by_name("port");
    EXPECT_EQ(ans.register_agent("carol"), 0);
    db.add_element(new CIntBelief("port", 5000));
    db.delete_element_by_name("hostname");
    EXPECT_EQ(ans.register_agent("carol"), 0);
    EXPECT_EQ(error(), "<CANSClient> No hostname or port field found, aborting registration");
    EXPECT_FALSE(remembered("carol"));
}

TEST_F(ANSClientTest, PlaceholderServerIsNeverContacted)
{
    CANSClient& ans = make_client(CANSClient::DEFAULT_ANS_PORT);
    db.find_string_belief("ans")->set_value("-unknown-");
    EXPECT_EQ(ans.register_agent("bob"), 0);
    EXPECT_EQ(error(), "<CANSClient> No ANS server configured yet, request not sent");
}

// --- listing ----------------------------------------------------------------

TEST_F(ANSClientTest, ListAddsNamesAndNullLeavesTheTable)
{
    Server server(
        {Server::reply("null"), Server::reply("alice,bob carol"), Server::reply(" dave\r\n,,erin  \n")});
    CANSClient& ans = make_client(server.port());
    add_record("bob", "tcp://127.0.0.1:7000");
    db.set_modified(0);
    EXPECT_EQ(ans.ans_list_all(), 0);
    EXPECT_EQ(error(), "null");
    EXPECT_EQ(table_names(), (Names{"bob"}));
    EXPECT_EQ(db.get_modified(), 0);

    EXPECT_EQ(ans.listall_agents(), 1);
    EXPECT_EQ(table_names(), (Names{"bob", "alice", "carol"}));
    EXPECT_EQ(record("alice")->get_type(), 1);
    EXPECT_EQ(record("alice")->get_location(), nullptr);
    EXPECT_EQ(record("bob")->get_location()->get_port(), 7000);
    EXPECT_EQ(db.get_modified(), 1);
    EXPECT_EQ(ans.ans_list_all(), 1);
    EXPECT_EQ(table_names(), (Names{"bob", "alice", "carol", "dave", "erin"}));
}

TEST_F(ANSClientTest, ListWithPatternReplacesTheTableOnlyOnAnswer)
{
    Server server({Server::reply("bob,bert"), Server::close_after_request()});
    CANSClient& ans = make_client(server.port());
    add_record("zed", nullptr);
    EXPECT_EQ(ans.ans_list_all("b*"), 1);
    EXPECT_EQ(table_names(), (Names{"bob", "bert"}));
    EXPECT_EQ(ans.ans_list_all("z*"), 0);
    EXPECT_EQ(ans.ans_list_all(nullptr), 0);
    EXPECT_EQ(ans.ans_list_all("a b"), 0);
    EXPECT_EQ(table_names(), (Names{"bob", "bert"}));
    EXPECT_EQ(server.requests(), (Names{"list b* \n", "list z* \n"}));
}

TEST_F(ANSClientTest, ListAllAgentsCopiesTheNamesAndTheWalkSkipsUnnamed)
{
    Server server({Server::reply("bob,carol"), Server::reply("dave"), Server::reply("null")});
    CANSClient& ans = make_client(server.port());
    add_record("zed", nullptr);
    int count = -1;
    char** names = ans.ListAllAgents(&count, 0);
    ASSERT_NE(names, nullptr);
    ASSERT_EQ(count, 3);
    EXPECT_EQ((Names{names[0], names[1], names[2]}), (Names{"zed", "bob", "carol"}));
    EXPECT_EQ(names[3], nullptr);
    EXPECT_NE(names[0], table()->get_element(0)->get_name());
    for (int i = 0; i < count; ++i)
        std::free(names[i]);
    std::free(names);

    names = ans.ListAllAgents(nullptr, 1);
    ASSERT_NE(names, nullptr);
    EXPECT_STREQ(names[0], "dave");
    EXPECT_EQ(names[1], nullptr);
    std::free(names[0]);
    std::free(names);
    EXPECT_EQ(ans.ListAllAgents(&count, 1), nullptr);
    EXPECT_EQ(count, 0);

    table()->add_element(new CListElement());
    add_record("erin", nullptr);
    EXPECT_EQ(table()->get_nr_elements(), 3);
    EXPECT_STREQ(ans.listall_getfirst(), "dave");
    EXPECT_STREQ(ans.listall_getnext(), "erin");
    EXPECT_EQ(ans.listall_getnext(), nullptr);
}

// --- lookup -----------------------------------------------------------------

TEST_F(ANSClientTest, LookupReplyThatIsAnAddressGivesTheLocation)
{
    Server server({Server::reply("carol"), Server::reply("tcp://127.0.0.1:6001"),
                   Server::reply("sorry: no key"), Server::reply("tcp://127.0.0.1:6002"),
                   Server::reply("error: unknown request")});
    CANSClient& ans = make_client(server.port());
    // An empty table is filled by listing all first.
    EXPECT_EQ(ans.lookup_agent("bob"), 1);
    ASSERT_NE(record("bob"), nullptr);
    EXPECT_EQ(record("bob")->get_type(), 1);
    EXPECT_EQ(record("bob")->get_location()->get_port(), 6001);
    EXPECT_EQ(table_names(), (Names{"carol", "bob"}));
    EXPECT_TRUE(logged("<CANSClient> Creating location information with: [tcp://127.0.0.1:6001] for: [bob]"));

    record("bob")->set_gone(1);
    std::unique_ptr<CAgentInfo> info(ans.LookupAgent("bob"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->IsValid(), 1);
    EXPECT_STREQ(info->GetAgentName(), "bob");
    EXPECT_STREQ(info->GetAgentHost(), "127.0.0.1");
    EXPECT_EQ(info->GetAgentPort(), 6002);
    EXPECT_EQ(record("bob")->get_gone(), 0);
    EXPECT_TRUE(logged("<CANSClient> Updating agent location information with: [tcp://127.0.0.1:6002]"));
    EXPECT_EQ(server.requests(),
              (Names{"list all \n", "lookup bob\n", "key bob\n", "lookup bob\n", "key bob\n"}));
}

TEST_F(ANSClientTest, FailedLookupOfKnownAgentMarksItGoneUnlessTheServerIsUnreachable)
{
    Server server({Server::reply("sorry, no such agent")});
    CANSClient& ans = make_client(server.port());
    CServiceInfo* bob = add_record("bob", "tcp://127.0.0.1:7000");
    db.set_modified(0);
    EXPECT_EQ(ans.lookup_agent("bob"), 0);
    EXPECT_EQ(bob->get_gone(), 1);
    EXPECT_EQ(db.get_modified(), 1);
    EXPECT_EQ(error(), "<CANSClient> ANS returned sorry for lookup action");
    EXPECT_TRUE(logged("<CANSClient> Lookup failed, agent does no longer exist, deleting entry ..."));

    LoopbackPort refused(false);
    db.find_int_belief("ansport")->set_value(static_cast<int>(refused.port));
    bob->set_gone(0);
    db.set_modified(0);
    EXPECT_EQ(ans.LookupAgent("bob"), nullptr);
    EXPECT_EQ(bob->get_gone(), 0);
    EXPECT_EQ(bob->get_location()->get_port(), 7000);
    EXPECT_EQ(db.get_modified(), 0);
}

TEST_F(ANSClientTest, FailedLookupOfUnknownAgentAddsNothing)
{
    Server server({Server::reply("fail"), Server::reply("no such agent here")});
    CANSClient& ans = make_client(server.port());
    add_record("zed", nullptr);
    EXPECT_EQ(ans.lookup_agent("bob"), 0);
    EXPECT_EQ(error(), "<CANSClient> ANS returned sorry for lookup action: [fail]");
    EXPECT_EQ(ans.lookup_agent("bob"), 0);
    EXPECT_EQ(error(), "<CANSClient> ANS reply is not an agent address: [no such agent here]");
    EXPECT_EQ(table_names(), (Names{"zed"}));
    EXPECT_EQ(ans.LookupAgent(nullptr), nullptr);
}

// --- unregistering and the registration life cycle --------------------------

TEST_F(ANSClientTest, UnregisterWithNoRememberedNamesSendsNothing)
{
    LoopbackPort listener(true);
    CANSClient& ans = make_client(listener.port);
    EXPECT_EQ(ans.ans_unregister(), 1);
    db.delete_element_by_name("name");
    EXPECT_EQ(ans.ans_unregister(), 0);
    EXPECT_EQ(error(), "<CANSClient> No name field found, aborting");
    EXPECT_EQ(ans.ans_register(), 0);
    EXPECT_FALSE(listener.connection_waiting());
}

TEST_F(ANSClientTest, UnregisterForgetsTheNamesThatWent)
{
    Server server({Server::reply("success"), Server::reply("success"), Server::reply("success"),
                   Server::reply("sorry"), Server::reply("fail"), Server::reply("success")});
    CANSClient& ans = make_client(server.port());
    EXPECT_EQ(ans.register_agent("bob") + ans.register_agent("carol") + ans.register_agent("dave"), 3);
    EXPECT_EQ(ans.ans_unregister_agent("bob"), 0);
    EXPECT_FALSE(remembered("bob"));
    // Switched off, the client forgets every name, also one the server
    // could not be told about: alive() must never register it again.
    EXPECT_EQ(ans.ans_unregister(), 0);
    EXPECT_FALSE(remembered("carol"));
    EXPECT_FALSE(remembered("dave"));
    EXPECT_EQ(ans.ans_unregister_agent(nullptr), 0);
}

TEST_F(ANSClientTest, EnableRegistersAndListsAliveRefreshesDisableUnregisters)
{
    Server server({Server::reply("success"), Server::reply("bob"), Server::reply("success"),
                   Server::reply("success"), Server::reply("success"), Server::reply("success"),
                   Server::reply("success")});
    CANSClient& ans = make_client(server.port());
    EXPECT_EQ(ans.alive(), 0);
    EXPECT_EQ(ans.enable(1), 1);
    EXPECT_EQ(table_names(), (Names{"bob"}));
    EXPECT_EQ(ans.ans_register_alias("alias-1"), 1);
    EXPECT_EQ(ans.alive(), 1);
    EXPECT_EQ(ans.enable(0), 1);
    EXPECT_EQ(ans.alive(), 0);
    const std::string alias = "register alias-1 tcp://127.0.0.1:5000\r\n";
    EXPECT_EQ(server.requests(),
              (Names{kRegisterSelf, "list all \n", alias, kRegisterSelf, alias,
                     "unregister alice_x.org-CalendarAgent\r\n", "unregister alias-1\r\n"}));
}

// --- transport and reply framing ---------------------------------------------

TEST_F(ANSClientTest, TransportFailuresLeaveTheirReason)
{
    LoopbackPort refused(false);
    CANSClient& ans = make_client(refused.port);
    EXPECT_EQ(ans.ans_request("lookup bob\n", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(error(), "<CANSClient> Error connecting to ANS [127.0.0.1," + std::to_string(refused.port) +
                           "], [" + WsaErrorExplanation(WSAECONNREFUSED) + "]");
    db.find_int_belief("ansport")->set_value(-5);
    EXPECT_EQ(ans.ans_request("lookup bob\n", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(error(), std::string("<CANSClient> Error connecting to ANS [127.0.0.1,-5], [") +
                           WsaErrorExplanation(WSAEADDRNOTAVAIL) + "]");
    db.delete_element_by_name("ansport");
    EXPECT_EQ(ans.ans_request("lookup bob\n", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(error(), "<CANSClient> ANS server port field is NULL");
    db.delete_element_by_name("ans");
    EXPECT_EQ(ans.ans_request("lookup bob\n", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(error(), "<CANSClient> ANS server name field is NULL");
}

TEST_F(ANSClientTest, ReplyIsReadToItsEndMarkerWithinTimeAndSize)
{
    const size_t limit = CANSClient::REPLY_BUFFER_SIZE - 1;
    const std::string too_long = "<CANSClient> Reply from ANS is longer than 11023 bytes, discarded";
    struct Case {
        Server::Step step;
        int result;
        std::string text;
        unsigned timeout_ms = 3000;
    };
    const std::vector<Case> cases = {
        {Server::raw({"tcp://127.0.", "0.1:6", "004\r\n", "\x04"}), 1, "tcp://127.0.0.1:6004"},
        {Server::silent(), 0, "<CANSClient> No complete reply from ANS within 300 ms", 300},
        {Server::close_after_request(), 0, "<CANSClient> Connection closed by foreign host"},
        {Server::raw({"success\n"}), 1, "success"},
        {Server::raw({std::string(limit - 3, 'a') + "\r\n\x04"}), 1, std::string(limit - 3, 'a')},
        {Server::raw({std::string(limit + 500, 'b')}), 0, too_long},
        {Server::raw({"x", std::string(limit, 'b')}), 0, too_long},
        {Server::raw({std::string(limit - 3, 'c') + "\r\n\x04" + "tail"}), 1, std::string(limit - 3, 'c')},
        {Server::raw({"success\n\r\n\r\n\x04"}), 1, "success\n"},
        {Server::raw({std::string("suc\0cess", 8) + "\x04"}), 1, "suc"},
    };
    std::vector<Server::Step> steps;
    for (const Case& c : cases)
        steps.push_back(c.step);
    Server server(steps);
    CANSClient& ans = make_client(server.port());
    for (size_t i = 0; i < cases.size(); ++i) {
        ans.set_timeout(cases[i].timeout_ms);
        EXPECT_EQ(ans.get_timeout(), cases[i].timeout_ms);
        EXPECT_EQ(ans.ans_request("lookup bob\n", CANSClient::REQUEST_LOOKUP), cases[i].result)
            << "case " << i;
        EXPECT_EQ(error(), cases[i].text) << "case " << i;
    }
    EXPECT_EQ(server.requests(), Names(cases.size(), "lookup bob\n"));
}

// --- names the request lines cannot carry -----------------------------------

TEST_F(ANSClientTest, NamesThatDoNotFitARequestLineFailWithoutSending)
{
    LoopbackPort listener(true);
    CANSClient& ans = make_client(listener.port);
    const std::string too_long(1100, 'n');
    EXPECT_EQ(ans.register_agent(too_long.c_str()), 0);
    EXPECT_EQ(error(), "<CANSClient> Request does not fit into 1023 bytes, aborting");
    // The table is empty: a lookup would list all first, had the name fitted.
    EXPECT_EQ(ans.lookup_agent(too_long.c_str()) + ans.unregister_agent(too_long.c_str()) +
                  ans.ans_list_all(too_long.c_str()),
              0);
    for (const char* bad : {"", "bob tcp://10.0.0.9:1", "bob\r\nunregister carol", "bob\x04"}) {
        EXPECT_EQ(ans.register_agent(bad) + ans.lookup_agent(bad) + ans.UnRegisterAgent(bad), 0) << bad;
    }
    EXPECT_EQ(error(), "<CANSClient> Agent name is empty or holds blanks or control characters, aborting");
    db.find_string_belief("hostname")->set_value("127.0.0.1\r\nunregister bob");
    EXPECT_EQ(ans.register_agent("bob"), 0);
    EXPECT_EQ(ans.get_names()->get_nr_elements(), 0);
    EXPECT_EQ(ans.ans_request("", CANSClient::REQUEST_LOOKUP) +
                  ans.ans_request(nullptr, CANSClient::REQUEST_LOOKUP),
              0);
    EXPECT_FALSE(listener.connection_waiting());
}

// --- texts ------------------------------------------------------------------

TEST_F(ANSClientTest, ErrorTextsAndShutdownLine)
{
    const std::pair<int, const char*> named[] = {
        {WSAEACCES, "WSAEACCES"},
        {WSAEWOULDBLOCK, "WSAEWOULDBLOCK"},
        {WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL"},
        {WSAECONNRESET, "WSAECONNRESET"},
        {WSAESHUTDOWN, "WSAESHUTDOWN"},
        {WSANOTINITIALISED, "WSANOTINITIALISED"},
    };
    for (const auto& [code, name] : named) {
        EXPECT_EQ(std::string(CANSClient::error2asc(code)).rfind(std::string(name) + ": ", 0), 0u) << name;
    }
    for (int code : {WSAECONNREFUSED, WSAETIMEDOUT, WSAECONNRESET})
        EXPECT_STREQ(CANSClient::error2asc(code), WsaErrorExplanation(code)) << code;
    EXPECT_STREQ(CANSClient::error2asc(WSAEINVAL), "<CANSClient> The network returned an unknown error");

    make_client(1);
    client.reset();
    EXPECT_TRUE(logged("<CANSClient> shutting down ANS module ..."));
}

// --- against the real name server --------------------------------------------

TEST_F(ANSClientTest, RoundTripWithTheNameServer)
{
    CAnsdProcess ansd(dir);
    ASSERT_TRUE(ansd.Start());
    CANSClient& ans = make_client(ansd.port);
    EXPECT_EQ(ans.enable(1), 1);
    EXPECT_EQ(table_names(), (Names{kSelf}));
    EXPECT_EQ(ans.ans_register_alias("bob-CalendarAgent"), 1);

    std::unique_ptr<CAgentInfo> info(ans.LookupAgent("bob-CalendarAgent"));
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->GetAgentHost(), "127.0.0.1");
    EXPECT_EQ(info->GetAgentPort(), 5000);

    EXPECT_EQ(ans.ans_list_all("bob*"), 1);
    EXPECT_EQ(table_names(), (Names{"bob-CalendarAgent"}));
    EXPECT_EQ(ans.UnRegisterAgent("bob-CalendarAgent"), 1);
    EXPECT_EQ(ans.lookup_agent("bob-CalendarAgent"), 0);
    EXPECT_EQ(record("bob-CalendarAgent")->get_gone(), 1);

    EXPECT_EQ(ans.ans_list_all(), 1);
    EXPECT_EQ(table_names(), (Names{"bob-CalendarAgent", kSelf}));
    EXPECT_EQ(ans.enable(0), 1);
    EXPECT_EQ(ans.ans_list_all(), 0);
    EXPECT_EQ(error(), "null");
}

// With a key, registrations are signed; a server that answers the signed
// form with its usage error is asked without the key from then on. Lookups
// keep the key the server holds a name for.
TEST_F(ANSClientTest, SignedRegistrationsFallBackForAnOldServerAndLookupsKeepKeys)
{
    testsupport::CTempDir home;
    std::string error;
    const std::optional<CKeyPair> key = CKeyPair::LoadOrCreate(home.File("key.pem"), "alice", error);
    ASSERT_TRUE(key) << error;
    Server server({Server::reply("success"), Server::reply("tcp://127.0.0.1:6001"),
                   Server::reply(key->PublicKeyText()), Server::reply("error: usage: register NAME URL"),
                   Server::reply("success"), Server::reply("success")});
    CANSClient& ans = make_client(server.port());
    ans.set_signing_key(&*key);
    add_record("zed", nullptr);
    EXPECT_EQ(ans.ans_register(), 1);
    EXPECT_EQ(ans.lookup_agent("bob"), 1);
    EXPECT_EQ(record("bob")->get_key(), key->PublicKeyText());
    EXPECT_EQ(ans.ans_register(), 1);
    EXPECT_EQ(ans.ans_register(), 1);
    const Names sent = server.requests();
    ASSERT_EQ(sent.size(), 6u);
    const std::string words =
        "register alice_x.org-CalendarAgent tcp://127.0.0.1:5000 " + key->PublicKeyText() + " ";
    ASSERT_EQ(sent[0].compare(0, words.size(), words), 0) << sent[0];
    const std::string request = sent[0].substr(0, sent[0].size() - 2);
    const std::size_t signature = request.rfind(' ');
    EXPECT_TRUE(
        CKeyPair::Verify(key->PublicKeyText(), request.substr(0, signature), request.substr(signature + 1)));
    EXPECT_EQ(sent[3].compare(0, words.size(), words), 0) << sent[3];
    EXPECT_EQ(sent[4], kRegisterSelf);
    EXPECT_EQ(sent[5], kRegisterSelf);
}
