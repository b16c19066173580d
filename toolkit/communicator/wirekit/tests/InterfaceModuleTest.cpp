#include <wirekit/InterfaceModule.h>

#include <wirekit/Communicator.h>

#include "WireTestSupport.h"

#include <basekit/NameSpace.h>
#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <lexikit/Parser.h>
#include <notekit/ServiceInfo.h>
#include <platform/PollEventLoop.h>

#include <gtest/gtest.h>

#include <memory>
#include <poll.h>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char* const kAgent = "Alice";

// An interface agent's end: a listening socket on 127.0.0.1 that the test
// reads from directly, one 0x04-terminated message at a time.
class CInterfacePeer {
public:
    CInterfacePeer()
    {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, wiretest::kLoopback, &address.sin_addr);
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener, 4);
        socklen_t size = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
    }
    ~CInterfacePeer()
    {
        if (connection >= 0)
            ::close(connection);
        ::close(listener);
    }
    CInterfacePeer(const CInterfacePeer&) = delete;
    CInterfacePeer& operator=(const CInterfacePeer&) = delete;

    // The next message the agent sent, without its 0x04; empty when none
    // came within a few seconds.
    std::string next_message(int wait_ms = 5000)
    {
        while (true) {
            const size_t end = pending.find('\x04');
            if (end != std::string::npos) {
                std::string message = pending.substr(0, end);
                pending.erase(0, end + 1);
                return message;
            }
            if (!read_more(wait_ms))
                return std::string();
        }
    }

    // True when nothing more arrives within `wait_ms`.
    bool quiet(int wait_ms = 200)
    {
        return pending.empty() && !read_more(wait_ms);
    }

    unsigned port = 0;

private:
    bool read_more(int wait_ms)
    {
        if (connection < 0) {
            pollfd ready{listener, POLLIN, 0};
            if (::poll(&ready, 1, wait_ms) != 1)
                return false;
            connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0)
                return false;
        }
        pollfd ready{connection, POLLIN, 0};
        if (::poll(&ready, 1, wait_ms) != 1)
            return false;
        char buffer[4096];
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0)
            return false;
        pending.append(buffer, static_cast<size_t>(got));
        return true;
    }

    int listener = -1;
    int connection = -1;
    std::string pending;
};

// A message as the interface agent reads it.
struct Received {
    std::string performative, receiver, sender, ontology, language;
    std::string content_performative;
    CParser content;
};

std::unique_ptr<Received> read_back(const std::string& message)
{
    auto out = std::make_unique<Received>();
    CParser parser;
    if (!parser.parse_message(message.c_str()))
        return nullptr;
    auto text = [](const char* s) { return std::string(s ? s : ""); };
    out->performative = text(parser.find_performative());
    out->receiver = text(parser.find_receiver());
    out->sender = text(parser.find_sender());
    out->ontology = text(parser.find_ontology());
    out->language = text(parser.find_language());
    const char* contents = parser.find_contents();
    if (!contents || !out->content.parse_message(contents))
        return nullptr;
    out->content_performative = text(out->content.find_performative());
    return out;
}

std::string token(Received& message, const char* key)
{
    const char* value = message.content.find_token(key);
    return value ? value : "";
}

class CRecordingSink : public CInterfaceModule::CTextSink {
public:
    void show_text(const char* text) override { shown.emplace_back(text); }
    Lines shown;
};

class InterfaceModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.add_element(new CStringBelief("name", kAgent));
        db.add_element(new CIntBelief("port", 0));
        db.add_element(new CStringBelief("ans", "-unknown-"));
        db.add_element(new CIntBelief("ansport", 6677));
        db.add_element(new CListBelief("lookup", new CLList()));
        communicator = std::make_unique<CCommunicator>(&db);
        communicator->set_handler(&handler);
        ASSERT_EQ(communicator->Create(), 1);
        module = std::make_unique<CInterfaceModule>(kAgent, &db, communicator.get(), 0);
        log.logger.close();
        module->Create(log.path.c_str());
    }

    void TearDown() override
    {
        module.reset();
        communicator.reset();
    }

    // Tells the agent where `name` listens.
    void locate(const char* name, unsigned port)
    {
        auto* entry = new CServiceInfo(name);
        const std::string url = "tcp://127.0.0.1:" + std::to_string(port);
        entry->set_location(new CURL(url.c_str()));
        communicator->get_lookup_table()->add_element(entry);
    }

    // A port on 127.0.0.1 where nobody listens.
    static unsigned closed_port()
    {
        CInterfacePeer gone;
        return gone.port;
    }

    static std::string interface_message(const char* sender, const char* content,
                                         const char* ontology = "interface")
    {
        return std::string("(tell :sender ") + sender + " :receiver " + kAgent + " :ontology " +
               ontology + " :language ORVANTE-KQML :content " + content + ")";
    }

    Lines interface_names()
    {
        Lines names;
        CLList* list = module->get_interfaces();
        for (CListElement* e = list->get_first_element(); e; e = e->get_next())
            names.emplace_back(e->get_name());
        return names;
    }

    CPollEventLoop loop;
    CWnd handler{&loop};
    CBeliefDB db;
    std::unique_ptr<CCommunicator> communicator;
    std::unique_ptr<CInterfaceModule> module;
    wiretest::CLogFile log;
};

