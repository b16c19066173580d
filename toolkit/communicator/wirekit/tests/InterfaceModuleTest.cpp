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

#include <map>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using Fields = std::map<std::string, std::string>;

// An interface agent's end: a listening socket on 127.0.0.1 read directly.
class CInterfacePeer {
public:
    CInterfacePeer()
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, wiretest::kLoopback, &address.sin_addr);
        socklen_t size = sizeof address;
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), size);
        ::listen(listener, 4);
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin_port);
    }
    ~CInterfacePeer()
    {
        ::close(listener);
        if (connection >= 0)
            ::close(connection);
    }

    // The next message's head fields and content fields ("content." keys),
    // or nothing when no message comes within `wait_ms`.
    Fields next(int wait_ms = 5000)
    {
        size_t end;
        while ((end = pending.find('\x04')) == std::string::npos) {
            if (!wait(connection < 0 ? listener : connection, wait_ms))
                return {};
            if (connection < 0) {
                connection = ::accept(listener, nullptr, nullptr);
                continue;
            }
            char buffer[4096];
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0)
                return {};
            pending.append(buffer, static_cast<size_t>(got));
        }
        const std::string message = pending.substr(0, end);
        pending.erase(0, end + 1);
        return read_fields(message);
    }

    unsigned port = 0;

private:
    static bool wait(int fd, int ms)
    {
        pollfd ready{fd, POLLIN, 0};
        return ::poll(&ready, 1, ms) == 1;
    }
    static Fields read_fields(const std::string& message)
    {
        auto text = [](const char* value) { return std::string(value ? value : ""); };
        CParser head, content;
        if (!head.parse_message(message.c_str()) || !head.find_contents() ||
            !content.parse_message(head.find_contents()))
            return {{"unparsable", message}};
        Fields fields{{"performative", text(head.find_performative())},
                      {"content.performative", text(content.find_performative())}};
        for (const char* key : {"receiver", "sender", "ontology", "language"})
            fields[key] = text(head.find_token(key));
        for (const char* key : {"action", "content", "data", "name", "location", "port", "lineage"})
            if (const char* value = content.find_token(key))
                fields[std::string("content.") + key] = value;
        return fields;
    }

    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int connection = -1;
    std::string pending;
};

class CRecordingSink : public CInterfaceModule::CTextSink {
public:
    void show_text(const char* text) override { shown.emplace_back(text); }
    Lines shown;
};

class InterfaceModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        db.add_element(new CStringBelief("name", "Alice"));
        db.add_element(new CIntBelief("port", 0));
        db.add_element(new CListBelief("lookup", new CLList()));
        communicator.set_handler(&handler);
        ASSERT_EQ(communicator.Create(), 1);
        module = new CInterfaceModule("Alice", &db, &communicator, 0);
        communicator.add_display(module);
        log.logger.close();
        module->Create(log.path.c_str());
    }

    // Tells the agent where `name` listens.
    void locate(const char* name, unsigned port)
    {
        auto* entry = new CServiceInfo(name);
        entry->set_location(new CURL(("tcp://127.0.0.1:" + std::to_string(port)).c_str()));
        communicator.get_lookup_table()->add_element(entry);
    }

    void receive(const std::string& sender, const std::string& content, int direction = 1,
                 const std::string& ontology = "interface")
    {
        const std::string text = "(tell :sender " + sender + " :receiver Alice :ontology " + ontology +
                                 " :content " + content + ")";
        module->process_message(text.c_str(), direction);
    }

    Lines interface_names()
    {
        Lines names;
        for (CListElement* e = module->get_interfaces()->get_first_element(); e; e = e->get_next())
            names.emplace_back(e->get_name());
        return names;
    }

    CPollEventLoop loop;
    CWnd handler{&loop};
    CBeliefDB db;
    CCommunicator communicator{&db};
    CInterfaceModule* module = nullptr; // owned by the communicator
    wiretest::CLogFile log;
};

TEST_F(InterfaceModuleTest, DisplayShowsTheTextInStatusAndConsole)
{
    CRecordingSink status, console;
    module->display("before any sink");
    module->set_status(&status);
    module->set_console(&console);
    module->display("<CCommunicator> Communicator running");
    module->display(nullptr);
    module->set_status(nullptr);
    module->display("console only");
    EXPECT_EQ(status.shown, (Lines{"<CCommunicator> Communicator running"}));
    EXPECT_EQ(console.shown, (Lines{"<CCommunicator> Communicator running", "console only"}));
    EXPECT_EQ(module->get_status_text(), "console only");
    module->set_console(nullptr);
}

