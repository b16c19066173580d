#include <namekit/ANSClient.h>

#include "FakeAnsServer.h"

#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <namekit/AgentInfo.h>
#include <notekit/ServiceInfo.h>
#include <platform/SocketError.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <utility>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Names = std::vector<std::string>;
using Server = FakeAnsServer;

const char* const kSelf = "alice_x.org-CalendarAgent";

// A socket bound to a loopback port, listening or not. Connecting to a port
// that is bound but not listening is refused, and holding it keeps any other
// program from taking the port meanwhile.
class LoopbackPort {
public:
    explicit LoopbackPort(bool listening) {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
        if (listening && ::listen(fd, 4) != 0) return;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) port = ntohs(address.sin_port);
    }
    ~LoopbackPort() {
        if (fd >= 0) ::close(fd);
    }
    LoopbackPort(const LoopbackPort&) = delete;
    LoopbackPort& operator=(const LoopbackPort&) = delete;

    // True when a client has connected to the listening socket.
    bool connection_waiting() const {
        pollfd item{};
        item.fd = fd;
        item.events = POLLIN;
        return ::poll(&item, 1, 0) > 0;
    }

    unsigned port = 0;

private:
    int fd = -1;
};

std::string make_temp_dir() {
    std::string pattern = ::testing::TempDir() + "namekit-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const char* made = ::mkdtemp(buffer.data());
    return made ? std::string(made) : std::string();
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ANSClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* home = std::getenv("ORVANTE")) saved_home = home;
        ::unsetenv("ORVANTE");
        dir = make_temp_dir();
        ASSERT_FALSE(dir.empty());
        db.add_element(new CStringBelief("name", kSelf));
        db.add_element(new CIntBelief("port", 5000));
        db.add_element(new CStringBelief("ans", "127.0.0.1"));
        db.add_element(new CIntBelief("ansport", CANSClient::DEFAULT_ANS_PORT));
        db.add_element(new CStringBelief("hostname", "127.0.0.1"));
    }

    void TearDown() override {
        client.reset();
        if (saved_home) {
            ::setenv("ORVANTE", saved_home->c_str(), 1);
        } else {
            ::unsetenv("ORVANTE");
        }
    }

    // A client of the name server at `port`, logging into the test's
    // directory, with a time-out short enough for a failing test to end soon.
    CANSClient& make_client(unsigned port) {
        db.find_int_belief("ansport")->set_value(static_cast<int>(port));
        client = std::make_unique<CANSClient>(&db, nullptr);
        client->set_file((dir + "/ans.log").c_str());
        client->set_timeout(3000);
        return *client;
    }

    std::string log() {
        return read_file(dir + "/ans.log");
    }

    CLList* table() {
        CListBelief* belief = db.find_list_belief("lookup");
        if (!belief) {
            db.add_element(new CListBelief("lookup", new CLList()));
            belief = db.find_list_belief("lookup");
        }
        return belief->get_value();
    }

    Names table_names() {
        Names names;
        for (CListElement* e = table()->get_element(0); e; e = e->get_next()) names.emplace_back(e->get_name());
        return names;
    }

    CServiceInfo* record(const char* name) {
        return dynamic_cast<CServiceInfo*>(table()->find_element(name));
    }

    CServiceInfo* add_record(const char* name, const char* url) {
        auto* info = new CServiceInfo(name);
        if (url) info->set_location(new CURL(url));
        info->set_type(1);
        table()->add_element(info);
        return info;
    }

    void write_server_file(const std::string& text) {
        ::mkdir((dir + "/system").c_str(), 0700);
        ::mkdir((dir + "/system/ans").c_str(), 0700);
        std::ofstream(dir + "/system/ans/ANSListFile.txt") << text;
        ::setenv("ORVANTE", dir.c_str(), 1);
    }

    std::string error() {
        return client->get_last_error();
    }

    CBeliefDB db;
    std::unique_ptr<CANSClient> client;
    std::string dir;
    std::optional<std::string> saved_home;
};

std::string servers_of(CANSClient& ans) {
    std::string out;
    for (CListElement* e = ans.get_ans_servers()->get_element(0); e; e = e->get_next()) {
        auto* url = dynamic_cast<CURL*>(e);
        out += std::string(url->get_proto()) + "|" + url->get_host() + "|" + std::to_string(url->get_port()) + ";";
    }
    return out;
}

}  // namespace