TEST_F(InterfaceModuleTest, DisplayShowsTheTextInStatusAndConsole)
{
    EXPECT_EQ(module->get_status_text(), "");
    module->display("before any sink");
    EXPECT_EQ(module->get_status_text(), "before any sink");

    CRecordingSink status;
    CRecordingSink console;
    module->set_status(&status);
    module->set_console(&console);
    module->display("<CCommunicator> Communicator running");
    module->display(nullptr);
    module->display("second");
    EXPECT_EQ(status.shown, (Lines{"<CCommunicator> Communicator running", "second"}));
    EXPECT_EQ(console.shown, status.shown);
    EXPECT_EQ(module->get_status_text(), "second");

    module->set_status(nullptr);
    module->display("console only");
    EXPECT_EQ(status.shown.size(), 2u);
    EXPECT_EQ(console.shown.back(), "console only");
    module->set_console(nullptr);
}

TEST_F(InterfaceModuleTest, RegisterSendsActivationAndControlPanelDetails)
{
    CInterfacePeer ui;
    locate("UI", ui.port);
    EXPECT_EQ(module->register_interface("UI"), 1);
    EXPECT_EQ(interface_names(), (Lines{"UI"}));

    auto activate = read_back(ui.next_message());
    ASSERT_NE(activate, nullptr);
    EXPECT_EQ(activate->performative, "tell");
    EXPECT_EQ(activate->receiver, "UI");
    EXPECT_EQ(activate->sender, kAgent);
    EXPECT_EQ(activate->ontology, "interface.stream");
    EXPECT_EQ(activate->language, "ORVANTE-KQML");
    EXPECT_EQ(activate->content_performative, "tell");
    EXPECT_EQ(token(*activate, "action"), "activate");
    EXPECT_EQ(token(*activate, "content"), "datastream");

    auto panel = read_back(ui.next_message());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->ontology, "interface.controls");
    EXPECT_EQ(token(*panel, "action"), "update");
    EXPECT_EQ(token(*panel, "content"), "controlpanels");
    EXPECT_EQ(token(*panel, "data"), "tell");
    EXPECT_EQ(token(*panel, "name"), kAgent);
    EXPECT_EQ(token(*panel, "location"), communicator->comm_get_ip());
    EXPECT_EQ(token(*panel, "port"), std::to_string(communicator->get_port()));
    EXPECT_NE(communicator->get_port(), 0);

    EXPECT_EQ(log.count("<CInterfaceModule> Added agent to list of interfaces"), 1);
    EXPECT_EQ(log.count("<CInterfaceModule> Error sending message to interface agent"), 0);
    EXPECT_EQ(module->register_interface(nullptr), 0);
}

TEST_F(InterfaceModuleTest, SecondRegisterRequestIsRefusedAndSendsNothing)
{
    CInterfacePeer ui;
    locate("UI", ui.port);
    const std::string request = interface_message("UI", "(ask :content register)");
    module->process_message(request.c_str(), CLogFacility::DIRECTION_INCOMING);
    ASSERT_FALSE(ui.next_message().empty());
    ASSERT_FALSE(ui.next_message().empty());

    module->process_message(request.c_str(), CLogFacility::DIRECTION_INCOMING);
    EXPECT_EQ(interface_names(), (Lines{"UI"}));
    EXPECT_TRUE(ui.quiet());
    EXPECT_EQ(log.count("<CInterfaceModule> Interface register request found"), 2);
    EXPECT_EQ(log.count("<CInterfaceModule> Interface already registered, aborting ..."), 1);
    EXPECT_EQ(log.count("<CInterfaceModule> Added agent to list of interfaces"), 1);

    // The next thing the interface agent hears is the next real update.
    module->update_datastream("probe");
    auto next = read_back(ui.next_message());
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(token(*next, "action"), "update");
    EXPECT_EQ(token(*next, "data"), "probe");
}