TEST_F(InterfaceModuleTest, RegisterRequestActivatesOnceAndARepeatSendsNothing)
{
    CInterfacePeer ui;
    locate("UI", ui.port);
    receive("UI", "(ask :content register)");
    EXPECT_EQ(ui.next(), (Fields{{"performative", "tell"},
                                 {"receiver", "UI"},
                                 {"sender", "Alice"},
                                 {"ontology", "interface.stream"},
                                 {"language", "ORVANTE-KQML"},
                                 {"content.performative", "tell"},
                                 {"content.action", "activate"},
                                 {"content.content", "datastream"}}));
    const Fields panel = ui.next();
    EXPECT_EQ(panel.at("ontology"), "interface.controls");
    EXPECT_EQ(panel.at("content.content"), "controlpanels");
    EXPECT_EQ(panel.at("content.data"), "tell");
    EXPECT_EQ(panel.at("content.name"), "Alice");
    EXPECT_EQ(panel.at("content.location"), communicator.comm_get_ip());
    EXPECT_EQ(panel.at("content.port"), std::to_string(communicator.get_port()));

    receive("UI", "(ask :content register)");
    EXPECT_EQ(module->register_interface("UI"), 0);
    EXPECT_EQ(interface_names(), (Lines{"UI"}));
    EXPECT_EQ(log.count("<CInterfaceModule> Interface register request found"), 2);
    EXPECT_EQ(log.count("<CInterfaceModule> Interface already registered, aborting ..."), 2);
    EXPECT_EQ(log.count("<CInterfaceModule> Added agent to list of interfaces"), 1);
    // The next thing the interface agent hears is the next real update.
    module->update_datastream("probe");
    EXPECT_EQ(ui.next().at("content.data"), "probe");
}

TEST_F(InterfaceModuleTest, OnlyIncomingAskRequestsWithInterfaceOntologyCount)
{
    receive("Out", "(ask :content register)", CLogFacility::DIRECTION_OUTGOING);
    receive("Other", "(ask :content register)", 1, "calendar");
    receive("Tell", "(tell :content register)");
    receive("Quoted", "\"((\"");
    module->process_message("(tell :ontology interface :content (ask :content register))", 1);
    module->process_message("not a message", 1);
    module->process_message(nullptr, 1);
    EXPECT_TRUE(interface_names().empty());
    EXPECT_EQ(log.count("<CInterfaceModule> Ontology does not seem to indicate an interface message"), 1);
    EXPECT_EQ(log.count("<CInterfaceModule> Unable to parse content field"), 1);

    receive("A", "(ask :content register)", 1, "INTERFACE");
    receive("B", "(ask :content \"register\")");
    receive("A", "(ask :content unregister)");
    EXPECT_EQ(interface_names(), (Lines{"B"}));
    EXPECT_EQ(log.count("<CInterfaceModule> Interface unregister request found"), 1);
    EXPECT_EQ(module->unregister_interface("A") + module->unregister_interface(nullptr), 0);
}

TEST_F(InterfaceModuleTest, LineageRequestIsAnswered)
{
    CInterfacePeer ui;
    locate("UI", ui.port);
    CNameSpace lineage;
    lineage.add_name("CAgent");
    lineage.add_name("CVespera");
    module->set_lineage(&lineage);
    receive("UI", "(ask :content lineage)");
    const Fields reply = ui.next();
    EXPECT_EQ(reply.at("performative"), "reply");
    EXPECT_EQ(reply.at("ontology"), "interface");
    EXPECT_EQ(reply.at("content.performative"), "reply");
    EXPECT_EQ(reply.at("content.lineage"), "(CAgent:CVespera)");
    module->set_lineage(nullptr);
    receive("UI", "(ask :content lineage)");
    EXPECT_EQ(ui.next().at("content.lineage"), "()");
    EXPECT_TRUE(interface_names().empty());
}

TEST_F(InterfaceModuleTest, UpdatesAndDeactivationGoToEveryInterfaceAgent)
{
    CInterfacePeer first, second;
    locate("First", first.port);
    locate("Second", second.port);
    module->register_interface("First");
    module->register_interface("Second");
    module->update_datastream("(status :busy 1)");
    module->update_controlpanel("(panel :x 2)");
    communicator.start_modules();
    communicator.shutdown_modules();
    for (CInterfacePeer* peer : {&first, &second}) {
        EXPECT_EQ(peer->next().at("content.action"), "activate");
        EXPECT_EQ(peer->next().at("content.content"), "controlpanels");
        const Fields stream = peer->next();
        EXPECT_EQ(stream.at("ontology"), "interface.stream");
        EXPECT_EQ(stream.at("content.data"), "(status :busy 1)");
        const Fields panel = peer->next();
        EXPECT_EQ(panel.at("ontology"), "interface.controls");
        EXPECT_EQ(panel.at("content.data"), "(panel :x 2)");
        const Fields stop = peer->next();
        EXPECT_EQ(stop.at("content.action"), "deactivate");
        EXPECT_EQ(stop.at("content.content"), "datastream");
        EXPECT_TRUE(peer->next(200).empty());
    }
}

TEST_F(InterfaceModuleTest, FailedSendsAreLogged)
{
    unsigned closed = CInterfacePeer().port;
    locate("Gone", closed);
    module->register_interface("Gone");
    module->update_datastream("x");
    module->change_state(CLogFacility::STATE_UNREGISTERED);
    EXPECT_EQ(log.count("<CInterfaceModule> Error sending message to interface agent"), 3);
    EXPECT_EQ(log.count("<CInterfaceModule> Unable to unregister datastream from interface agent"), 1);

    // An agent that cannot be located is not sent to, which is no failure;
    // without a communicator nothing can be sent at all.
    module->register_interface("Nowhere");
    CInterfaceModule alone("alone", &db, nullptr, 0);
    alone.set_logger(module);
    alone.register_interface("UI");
    EXPECT_EQ(log.count("<CInterfaceModule> Error sending message to interface agent"), 5);
}

} // namespace