// --- construction and server list ------------------------------------------

TEST_F(ANSClientTest, ConstructionTakesTheServerFromTheBeliefs) {
    CANSClient& ans = make_client(6001);
    EXPECT_EQ(ans.get_lookup_type(), 2);
    EXPECT_EQ(ans.is_enabled(), 0);
    EXPECT_EQ(servers_of(ans), "tcp|127.0.0.1|6001;");
    ASSERT_NE(ans.get_current_ans(), nullptr);
    EXPECT_STREQ(ans.get_current_ans()->get_host(), "127.0.0.1");
    EXPECT_EQ(CANSClient(&db, nullptr).get_timeout(), CANSClient::DEFAULT_TIMEOUT_MS);

    db.delete_element_by_name("ansport");
    CANSClient default_port(&db, nullptr);
    EXPECT_EQ(servers_of(default_port), "tcp|127.0.0.1|6677;");

    db.find_string_belief("ans")->set_value("-unknown-");
    CANSClient placeholder(&db, nullptr);
    EXPECT_EQ(servers_of(placeholder), "");
    EXPECT_EQ(placeholder.get_current_ans(), nullptr);
}

TEST_F(ANSClientTest, ServerListFileUnderTheToolkitHomeAddsServers) {
    write_server_file("tcp://10.0.0.5:6678\r\n\n   tcp://ans.example.org  \nnot an address\ntcp://:99\n");
    CANSClient& ans = make_client(6001);
    EXPECT_EQ(servers_of(ans), "tcp|127.0.0.1|6001;tcp|10.0.0.5|6678;tcp|ans.example.org|6677;");
    EXPECT_STREQ(ans.get_current_ans()->get_host(), "127.0.0.1");

    db.delete_element_by_name("ans");
    CANSClient from_file_only(&db, nullptr);
    EXPECT_STREQ(from_file_only.get_current_ans()->get_host(), "10.0.0.5");
}

TEST_F(ANSClientTest, WithoutBeliefDatabaseEveryOperationFailsCleanly) {
    CANSClient ans(nullptr, nullptr);
    EXPECT_EQ(ans.is_enabled(), 0);
    EXPECT_EQ(ans.get_current_ans(), nullptr);
    EXPECT_EQ(ans.register_agent("bob"), 0);
    EXPECT_EQ(ans.lookup_agent("bob"), 0);
    EXPECT_STREQ(ans.get_last_error(), "<CANSClient> No lookup table defined, aborting lookup");
    EXPECT_EQ(ans.ans_list_all(), 0);
    EXPECT_EQ(ans.ans_unregister(), 0);
    EXPECT_EQ(ans.listall_getfirst(), nullptr);
    EXPECT_EQ(ans.LookupAgent("bob"), nullptr);
    EXPECT_EQ(ans.alive(), 0);
    EXPECT_EQ(ans.enable(1), 0);
}

TEST_F(ANSClientTest, FindServerTakesTheFirstThatAcceptsAConnection) {
    LoopbackPort refused(false), listening(true);
    write_server_file("tcp://127.0.0.1:" + std::to_string(refused.port) + "\ntcp://127.0.0.1:" +
                      std::to_string(listening.port) + "\n");
    db.delete_element_by_name("ans");
    CANSClient& ans = make_client(6001);
    EXPECT_EQ(ans.get_current_ans()->get_port(), static_cast<int>(refused.port));
    EXPECT_EQ(ans.ans_find_server(), 1);
    EXPECT_EQ(ans.get_current_ans()->get_port(), static_cast<int>(listening.port));
    EXPECT_TRUE(listening.connection_waiting());
    EXPECT_NE(log().find("<CANSClient> Error connecting to ANS [127.0.0.1," + std::to_string(refused.port) +
                         "], [WSAECONNREFUSED]"),
              std::string::npos);

    ::unsetenv("ORVANTE");
    CANSClient none(&db, nullptr);
    none.set_file((dir + "/none.log").c_str());
    EXPECT_EQ(none.ans_find_server(), 0);
    EXPECT_NE(read_file(dir + "/none.log").find("<CANSClient> Unable to find any ANS servers"), std::string::npos);
}

// --- request texts and reply classification ----------------------------------