TEST_F(InterfaceModuleTest, UnregisterRequestRemovesTheInterfaceAgent)
{
    module->register_interface("UI");
    module->register_interface("Other");
    const std::string leave = interface_message("UI", "(ask :content \"unregister\")");
    module->process_message(leave.c_str(), CLogFacility::DIRECTION_INCOMING);
    EXPECT_EQ(interface_names(), (Lines{"Other"}));
    EXPECT_EQ(log.count("<CInterfaceModule> Interface unregister request found"), 1);
    EXPECT_EQ(module->unregister_interface("UI"), 0);
    EXPECT_EQ(module->unregister_interface(nullptr), 0);
    EXPECT_EQ(module->unregister_interface("Other"), 1);
    EXPECT_TRUE(interface_names().empty());
}

TEST_F(InterfaceModuleTest, OnlyIncomingInterfaceRequestsAreHandled)
{
    const std::string request = interface_message("UI", "(ask :content register)");
    module->process_message(request.c_str(), CLogFacility::DIRECTION_OUTGOING);
    module->process_message(request.c_str(), CLogFacility::DIRECTION_INTERNAL);
    EXPECT_TRUE(interface_names().empty());

    const std::string other = interface_message("UI", "(ask :content register)", "calendar");
    module->process_message(other.c_str(), CLogFacility::DIRECTION_INCOMING);
    EXPECT_EQ(log.count("<CInterfaceModule> Ontology does not seem to indicate an interface "
                        "message"),
              1);

    const std::string upper = interface_message("UI", "(ask :content register)", "INTERFACE");
    module->process_message(upper.c_str(), CLogFacility::DIRECTION_INCOMING);
    EXPECT_EQ(interface_names(), (Lines{"UI"}));

    const std::string unparsable = interface_message("UI2", "unbalanced(");
    module->process_message("(tell :sender UI2 :ontology interface :content \"((\")",
                            CLogFacility::DIRECTION_INCOMING);
    module->process_message(unparsable.c_str(), CLogFacility::DIRECTION_INCOMING);
    EXPECT_GE(log.count("<CInterfaceModule> Unable to parse content field"), 1);

    // Other performatives, other requests, no sender and broken text are
    // left alone.
    module->process_message(interface_message("UI3", "(tell :content register)").c_str(), 1);
    module->process_message(interface_message("UI4", "(ask :content dance)").c_str(), 1);
    module->process_message("(tell :ontology interface :content (ask :content register))", 1);
    module->process_message("not a message", 1);
    module->process_message(nullptr, 1);
    EXPECT_EQ(interface_names(), (Lines{"UI"}));
}

TEST_F(InterfaceModuleTest, LineageRequestIsAnsweredWithTheLineage)
{
    CInterfacePeer ui;
    locate("UI", ui.port);
    CNameSpace lineage;
    lineage.add_name("CAgent");
    lineage.add_name("CVespera");
    module->set_lineage(&lineage);
    EXPECT_EQ(module->get_lineage(), &lineage);

    const std::string ask = interface_message("UI", "(ask :content lineage)");
    module->process_message(ask.c_str(), CLogFacility::DIRECTION_INCOMING);
    auto reply = read_back(ui.next_message());
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->performative, "reply");
    EXPECT_EQ(reply->ontology, "interface");
    EXPECT_EQ(reply->language, "ORVANTE-KQML");
    EXPECT_EQ(reply->content_performative, "reply");
    EXPECT_EQ(token(*reply, "lineage"), "(CAgent:CVespera)");
    EXPECT_TRUE(interface_names().empty());

    module->set_lineage(nullptr);
    module->process_message(ask.c_str(), CLogFacility::DIRECTION_INCOMING);
    auto empty = read_back(ui.next_message());
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(token(*empty, "lineage"), "()");
}

