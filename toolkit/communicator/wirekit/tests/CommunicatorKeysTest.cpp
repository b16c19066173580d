#include <wirekit/Communicator.h>

#include "WireTestSupport.h"

#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <notekit/ServiceInfo.h>
#include <platform/KeyPair.h>
#include <platform/PollEventLoop.h>

#include <gtest/gtest.h>

#include <platform/testing/Loopback.h>

#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace wiretest;

namespace {

std::string NewKey()
{
    std::string error;
    std::optional<CKeyPair> key = CKeyPair::Create("someone", error);
    return key ? key->PublicKeyText() : std::string();
}

class CommunicatorKeysTest : public ::testing::Test {
protected:
    CommunicatorKeysTest() : window(&loop)
    {
        db.add_element(new CStringBelief("name", "Bob"));
        db.add_element(new CIntBelief("port", 0));
        db.add_element(new CListBelief("lookup", new CLList("lookup")));
        comm = std::make_unique<CCommunicator>(&db);
        comm->set_file(log.logger.get_file_pointer());
        comm->set_handler(&window);
        comm->set_listen_address(kLoopback);
        comm->set_key_pins(pins.string(), [this](const std::string& notice) { notices.push_back(notice); });
    }
    ~CommunicatorKeysTest() override { std::filesystem::remove(pins); }

    void UseOwnKey()
    {
        std::string error;
        std::optional<CKeyPair> key = CKeyPair::Create("Bob", error);
        ASSERT_TRUE(key) << error;
        comm->set_key_pair(std::move(*key));
    }

    std::string PinsFile()
    {
        std::ifstream in(pins);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    CPollEventLoop loop;
    CRecordingWnd window;
    CLogFile log;
    CBeliefDB db;
    std::unique_ptr<CCommunicator> comm;
    std::filesystem::path pins =
        std::filesystem::temp_directory_path() / ("known-agents-" + std::to_string(::getpid()));
    std::vector<std::string> notices;
};

TEST_F(CommunicatorKeysTest, AnAnnouncementIsBelievedOnlyWithAKeyThatCanBeAskedFor)
{
    const std::string pinned = NewKey(), other = NewKey();
    comm->key_proven("Ann", pinned);
    struct Case {
        const char* what;
        bool own_key, trust;
        const char* name;
        std::string key;
        bool believed;
    } cases[] = {
        {"no key of its own to ask with", false, false, "Cid", other, false},
        {"a key for a name not pinned", true, false, "Cid", other, true},
        {"no key announced", true, false, "Cid", "", false},
        {"a malformed key", true, false, "Cid", "ed25519:!!", false},
        {"the pinned key", true, false, "Ann", pinned, true},
        {"another than the pinned key", true, false, "Ann", other, false},
        {"no key, names trusted", false, true, "Cid", "", true},
        {"another than the pinned key, names trusted", false, true, "Ann", other, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.own_key && !comm->get_key_pair())
            UseOwnKey();
        comm->set_trust_unproven(c.trust);
        EXPECT_EQ(comm->believes_announcement(c.name, c.key), c.believed);
    }
    ASSERT_EQ(notices.size(), 1u) << "a changed key is told once";
    EXPECT_NE(notices[0].find("The agent Ann now shows another key"), std::string::npos);
}

TEST_F(CommunicatorKeysTest, AnAnnouncedKeyIsPinnedOnlyOnceProven)
{
    UseOwnKey();
    const std::string first = NewKey(), second = NewKey();
    EXPECT_TRUE(comm->believes_announcement("Cid", first));
    EXPECT_TRUE(comm->believes_announcement("Cid", second)) << "an unproven claim pins nothing";
    EXPECT_EQ(PinsFile(), "");
    comm->key_proven("Cid", second);
    EXPECT_EQ(PinsFile(), "Cid " + second + "\n");
    EXPECT_FALSE(comm->believes_announcement("Cid", first));
}

TEST_F(CommunicatorKeysTest, APinThatCannotBeSavedIsSaid)
{
    const std::string path = "/nonexistent-" + std::to_string(::getpid()) + "/known-agents";
    comm->set_key_pins(path, nullptr);
    comm->key_proven("Cid", NewKey());
    const std::string said =
        "<CCommunicator> The keys seen for agents' names could not be saved in [" + path + "]: ";
    const std::vector<std::string> lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&said](const std::string& line) { return line.rfind(said, 0) == 0; }),
              1);
}

// A listening socket that is only asked whether a connection waits: a
// loopback connect is complete before the send returns.
class CPort {
public:
    CPort()
    {
        fd = testsupport::BoundLoopbackSocket(number);
        ::listen(fd, 4);
    }
    ~CPort() { ::close(fd); }
    bool connection_waits() const
    {
        pollfd item{fd, POLLIN, 0};
        return ::poll(&item, 1, 0) == 1;
    }
    unsigned number = 0;

private:
    int fd = -1;
};

TEST_F(CommunicatorKeysTest, NothingGoesToAFoundAddressWhereTheNameCannotBeProven)
{
    ASSERT_EQ(comm->Create(), 1);
    CPort peer;
    auto* record = new CServiceInfo("Cid");
    record->set_location(new CURL(("tcp://127.0.0.1:" + std::to_string(peer.number)).c_str()));
    record->set_localisation(1);
    comm->get_lookup_table()->add_element(record);

    const char* error =
        comm->comm_sendmessage("tell", "Cid", nullptr, nullptr, nullptr, nullptr, nullptr, "secret", nullptr);
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(log.count("<CCommunicator> [Cid] was found on the local network but cannot prove its name "
                        "there; nothing is sent to it"),
              1);
    EXPECT_FALSE(peer.connection_waits()) << "not even a connection";

    comm->set_trust_unproven(true);
    EXPECT_EQ(
        comm->comm_sendmessage("tell", "Cid", nullptr, nullptr, nullptr, nullptr, nullptr, "hello", nullptr),
        nullptr);
    EXPECT_TRUE(peer.connection_waits());
}

} // namespace
