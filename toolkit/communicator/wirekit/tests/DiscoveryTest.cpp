#include <wirekit/Discovery.h>

#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/StringBelief.h>
#include <notekit/ServiceInfo.h>

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace {

// Datagrams handed in by the test; what is sent is kept.
class CFakeChannel : public CDatagramChannel {
public:
    struct SSent {
        std::string host;
        int port = 0;
        std::string text;
    };
    std::deque<SDatagram>* waiting;
    std::vector<SSent>* sent;

    bool SendToGroup(const std::string& text) override
    {
        sent->push_back({"group", 0, text});
        return true;
    }
    bool SendTo(const std::string& host, int port, const std::string& text) override
    {
        sent->push_back({host, port, text});
        return true;
    }
    std::optional<SDatagram> Receive() override
    {
        if (waiting->empty())
            return std::nullopt;
        SDatagram next = waiting->front();
        waiting->pop_front();
        return next;
    }
};

class DiscoveryTest : public ::testing::Test {
protected:
    DiscoveryTest()
    {
        beliefs.add_element(new CStringBelief("name", "ann-Agent"));
        discovery.set_param("10.0.0.1", 4000);
        discovery.set_channel_factory([this] {
            auto channel = std::make_unique<CFakeChannel>();
            channel->waiting = &waiting;
            channel->sent = &sent;
            return channel;
        });
    }

    int Deliver(const std::string& text)
    {
        waiting.push_back({text, "10.0.0.9", 1900});
        return discovery.process_discovery(1);
    }

    CServiceInfo* Record(const char* name)
    {
        return dynamic_cast<CServiceInfo*>(discovery.get_lookup_table()->find_element(name));
    }

    CBeliefDB beliefs;
    CDiscovery discovery{&beliefs, nullptr};
    std::deque<CDatagramChannel::SDatagram> waiting;
    std::vector<CFakeChannel::SSent> sent;
};

TEST_F(DiscoveryTest, EnablingAnnouncesAndSearchesAndDisablingSaysByebye)
{
    EXPECT_EQ(discovery.process_discovery(1), CDiscovery::Error) << "no socket yet";
    ASSERT_EQ(discovery.enable(1), 1);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].text,
              CSSDPParser::Announce("239.255.255.250", 1900, "orvante:Agent", "ann-Agent", "10.0.0.1", 4000));
    EXPECT_EQ(sent[1].text, CSSDPParser::Search("ann-Agent", "10.0.0.1", 1900, " "));
    EXPECT_EQ(discovery.process_discovery(1), CDiscovery::Error) << "nothing pending";
    discovery.enable(0);
    EXPECT_NE(sent.back().text.find("NTS: ssdp:byebye"), std::string::npos);
}

TEST_F(DiscoveryTest, EveryDatagramKindHasItsResult)
{
    discovery.enable(1);
    sent.clear();
    const std::string alive = CSSDPParser::Announce("239.255.255.250", 1900, "orvante:AgentNameServer",
                                                    "uuid:ansd", "10.0.0.7", 6677);
    EXPECT_EQ(Deliver(CSSDPParser::Search("ann-Agent", "10.0.0.1", 1900, " ")), CDiscovery::Echo);
    EXPECT_EQ(Deliver(CSSDPParser::Announce("g", 1, "orvante:Agent", "ann-Agent", "10.0.0.1", 4000)),
              CDiscovery::Echo);
    EXPECT_EQ(Deliver(CSSDPParser::Search("bob-Agent", "10.0.0.2", 1900, "orvante:ann-Agent")),
              CDiscovery::SearchHandled);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].host, "10.0.0.2");
    EXPECT_EQ(sent[0].text, CSSDPParser::Answer("bob-Agent", "ann-Agent", "orvante:Agent", "10.0.0.1", 4000));
    EXPECT_EQ(Deliver(CSSDPParser::Search("bob-Agent", "10.0.0.2", 1900, "orvante:carl-Agent")),
              CDiscovery::SearchHandled);
    EXPECT_EQ(sent.size(), 1u) << "a search for another agent is not answered";

    EXPECT_EQ(Deliver(CSSDPParser::Answer("ann-Agent", "bob-Agent", "orvante:Agent", "10.0.0.2", 5000)),
              CDiscovery::AnswerHandled);
    ASSERT_NE(Record("bob-Agent"), nullptr);
    EXPECT_EQ(Record("bob-Agent")->get_expiration(), CDiscovery::Expiration);
    EXPECT_EQ(Record("bob-Agent")->get_location()->get_port(), 5000);
    EXPECT_EQ(sent.size(), 1u) << "answers are not answered";

    EXPECT_EQ(Deliver(alive), CDiscovery::AnnouncementHandled);
    ASSERT_NE(Record("ansd"), nullptr);
    EXPECT_EQ(Record("ansd")->get_type(), 4);
    EXPECT_EQ(Deliver("NOTIFY * HTTP/1.1\r\nNT: printer\r\nNTS: ssdp:alive\r\nUSN: uuid:printer\r\n"
                      "Location: http://10.0.0.8:631/ipp\r\n\r\n"),
              CDiscovery::AnnouncementHandled);
    ASSERT_NE(Record("printer"), nullptr);
    EXPECT_EQ(Record("printer")->get_type(), 7);
    EXPECT_EQ(
        Deliver(CSSDPParser::Withdraw("g", 1, "orvante:AgentNameServer", "uuid:ansd", "10.0.0.7", 6677)),
        CDiscovery::AnnouncementHandled);
    EXPECT_EQ(Record("ansd")->get_gone(), 1);

    EXPECT_EQ(Deliver("hello there"), CDiscovery::Error);
    EXPECT_EQ(Deliver(CSSDPParser::Answer("x", "uuid:evil", "orvante:Agent", "10.0.0.3", 99999)),
              CDiscovery::AnswerHandled);
    EXPECT_EQ(Record("evil"), nullptr) << "a port out of range adds nothing";
}

