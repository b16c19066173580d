#include "AgentTell.h"

#include "ReplyJson.h"

#include <agentkit/DlgContainer.h>

#include <basekit/URL.h>
#include <lexikit/Parser.h>
#include <notekit/ServiceInfo.h>
#include <platform/EventLoop.h>
#include <platform/KeyPair.h>
#include <wirekit/ClientSocket.h>
#include <wirekit/Communicator.h>

#include <cmath>
#include <optional>
#include <vector>

CAgentTell::CAgentTell(const CTellOptions& given, LineWriter out_lines, LineWriter err_lines)
    : CAgentContainer(given.agent_name().c_str()), options(given), out(std::move(out_lines)),
      err(std::move(err_lines))
{
    set_shutdown_pause(0);
    set_belief_dump_file(nullptr);
    set_lookup_config(options.lookup_mask());
}

int CAgentTell::run(CDlgContainer& dialog)
{
    if (!start(dialog))
        return EXIT_NOT_SENT;
    if (options.discover && !discover_receiver(dialog))
        return EXIT_NOT_SENT;
    if (!send() || !await_delivery(dialog))
        return EXIT_NOT_SENT;
    collect(dialog);
    if (undelivered)
        return not_delivered();
    if (options.wait_seconds > 0 && replies == 0) {
        err("agent-tell: no reply from [" + options.receiver + "] within " + options.wait_text());
        return EXIT_NO_REPLY;
    }
    return EXIT_SENT;
}

// Checked inside a message, as the receiver finds it there.
bool CAgentTell::content_parses(const std::string& content)
{
    if (content.find_first_not_of(" \t\r\n") == std::string::npos)
        return false;
    CParser parser;
    return parser.parse_message(("(tell :content ( " + content + " ))").c_str()) == 1 &&
           parser.find_content();
}

bool CAgentTell::start(CDlgContainer& dialog)
{
    window = &dialog;
    if (!use_keys())
        return false;
    // The container keeps the argument vector, so it lives as long as the
    // agent does.
    arguments = options.container_args();
    arguments.insert(arguments.begin(), "agent-tell");
    for (std::string& arg : arguments)
        argument_pointers.push_back(arg.data());
    argument_pointers.push_back(nullptr);
    if (!dialog.CreateContainer(static_cast<int>(arguments.size()), argument_pointers.data(), 0)) {
        err("agent-tell: the agent could not start (no port to listen on)");
        return false;
    }
    if (!options.at.empty())
        add_receiver_address();
    return true;
}

// The run's key lasts the run: it proves nothing about a name, but lets the
// receiver be asked to prove its own.
bool CAgentTell::use_keys()
{
    CCommunicator* communicator = get_communicator();
    std::string error;
    std::optional<CKeyPair> key = CKeyPair::Create(options.agent_name(), error);
    if (!key) {
        err("agent-tell: no key for this run: " + error);
        return false;
    }
    communicator->set_key_pair(std::move(*key), false);
    communicator->set_trust_unproven(options.trust_unauthenticated);
    communicator->set_key_pins(
        options.known_agents, [this](const std::string& notice) { err("agent-tell: " + notice); }, false);
    communicator->set_undelivered_listener([this](const std::string& agent, const std::string&) {
        if (agent != options.receiver)
            return;
        undelivered = true;
        if (window)
            window->EndDialog(0);
    });
    return true;
}

void CAgentTell::add_receiver_address()
{
    auto record = std::make_unique<CServiceInfo>(options.receiver.c_str());
    record->set_location(new CURL(options.at.c_str()));
    record->set_type(1);
    if (CLList* table = obtain_network_db())
        table->add_element(record.release());
}