TEST_F(ANSClientTest, RequestsGoOutInTheirExactTexts) {
    Server server({Server::reply("success"), Server::reply("success"), Server::reply("tcp://127.0.0.1:6001"),
                   Server::reply("bob"), Server::reply("bob"), Server::reply("success"), Server::reply("success"),
                   Server::reply("success")});
    CANSClient& ans = make_client(server.port());
    add_record("zed", "tcp://127.0.0.1:7000");
    EXPECT_EQ(ans.ans_register(), 1);
    EXPECT_EQ(ans.ans_register_alias("alias-1"), 1);
    EXPECT_EQ(ans.lookup_agent("bob"), 1);
    EXPECT_EQ(ans.ans_list_all(), 1);
    EXPECT_EQ(ans.ans_list_all("b*"), 1);
    EXPECT_EQ(ans.UnRegisterAgent("bob"), 1);
    EXPECT_EQ(ans.ans_unregister(), 1);
    EXPECT_EQ(server.requests(),
              (Names{"register alice_x.org-CalendarAgent tcp://127.0.0.1:5000\r\n",
                     "register alias-1 tcp://127.0.0.1:5000\r\n", "lookup bob\n", "list all \n", "list b* \n",
                     "unregister bob\n", "unregister alice_x.org-CalendarAgent\r\n", "unregister alias-1\r\n"}));
    EXPECT_EQ(ans.get_names()->get_nr_elements(), 0);
}

