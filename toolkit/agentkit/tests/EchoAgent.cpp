// An agent process for the tests: answers every message to its sender with
// "echo" and the message's content, and ends when told to shut down or on
// SIGTERM. Prints "ready <port>" once it runs. Options are the container's,
// plus -pause MS for the shutdown pause, -listen ADDRESS (127.0.0.1 unless
// given) and -lookup MASK (2, the name server, unless given). With discovery
// in the mask it prints "found NAME" and "gone NAME" as agents come and go.
// It prints "heard SENDER" for each message. With -key PATH it proves its
// name with the key in PATH (made there if missing; "key KEY" is printed
// before "ready"), keeps the keys it
// sees in -pins PATH ("key-changed NAME" when one changes), and with
// -claim-key KEY its announcements carry KEY instead of its own: an
// impostor, for the tests.

#include <agentkit/AgentContainer.h>
#include <agentkit/DlgContainer.h>

#include <basekit/CommandLine.h>
#include <lexikit/Parser.h>
#include <platform/PollEventLoop.h>
#include <notekit/ServiceInfo.h>
#include <platform/KeyPair.h>
#include <wirekit/Communicator.h>
#include <wirekit/Discovery.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

class CEchoAgent : public CAgentContainer {
public:
    CEchoAgent() : CAgentContainer("EchoAgent") {}

    int process_message(char* text) override
    {
        CParser parser;
        if (!parser.parse_message(text) || !parser.find_sender())
            return 0;
        std::printf("heard %s\n", parser.find_sender());
        std::fflush(stdout);
        const char* content = parser.find_content();
        get_communicator()->comm_sendmessage("tell", parser.find_sender(), "default-ontology",
                                             "default-language", nullptr, nullptr, nullptr, "echo",
                                             content ? content : "", nullptr);
        return 1;
    }

    void process_internal() override
    {
        if (get_shutdown_requested() && on_shutdown)
            on_shutdown();
    }

    void handle_parse_args(CCommandLine* commandline) override
    {
        if (const char* pause = commandline->find_token("pause"))
            set_shutdown_pause(static_cast<unsigned>(std::strtoul(pause, nullptr, 10)));
        if (const char* address = commandline->find_token("listen"))
            get_communicator()->set_listen_address(address);
        if (const char* mask = commandline->find_token("lookup"))
            set_lookup_config(static_cast<int>(std::strtol(mask, nullptr, 10)) & 3);
        if (const char* pins = commandline->find_token("pins"))
            get_communicator()->set_key_pins(pins, [](const std::string& notice) {
                std::printf("key-changed %s\n", notice.c_str());
                std::fflush(stdout);
            });
        if (const char* path = commandline->find_token("key"))
            use_key(path);
        if (const char* key = commandline->find_token("claim-key"))
            claimed_key = key;
    }

    // Called once the container runs, when its discovery module exists.
    void claim_key()
    {
        auto* discovery = dynamic_cast<CDiscovery*>(get_communicator()->retrieve_dsc_object());
        if (discovery && !claimed_key.empty())
            discovery->set_key_source([key = claimed_key] { return key; });
    }

    void process_environment_change() override
    {
        CLList* table = get_communicator()->get_lookup_table();
        for (CListElement* e = table ? table->get_element(0) : nullptr; e; e = e->get_next()) {
            auto* record = dynamic_cast<CServiceInfo*>(e);
            if (!record || !record->get_name())
                continue;
            const bool present = !record->get_gone();
            auto [known, added] = seen.emplace(record->get_name(), present);
            if (added ? present : known->second != present) {
                known->second = present;
                std::printf("%s %s\n", present ? "found" : "gone", record->get_name());
                std::fflush(stdout);
            }
        }
    }

    std::function<void()> on_shutdown;

private:
    void use_key(const char* path)
    {
        std::string error;
        std::optional<CKeyPair> key = CKeyPair::LoadOrCreate(path, get_agent_name(), error);
        if (!key) {
            std::fprintf(stderr, "echo agent: no key: %s\n", error.c_str());
            std::exit(1);
        }
        get_communicator()->set_key_pair(std::move(*key));
    }

    std::map<std::string, bool> seen;
    std::string claimed_key;
};

} // namespace

int main(int argc, char** argv)
{
    CPollEventLoop loop;
    auto owned = std::make_unique<CEchoAgent>();
    CEchoAgent* agent = owned.get();
    agent->set_lookup_config(CAgentContainer::LOOKUP_NAME_SERVER);
    agent->set_belief_dump_file(nullptr);
    agent->get_communicator()->set_listen_address("127.0.0.1");
    CDlgContainer dialog(std::move(owned));
    agent->on_shutdown = [&dialog] { dialog.EndDialog(0); };
    loop.HandleSignals({SIGINT, SIGTERM}, [&dialog](int) { dialog.EndDialog(0); });
    if (!dialog.CreateContainer(argc, argv, 0))
        return 1;
    agent->claim_key();
    if (const CKeyPair* key = agent->get_communicator()->get_key_pair())
        std::printf("key %s\n", key->PublicKeyText().c_str());
    std::printf("ready %d\n", agent->get_port());
    std::fflush(stdout);
    return dialog.DoModal();
}