TEST_F(InterfaceModuleTest, UpdatesGoToEveryInterfaceAgent)
{
    CInterfacePeer first;
    CInterfacePeer second;
    locate("First", first.port);
    locate("Second", second.port);
    module->register_interface("First");
    module->register_interface("Second");
    for (CInterfacePeer* peer : {&first, &second}) {
        ASSERT_FALSE(peer->next_message().empty());
        ASSERT_FALSE(peer->next_message().empty());
    }

    module->update_datastream("(status :busy 1)");
    module->update_controlpanel("(panel :x 2)");
    module->update_datastream(nullptr);
    module->update_controlpanel(nullptr);
    for (CInterfacePeer* peer : {&first, &second}) {
        auto stream = read_back(peer->next_message());
        ASSERT_NE(stream, nullptr);
        EXPECT_EQ(stream->ontology, "interface.stream");
        EXPECT_EQ(token(*stream, "content"), "datastream");
        EXPECT_EQ(token(*stream, "data"), "(status :busy 1)");
        auto panel = read_back(peer->next_message());
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->ontology, "interface.controls");
        EXPECT_EQ(token(*panel, "content"), "controlpanels");
        EXPECT_EQ(token(*panel, "data"), "(panel :x 2)");
        EXPECT_TRUE(peer->quiet());
    }
}

TEST_F(InterfaceModuleTest, UnregisteredStateDeactivatesEveryDatastream)
{
    CInterfacePeer first;
    CInterfacePeer second;
    locate("First", first.port);
    locate("Second", second.port);
    module->register_interface("First");
    module->register_interface("Second");
    for (CInterfacePeer* peer : {&first, &second}) {
        ASSERT_FALSE(peer->next_message().empty());
        ASSERT_FALSE(peer->next_message().empty());
    }

    for (unsigned state : {0u, 1u, 2u, 3u, 9u})
        EXPECT_EQ(module->change_state(state), 1);
    EXPECT_TRUE(first.quiet());

    EXPECT_EQ(module->change_state(CLogFacility::STATE_UNREGISTERED), 1);
    for (CInterfacePeer* peer : {&first, &second}) {
        auto stop = read_back(peer->next_message());
        ASSERT_NE(stop, nullptr);
        EXPECT_EQ(stop->ontology, "interface.stream");
        EXPECT_EQ(token(*stop, "action"), "deactivate");
        EXPECT_EQ(token(*stop, "content"), "datastream");
    }
    EXPECT_EQ(log.count("<CInterfaceModule> Unable to unregister datastream from interface "
                        "agent"),
              0);
}

TEST_F(InterfaceModuleTest, StoppingTheModulesThroughTheCommunicatorDeactivates)
{
    CInterfacePeer ui;
    locate("UI", ui.port);
    CInterfaceModule* owned = module.release();
    communicator->add_display(owned);
    owned->register_interface("UI");
    ASSERT_FALSE(ui.next_message().empty());
    ASSERT_FALSE(ui.next_message().empty());

    communicator->start_modules();
    EXPECT_TRUE(ui.quiet());
    communicator->shutdown_modules();
    auto stop = read_back(ui.next_message());
    ASSERT_NE(stop, nullptr);
    EXPECT_EQ(token(*stop, "action"), "deactivate");
}

TEST_F(InterfaceModuleTest, FailedSendsAreLogged)
{
    locate("Gone", closed_port());
    EXPECT_EQ(module->register_interface("Gone"), 1);
    EXPECT_EQ(log.count("<CInterfaceModule> Error sending message to interface agent"), 2);
    module->update_datastream("x");
    module->update_controlpanel("y");
    EXPECT_EQ(log.count("<CInterfaceModule> Error sending message to interface agent"), 4);
    module->change_state(CLogFacility::STATE_UNREGISTERED);
    EXPECT_EQ(log.count("<CInterfaceModule> Unable to unregister datastream from interface "
                        "agent"),
              1);

    // An interface agent that cannot be located is not sent to, which is not
    // a failed send.
    module->register_interface("Nowhere");
    EXPECT_EQ(log.count("<CInterfaceModule> Error sending message to interface agent"), 4);
}

TEST_F(InterfaceModuleTest, WithoutCommunicatorNothingCanBeSent)
{
    CInterfaceModule alone("alone", &db, nullptr, 0);
    alone.set_logger(module.get());
    EXPECT_EQ(alone.register_interface("UI"), 1);
    EXPECT_EQ(log.count("<CInterfaceModule> Error sending message to interface agent"), 2);
    EXPECT_EQ(alone.change_state(CLogFacility::STATE_UNREGISTERED), 1);
    EXPECT_EQ(log.count("<CInterfaceModule> Unable to unregister datastream from interface "
                        "agent"),
              1);
    alone.set_logger(nullptr);
}

} // namespace