TEST(ANSClientClassify, WordsInSearchOrderAndListNull) {
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
        {"", CANSClient::REQUEST_REGISTER, CANSClient::REPLY_SUCCESS},
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

TEST_F(ANSClientTest, RegisterReplyWithErrorAndSuccessFails) {
    Server server({Server::reply("error in request, success unlikely")});
    CANSClient& ans = make_client(server.port());
    EXPECT_EQ(ans.register_agent("bob"), 0);
    EXPECT_EQ(error(), "error in request, success unlikely");
    // The name stays remembered, so the periodic refresh tries again.
    EXPECT_NE(ans.get_names()->find_element("bob"), nullptr);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(ANSClientTest, RegisterNeedsHostnameAndPortBeliefs) {
    LoopbackPort listener(true);
    CANSClient& ans = make_client(listener.port);
    db.delete_element_by_name("hostname");
    EXPECT_EQ(ans.register_agent("bob"), 0);
    EXPECT_EQ(ans.register_agent(nullptr), 0);
    db.add_element(new CStringBelief("hostname", "127.0.0.1"));
    db.delete_element_by_name("port");
    EXPECT_EQ(ans.register_agent("bob"), 0);
    EXPECT_EQ(ans.get_names()->get_nr_elements(), 0);
    EXPECT_FALSE(listener.connection_waiting());
}

// --- listing -----------------------------------------------------------------

TEST_F(ANSClientTest, ListReplyNullFailsAndLeavesTheTable) {
    Server server({Server::reply("null")});
    CANSClient& ans = make_client(server.port());
    add_record("zed", "tcp://127.0.0.1:7000");
    db.set_modified(0);
    EXPECT_EQ(ans.ans_list_all(), 0);
    EXPECT_EQ(table_names(), (Names{"zed"}));
    EXPECT_EQ(db.get_modified(), 0);
    EXPECT_EQ(error(), "null");
}

TEST_F(ANSClientTest, ListReplyAddsEveryNameBetweenSeparators) {
    Server server({Server::reply("alice,bob carol"), Server::reply(" dave\r\n,,erin  \n")});
    CANSClient& ans = make_client(server.port());
    add_record("bob", "tcp://127.0.0.1:7000");
    db.set_modified(0);
    EXPECT_EQ(ans.listall_agents(), 1);
    EXPECT_EQ(table_names(), (Names{"bob", "alice", "carol"}));
    EXPECT_EQ(record("alice")->get_type(), 1);
    EXPECT_EQ(record("alice")->get_location(), nullptr);
    EXPECT_STREQ(record("bob")->get_location()->get_host(), "127.0.0.1");
    EXPECT_EQ(db.get_modified(), 1);
    EXPECT_EQ(ans.ans_list_all(), 1);
    EXPECT_EQ(table_names(), (Names{"bob", "alice", "carol", "dave", "erin"}));
}

TEST_F(ANSClientTest, ListWithPatternReplacesTheTableOnlyOnAnswer) {
    Server server({Server::reply("bob,bert"), Server::close_after_request()});
    CANSClient& ans = make_client(server.port());
    add_record("zed", "tcp://127.0.0.1:7000");
    EXPECT_EQ(ans.ans_list_all("b*"), 1);
    EXPECT_EQ(table_names(), (Names{"bob", "bert"}));
    EXPECT_EQ(ans.ans_list_all("z*"), 0);
    EXPECT_EQ(table_names(), (Names{"bob", "bert"}));
    EXPECT_EQ(ans.ans_list_all(nullptr), 0);
    EXPECT_EQ(ans.ans_list_all("a b"), 0);
    EXPECT_EQ(server.requests(), (Names{"list b* \n", "list z* \n"}));
}

TEST_F(ANSClientTest, ListAllAgentsReturnsCopiesOfTheTableNames) {
    Server server({Server::reply("bob,carol"), Server::reply("dave"), Server::reply("null")});
    CANSClient& ans = make_client(server.port());
    add_record("zed", nullptr);
    int count = -1;
    char** names = ans.ListAllAgents(&count, 0);
    ASSERT_NE(names, nullptr);
    ASSERT_EQ(count, 3);
    EXPECT_STREQ(names[0], "zed");
    EXPECT_STREQ(names[1], "bob");
    EXPECT_STREQ(names[2], "carol");
    EXPECT_EQ(names[3], nullptr);
    EXPECT_NE(names[0], table()->get_element(0)->get_name());
    for (int i = 0; i < count; ++i) std::free(names[i]);
    std::free(names);

    names = ans.ListAllAgents(nullptr, 1);
    ASSERT_NE(names, nullptr);
    EXPECT_STREQ(names[0], "dave");
    EXPECT_EQ(names[1], nullptr);
    std::free(names[0]);
    std::free(names);

    count = -1;
    EXPECT_EQ(ans.ListAllAgents(&count, 1), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(table_names(), (Names{"dave"}));
}

TEST_F(ANSClientTest, ListallWalkSkipsUnnamedElements) {
    CANSClient& ans = make_client(1);
    EXPECT_EQ(ans.listall_getfirst(), nullptr);
    table()->add_element(new CListElement());
    add_record("bob", nullptr);
    table()->add_element(new CListElement());
    add_record("carol", nullptr);
    EXPECT_STREQ(ans.listall_getfirst(), "bob");
    EXPECT_STREQ(ans.listall_getnext(), "carol");
    EXPECT_EQ(ans.listall_getnext(), nullptr);
}

// --- lookup ------------------------------------------------------------------

TEST_F(ANSClientTest, LookupReplyThatIsAnAddressCreatesTheRecord) {
    Server server({Server::reply("carol"), Server::reply("tcp://127.0.0.1:6001"), Server::reply("tcp://127.0.0.1:6002")});
    CANSClient& ans = make_client(server.port());
    // An empty table is filled by listing all first.
    EXPECT_EQ(ans.lookup_agent("bob"), 1);
    CServiceInfo* bob = record("bob");
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->get_type(), 1);
    EXPECT_STREQ(bob->get_location()->get_host(), "127.0.0.1");
    EXPECT_EQ(bob->get_location()->get_port(), 6001);
    EXPECT_EQ(table_names(), (Names{"carol", "bob"}));

    std::unique_ptr<CAgentInfo> info(ans.LookupAgent("bob"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->IsValid(), 1);
    EXPECT_STREQ(info->GetAgentName(), "bob");
    EXPECT_STREQ(info->GetAgentHost(), "127.0.0.1");
    EXPECT_EQ(info->GetAgentPort(), 6002);
    EXPECT_EQ(server.requests(), (Names{"list all \n", "lookup bob\n", "lookup bob\n"}));
    std::string text = log();
    EXPECT_NE(text.find("<CANSClient> Creating location information with: [tcp://127.0.0.1:6001] for: [bob]"),
              std::string::npos);
    EXPECT_NE(text.find("<CANSClient> Updating agent location information with: [tcp://127.0.0.1:6002]"),
              std::string::npos);
}

TEST_F(ANSClientTest, LookupOfKnownAgentWithoutLocationFillsIt) {
    Server server({Server::reply("tcp://127.0.0.1:6003")});
    CANSClient& ans = make_client(server.port());
    CServiceInfo* bob = add_record("bob", nullptr);
    bob->set_gone(1);
    db.set_modified(0);
    EXPECT_EQ(ans.lookup_agent("bob"), 1);
    ASSERT_NE(bob->get_location(), nullptr);
    EXPECT_EQ(bob->get_location()->get_port(), 6003);
    EXPECT_EQ(bob->get_gone(), 0);
    EXPECT_EQ(db.get_modified(), 1);
}

TEST_F(ANSClientTest, FailedLookupOfKnownAgentMarksItGone) {
    Server server({Server::reply("sorry, no such agent")});
    CANSClient& ans = make_client(server.port());
    CServiceInfo* bob = add_record("bob", "tcp://127.0.0.1:7000");
    db.set_modified(0);
    EXPECT_EQ(ans.lookup_agent("bob"), 0);
    EXPECT_EQ(bob->get_gone(), 1);
    EXPECT_EQ(db.get_modified(), 1);
    EXPECT_EQ(error(), "<CANSClient> ANS returned sorry for lookup action");
    EXPECT_NE(log().find("<CANSClient> Lookup failed, agent does no longer exist, deleting entry ..."),
              std::string::npos);
}

TEST_F(ANSClientTest, UnreachableServerLeavesAKnownAgentAlone) {
    LoopbackPort refused(false);
    CANSClient& ans = make_client(refused.port);
    CServiceInfo* bob = add_record("bob", "tcp://127.0.0.1:7000");
    db.set_modified(0);
    EXPECT_EQ(ans.lookup_agent("bob"), 0);
    EXPECT_EQ(bob->get_gone(), 0);
    EXPECT_EQ(bob->get_location()->get_port(), 7000);
    EXPECT_EQ(db.get_modified(), 0);
    EXPECT_EQ(ans.LookupAgent("bob"), nullptr);
}

TEST_F(ANSClientTest, FailedLookupOfUnknownAgentAddsNothing) {
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

// --- unregistering and the registration life cycle -------------------------

TEST_F(ANSClientTest, UnregisterWithNoRememberedNamesSendsNothing) {
    LoopbackPort listener(true);
    CANSClient& ans = make_client(listener.port);
    EXPECT_EQ(ans.ans_unregister(), 1);
    EXPECT_FALSE(listener.connection_waiting());
    db.delete_element_by_name("name");
    EXPECT_EQ(ans.ans_unregister(), 0);
    EXPECT_EQ(error(), "<CANSClient> No name field found, aborting");
    EXPECT_EQ(ans.ans_register(), 0);
    EXPECT_FALSE(listener.connection_waiting());
}

TEST_F(ANSClientTest, UnregisterAllKeepsTheNamesThatDidNotGo) {
    Server server({Server::reply("success"), Server::reply("success"), Server::reply("success"),
                   Server::reply("success"), Server::reply("fail"), Server::reply("success")});
    CANSClient& ans = make_client(server.port());
    EXPECT_EQ(ans.register_agent("bob"), 1);
    EXPECT_EQ(ans.register_agent("carol"), 1);
    EXPECT_EQ(ans.register_agent("dave"), 1);
    EXPECT_EQ(ans.ans_unregister_agent("bob"), 1);
    EXPECT_EQ(ans.get_names()->find_element("bob"), nullptr);
    // carol fails to go, dave goes.
    EXPECT_EQ(ans.ans_unregister(), 0);
    EXPECT_NE(ans.get_names()->find_element("carol"), nullptr);
    EXPECT_EQ(ans.get_names()->find_element("dave"), nullptr);
    EXPECT_EQ(ans.ans_unregister_agent(nullptr), 0);
}

TEST_F(ANSClientTest, EnableRegistersAndListsAliveRefreshesDisableUnregisters) {
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
    EXPECT_EQ(server.requests(),
              (Names{"register alice_x.org-CalendarAgent tcp://127.0.0.1:5000\r\n", "list all \n",
                     "register alias-1 tcp://127.0.0.1:5000\r\n",
                     "register alice_x.org-CalendarAgent tcp://127.0.0.1:5000\r\n",
                     "register alias-1 tcp://127.0.0.1:5000\r\n", "unregister alice_x.org-CalendarAgent\r\n",
                     "unregister alias-1\r\n"}));
}

// --- transport failures and reply framing -----------------------------------

TEST_F(ANSClientTest, MissingServerBeliefsFailBeforeConnecting) {
    CANSClient& ans = make_client(1);
    db.delete_element_by_name("ansport");
    EXPECT_EQ(ans.ans_request("lookup bob\n", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(error(), "<CANSClient> ANS server port field is NULL");
    db.delete_element_by_name("ans");
    EXPECT_EQ(ans.ans_request("lookup bob\n", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(error(), "<CANSClient> ANS server name field is NULL");
    EXPECT_NE(log().find("<CANSClient> ans_request ()"), std::string::npos);
}

TEST_F(ANSClientTest, RefusedConnectionFails) {
    LoopbackPort refused(false);
    CANSClient& ans = make_client(refused.port);
    EXPECT_EQ(ans.ans_request("lookup bob\n", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(error(), "<CANSClient> Error connecting to ANS [127.0.0.1," + std::to_string(refused.port) +
                           "], [WSAECONNREFUSED]");
    db.find_int_belief("ansport")->set_value(-5);
    EXPECT_EQ(ans.ans_request("lookup bob\n", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(error(), "<CANSClient> Error connecting to ANS [127.0.0.1,-5], [WSAEADDRNOTAVAIL: Cannot assign "
                       "requested address]");
}

TEST_F(ANSClientTest, SilentServerTimesOut) {
    Server server({Server::silent()});
    CANSClient& ans = make_client(server.port());
    ans.set_timeout(300);
    EXPECT_EQ(ans.get_timeout(), 300u);
    EXPECT_EQ(ans.ans_request("lookup bob\n", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(error(), "<CANSClient> No complete reply from ANS within 300 ms");
    EXPECT_EQ(server.requests(), (Names{"lookup bob\n"}));
}

TEST_F(ANSClientTest, ServerThatClosesWithoutAnswerFails) {
    Server server({Server::close_after_request()});
    CANSClient& ans = make_client(server.port());
    EXPECT_EQ(ans.ans_request("lookup bob\n", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(error(), "<CANSClient> Connection closed by foreign host");
}

TEST_F(ANSClientTest, ReplyInPiecesIsReadToItsEnd) {
    Server server({Server::raw({"tcp://127.0.", "0.1:6", "004\r\n", "\x04"})});
    CANSClient& ans = make_client(server.port());
    add_record("zed", nullptr);
    EXPECT_EQ(ans.lookup_agent("bob"), 1);
    EXPECT_EQ(record("bob")->get_location()->get_port(), 6004);
    EXPECT_NE(log().find("ANS client successfully send: [lookup bob]"), std::string::npos);
}

TEST_F(ANSClientTest, ReplyWithoutEndMarkerEndsWhenTheServerCloses) {
    Server server({Server::raw({"success\n"})});
    CANSClient& ans = make_client(server.port());
    EXPECT_EQ(ans.ans_request("register x tcp://h:1\r\n", CANSClient::REQUEST_REGISTER), 1);
    EXPECT_EQ(error(), "success");
}

TEST_F(ANSClientTest, ReplyStopsAtTheBufferLimit) {
    const size_t limit = CANSClient::REPLY_BUFFER_SIZE - 1;
    Server server({Server::raw({std::string(limit - 3, 'a') + "\r\n\x04"}), Server::raw({std::string(limit + 500, 'b')}),
                   Server::raw({std::string(limit - 3, 'c') + "\r\n" + "\x04" + "tail"})});
    CANSClient& ans = make_client(server.port());
    EXPECT_EQ(ans.ans_request("lookup a\n", CANSClient::REQUEST_LOOKUP), 1);
    EXPECT_EQ(error(), std::string(limit - 3, 'a'));
    EXPECT_EQ(ans.ans_request("lookup b\n", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(error(), "<CANSClient> Reply from ANS is longer than 11023 bytes, discarded");
    // Whatever follows the end marker is not read.
    EXPECT_EQ(ans.ans_request("lookup c\n", CANSClient::REQUEST_LOOKUP), 1);
    EXPECT_EQ(error(), std::string(limit - 3, 'c'));
}

TEST_F(ANSClientTest, TrailingTerminatorsAreStrippedInTheirOrder) {
    Server server({Server::raw({"success\n\r\n\r\n\x04"}), Server::raw({"success\r\n\r\n\x04"}),
                   Server::raw({std::string("suc\0cess", 8) + "\x04"})});
    CANSClient& ans = make_client(server.port());
    EXPECT_EQ(ans.ans_request("x\n", CANSClient::REQUEST_REGISTER), 1);
    EXPECT_EQ(error(), "success\n");
    EXPECT_EQ(ans.ans_request("x\n", CANSClient::REQUEST_REGISTER), 1);
    EXPECT_EQ(error(), "success");
    EXPECT_EQ(ans.ans_request("x\n", CANSClient::REQUEST_REGISTER), 1);
    EXPECT_EQ(error(), "suc");
}

// --- names the request lines cannot carry ----------------------------------

TEST_F(ANSClientTest, NamesThatDoNotFitARequestLineFailWithoutSending) {
    LoopbackPort listener(true);
    CANSClient& ans = make_client(listener.port);
    const std::string too_long(1100, 'n');
    EXPECT_EQ(ans.register_agent(too_long.c_str()), 0);
    EXPECT_EQ(error(), "<CANSClient> Request does not fit into 1023 bytes, aborting");
    EXPECT_EQ(ans.lookup_agent(too_long.c_str()), 0);
    EXPECT_EQ(ans.unregister_agent(too_long.c_str()), 0);
    EXPECT_EQ(ans.ans_list_all(too_long.c_str()), 0);
    for (const char* bad : {"", "bob tcp://10.0.0.9:1", "bob\r\nunregister carol", "bob\x04"}) {
        EXPECT_EQ(ans.register_agent(bad), 0) << bad;
        EXPECT_EQ(ans.lookup_agent(bad), 0) << bad;
        EXPECT_EQ(ans.UnRegisterAgent(bad), 0) << bad;
    }
    EXPECT_EQ(error(), "<CANSClient> Agent name is empty or holds blanks or control characters, aborting");
    db.find_string_belief("hostname")->set_value("127.0.0.1\r\nunregister bob");
    EXPECT_EQ(ans.register_agent("bob"), 0);
    EXPECT_EQ(ans.get_names()->get_nr_elements(), 0);
    EXPECT_EQ(ans.ans_request("", CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_EQ(ans.ans_request(nullptr, CANSClient::REQUEST_LOOKUP), 0);
    EXPECT_FALSE(listener.connection_waiting());
}

// --- texts ------------------------------------------------------------------

TEST_F(ANSClientTest, ErrorTextsAndShutdownLine) {
    EXPECT_STREQ(CANSClient::error2asc(WSAECONNRESET), "WSAECONNRESET: Connection reset by peer");
    const std::pair<int, const char*> named[] = {
        {WSAEACCES, "WSAEACCES"},           {WSAEFAULT, "WSAEFAULT"},
        {WSAEWOULDBLOCK, "WSAEWOULDBLOCK"}, {WSAEINPROGRESS, "WSAEINPROGRESS"},
        {WSAENOTSOCK, "WSAENOTSOCK"},       {WSAEDESTADDRREQ, "WSAEDESTADDRREQ"},
        {WSAEMSGSIZE, "WSAEMSGSIZE"},       {WSAEOPNOTSUPP, "WSAEOPNOTSUPP"},
        {WSAEAFNOSUPPORT, "WSAEAFNOSUPPORT"}, {WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL"},
        {WSAENETDOWN, "WSAENETDOWN"},       {WSAENETUNREACH, "WSAENETUNREACH"},
        {WSAENETRESET, "WSAENETRESET"},     {WSAECONNABORTED, "WSAECONNABORTED"},
        {WSAENOBUFS, "WSAENOBUFS"},         {WSAENOTCONN, "WSAENOTCONN"},
        {WSAESHUTDOWN, "WSAESHUTDOWN"},     {WSANOTINITIALISED, "WSANOTINITIALISED"},
    };
    for (const auto& [code, name] : named) {
        std::string text = CANSClient::error2asc(code);
        EXPECT_EQ(text.rfind(std::string(name) + ": ", 0), 0u) << text;
    }
    EXPECT_STREQ(CANSClient::error2asc(WSAECONNREFUSED), "<CANSClient> The network returned an unknown error");
    EXPECT_STREQ(CANSClient::error2asc(0), "<CANSClient> The network returned an unknown error");

    make_client(1);
    client.reset();
    EXPECT_NE(log().find("<CANSClient> shutting down ANS module ..."), std::string::npos);
}