// Answers to the search come as datagrams, each one followed by an
// environment change; the wait ends at the first that locates the receiver.
bool CAgentTell::discover_receiver(CDlgContainer& dialog)
{
    if (!receiver_located()) {
        get_communicator()->comm_activate_lookup(options.receiver.c_str());
        const double seconds =
            options.wait_seconds > 0 ? options.wait_seconds : CTellOptions::DEFAULT_WAIT_SECONDS;
        CEventLoop* loop = dialog.GetEventLoop();
        const CEventLoop::TimerId timer =
            loop->AddTimer(static_cast<unsigned>(std::lround(seconds * 1000.0)), false,
                           [&dialog](CEventLoop::TimerId) { dialog.EndDialog(0); });
        discovering = true;
        dialog.DoModal();
        discovering = false;
        loop->KillTimer(timer);
    }
    if (receiver_located())
        return true;
    err("agent-tell: agent [" + options.receiver + "] was not found on the local network");
    return false;
}

bool CAgentTell::receiver_located()
{
    CLList* table = obtain_network_db();
    auto* record =
        table ? dynamic_cast<CServiceInfo*>(table->find_element(options.receiver.c_str())) : nullptr;
    return record && !record->get_gone() && record->get_location();
}

void CAgentTell::process_environment_change()
{
    if (discovering && window && receiver_located())
        window->EndDialog(0);
}

bool CAgentTell::send()
{
    CCommunicator* communicator = get_communicator();
    char host[CCommunicator::HOST_BUFFER_SIZE] = "";
    unsigned port = 0;
    const char* receiver = options.receiver.c_str();
    if (communicator->comm_lookup(receiver, host, &port, sizeof host)) {
        const char* why = options.at.empty() ? communicator->comm_ans_error() : nullptr;
        err("agent-tell: agent [" + options.receiver + "] could not be located" +
            (why && *why ? std::string(": ") + why : std::string()));
        return false;
    }
    // One send and the program may end: the connect must be done by then,
    // and its failure said.
    communicator->set_wait_for_connect(true);
    CClientSocket* socket = communicator->comm_sendmessage_socket(
        "tell", receiver, "default-ontology", "default-language", communicator->create_reply_with(), nullptr,
        nullptr, options.content.c_str(), nullptr);
    if (!socket) {
        err(communicator->get_result());
        return false;
    }
    descriptor = socket->get_descriptor();
    return true;
}

// The program may end right after the send, so a TLS handshake still under
// way is waited for (it is bounded by the connection's own time limit): a
// message is "sent" only once it went out.
bool CAgentTell::await_delivery(CDlgContainer& dialog)
{
    CClientSocket* socket = get_communicator()->get_connection(descriptor);
    if (socket && socket->awaiting_connect()) {
        socket->set_waiting_sent([this] {
            went_out = true;
            if (window)
                window->EndDialog(0);
        });
        dialog.DoModal();
        undelivered = undelivered || !went_out;
    }
    if (undelivered)
        not_delivered();
    return !undelivered;
}

int CAgentTell::not_delivered()
{
    err("agent-tell: the message did not reach [" + options.receiver +
        "]: the connection failed, or the agent there did not prove its name");
    return EXIT_NOT_SENT;
}

void CAgentTell::collect(CDlgContainer& dialog)
{
    if (options.wait_seconds <= 0)
        return;
    CEventLoop* loop = dialog.GetEventLoop();
    const unsigned wait_ms = static_cast<unsigned>(std::lround(options.wait_seconds * 1000.0));
    const CEventLoop::TimerId timer =
        loop->AddTimer(wait_ms, false, [&dialog](CEventLoop::TimerId) { dialog.EndDialog(0); });
    dialog.DoModal();
    loop->KillTimer(timer);
}

int CAgentTell::process_message(char* text)
{
    CClientSocket* connection = get_current_connection();
    if (!connection || connection->get_descriptor() != descriptor)
        return 0;
    out(options.json ? CReplyJson::Format(text ? text : "") : std::string(text ? text : ""));
    ++replies;
    if (options.replies > 0 && replies >= options.replies && window)
        window->EndDialog(0);
    return 1;
}

int CAgentTell::get_replies() const
{
    return replies;
}