TEST_F(DiscoveryTest, AnAgentsAnnouncementIsTakenOnlyWhenItsKeyPassesTheCheck)
{
    discovery.set_key_source([] { return std::string("ed25519:ann"); });
    std::vector<std::string> checked;
    discovery.set_key_check([&checked](const std::string& name, const std::string& key) {
        checked.push_back(name + " " + key);
        return key == "ed25519:good";
    });
    discovery.enable(1);
    EXPECT_NE(sent[0].text.find("\r\nAgent-Key: ed25519:ann\r\n"), std::string::npos) << sent[0].text;

    Deliver(CSSDPParser::Answer("ann-Agent", "bob-Agent", "orvante:Agent", "10.0.0.2", 5000, "ed25519:good"));
    ASSERT_NE(Record("bob-Agent"), nullptr);
    EXPECT_EQ(Record("bob-Agent")->get_key(), "ed25519:good");
    EXPECT_EQ(Record("bob-Agent")->get_localisation(), 1);
    const struct {
        std::string datagram;
        const char* what;
    } refused[] = {
        {CSSDPParser::Announce("g", 1, "orvante:Agent", "bob-Agent", "10.6.6.6", 6666, "ed25519:evil"),
         "another key"},
        {CSSDPParser::Answer("ann-Agent", "bob-Agent", "orvante:Agent", "10.6.6.6", 6666), "no key"},
        {"NOTIFY * HTTP/1.1\r\nNTS: ssdp:alive\r\nUSN: uuid:bob-Agent\r\nLocation: "
         "http://10.6.6.6:6666/\r\n\r\n",
         "a service of no known type"},
        {CSSDPParser::Announce("g", 1, "orvante:AgentNameServer", "bob-Agent", "10.6.6.6", 6666),
         "a name server under the agent's name"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        Deliver(c.datagram);
        EXPECT_EQ(Record("bob-Agent")->get_location()->get_port(), 5000);
        EXPECT_EQ(Record("bob-Agent")->get_type(), 1);
    }
    EXPECT_EQ(checked.size(), 4u) << "the name server's announcement is not a key question";

    Deliver(CSSDPParser::Announce("g", 1, "orvante:AgentNameServer", "uuid:ansd", "10.0.0.7", 6677));
    EXPECT_NE(Record("ansd"), nullptr) << "a name server proves nothing, but takes no agent's record";
}

TEST(DiscoveryTypes, TextsAndTheirNumbers)
{
    CBeliefDB beliefs;
    CDiscovery discovery(&beliefs, nullptr);
    for (int type = 1; type <= 6; ++type)
        EXPECT_EQ(discovery.nt2str(CDiscovery::get_service_type_string(type)), type);
    EXPECT_EQ(discovery.nt2str("upnp:rootdevice"), 7);
    EXPECT_STREQ(CDiscovery::get_service_type_string(4), "orvante:AgentNameServer");
}

} // namespace
