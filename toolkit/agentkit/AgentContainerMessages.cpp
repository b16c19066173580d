#include <agentkit/AgentContainer.h>

#include <agentkit/ContainerHelpers.h>
#include <agentkit/HTTPDriver.h>

#include <factkit/BeliefDB.h>
#include <wirekit/ClientSocket.h>
#include <wirekit/Communicator.h>
#include <wirekit/InterfaceModule.h>
#include <wirekit/ServerSocket.h>

#include <algorithm>
#include <cstdio>

namespace {

const char* const kDefaultOntology = "default-ontology";

const char* const kDefaultLanguage = "default-language";

const char* const kPingContent = "tell :type command :action ping";

} // namespace

using container_detail::for_each_module;
using container_detail::unquoted;

// --- messages -------------------------------------------------------------------

void CAgentContainer::process_acl_message(CClientSocket* socket)
{
    deliver_message(socket, socket ? socket->oldest_message() : nullptr);
}

void CAgentContainer::deliver_message(CClientSocket* socket, const CParsedMessage::Ptr& message)
{
    if (!message) {
        report_empty_connection(socket);
        return;
    }
    // The agent holds the message itself: whatever its handler does to the
    // connection cannot pull the text from under it.
    remember_reply_with(socket, *message);
    CCommunicator* communicator = get_communicator();
    if (communicator)
        communicator->set_answering(socket);
    if (message->is_parsed() && check_parsed_message(*message)) {
        process_internal();
    } else {
        give_to_modules(*message, CLogFacility::DIRECTION_INCOMING);
        current_connection = socket;
        process_parsed_message(*message);
        current_connection = nullptr;
    }
    if (communicator)
        communicator->set_answering(nullptr);
}

void CAgentContainer::report_empty_connection(CClientSocket* socket)
{
    debug("<CAgentContainer> Corrupted message/connection, investigating...");
    const int descriptor = socket ? socket->get_descriptor() : -1;
    const char* agent = socket ? socket->get_agentname() : nullptr;
    if (agent) {
        char line[512];
        std::snprintf(line, sizeof line, "<CAgentContainer> Agent name for connection [%d] is [%s]",
                      descriptor, agent);
        debug(line);
    } else {
        dprintf("<CAgentContainer> This connection [%d] does not have an agent name assigned", descriptor);
    }
    debug("<CAgentContainer> Connection exists but data is empty ?");
    debug("<CAgentContainer> Error receiving data, please examine logfile");
}

// A reply on this connection answers the message being handled now, so the
// connection keeps that message's reply-with value, or none when it has none.
void CAgentContainer::remember_reply_with(CClientSocket* socket, const CParsedMessage& message)
{
    const char* reply_with = message.reply_with();
    if (!reply_with) {
        socket->set_reply_with(nullptr);
        return;
    }
    socket->set_reply_with(unquoted(reply_with).c_str());
}

void CAgentContainer::give_to_modules(const CParsedMessage& message, int direction)
{
    for_each_module<CLogFacility>(communicator->get_modules(), [&](CLogFacility* module) {
        module->process_parsed_message(message, direction);
    });
}

int CAgentContainer::check_internal_message(const char* text)
{
    if (!text)
        return 0;
    const CParsedMessage::Ptr message = CParsedMessage::parse(text);
    return message->is_parsed() ? check_parsed_message(*message) : 0;
}

int CAgentContainer::check_parsed_message(const CParsedMessage& message)
{
    const char* sender = message.sender();
    const char* content = message.content();
    const char* ontology = message.ontology();
    debug("<CAgentContainer> Checking internal message");
    if (!sender || !content) {
        debug("<CAgentContainer> Vital parameters missing in message (check_internal_command)");
        return 0;
    }
    const std::string from = unquoted(sender);
    const std::string topic = unquoted(ontology);
    const std::string body = content;
    const char* self = get_agent_name();
    if (reject_own_messages && self && from == self) {
        debug("<CAgentContainer> Agent container is configured to reject cyclic messages, "
              "aborting");
        return 1;
    }
    // Only a content that is a "tell" or a "create" can be one of the
    // container's commands; any other (a long schedule, say) is not read
    // twice.
    const std::string performative = content_performative(body);
    if (performative != "tell" && performative != "create") {
        debug("<CAgentContainer> Message is not an internal message, continuing...");
        return 0;
    }
    const CParsedMessage::Ptr parsed_content = message.content_message();
    if (!parsed_content || !parsed_content->is_parsed()) {
        debug("<CAgentContainer> Unable to parse content field, aborting operation");
        return 0;
    }
    const CParsedMessage& command = *parsed_content;
    if (check_visibility(command))
        return 1;
    debug("<CAgentContainer> Message is not a visibility command");
    if (check_command(command, from))
        return 1;
    if (topic == "interface") {
        debug("<CAgentContainer> Ontology indicates an interface command, parsing further");
        if (check_interface(command))
            return 1;
    }
    debug("<CAgentContainer> Message is not an internal message, continuing...");
    return 0;
}

// The first word of a parenthesised content, without reading the rest.
std::string CAgentContainer::content_performative(const std::string& content)
{
    size_t start = content.find_first_not_of(" \t\r\n");
    if (start == std::string::npos || content[start] != '(')
        return std::string();
    start = content.find_first_not_of(" \t\r\n", start + 1);
    if (start == std::string::npos)
        return std::string();
    // find_first_of asks its set about every byte in turn, which costs a
    // call per byte of a long atom.
    const auto endsWord = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '(' || c == ')';
    };
    const auto end =
        std::find_if(content.begin() + static_cast<std::ptrdiff_t>(start), content.end(), endsWord);
    return std::string(content.begin() + static_cast<std::ptrdiff_t>(start), end);
}

int CAgentContainer::check_visibility(const CParsedMessage& content)
{
    if (unquoted(content.performative()) != "tell" || unquoted(content.field("type")) != "visibility")
        return 0;
    const std::string action = unquoted(content.field("action"));
    return action == "show" || action == "hide";
}

int CAgentContainer::check_command(const CParsedMessage& content, const std::string& sender)
{
    debug("<CAgentContainer> Checking command ...");
    if (unquoted(content.performative()) != "tell" || unquoted(content.field("type")) != "command")
        return 0;
    const std::string action = unquoted(content.field("action"));
    if (action == "shutdown") {
        debug("<CAgentContainer> Detected shutdown command");
        shutdown_requested = 1;
    } else if (action == "send_basetype") {
        debug("<CAgentContainer> Detected basetype query");
        send_basetype(sender);
    } else if (action == "ping") {
        debug("<CAgentContainer> Detected ping command");
    } else {
        return 0;
    }
    debug("<CAgentContainer> Message indicated to be an internal message");
    return 1;
}

void CAgentContainer::send_basetype(const std::string& sender)
{
    const char* type = get_type();
    if (communicator->comm_sendmessage("tell", sender.c_str(), kDefaultOntology, kDefaultLanguage, nullptr,
                                       nullptr, nullptr, type ? type : "", nullptr))
        debug("Error sending basetype request to agent");
}

// An interface agent asks with "create" for another agent to be fed this
// agent's datastream: the agent named by "to" becomes an interface agent.
int CAgentContainer::check_interface(const CParsedMessage& content)
{
    if (unquoted(content.performative()) != "create")
        return 0;
    const std::string from = unquoted(content.field("from"));
    const std::string to = unquoted(content.field("to"));
    if (from.empty() || to.empty())
        return 0;
    std::string line = "<CAgentContainer> Interface create request from [" + from + "] to [" + to + "]";
    debug(line.c_str());
    if (interface_module)
        interface_module->register_interface(to.c_str());
    return 1;
}

void CAgentContainer::check_integrity()
{
    debug("<CAgentContainer> check_integrity ()");
    if (!beliefdb->get_modified())
        return;
    process_internal();
    beliefdb->collect_garbage();
    beliefdb->set_modified(0);
}

int CAgentContainer::ping_agent(const char* name)
{
    char host[CCommunicator::HOST_BUFFER_SIZE] = "";
    unsigned port = 0;
    // A receiver that cannot be located gives the same null result as a
    // message that went out, so it is looked up first.
    if (!name || !communicator || communicator->comm_lookup(name, host, &port, sizeof host)) {
        debug("<CAgentContainer> ping failed");
        return 0;
    }
    if (communicator->comm_sendmessage_internal("tell", name, kDefaultOntology, kDefaultLanguage, "cricket",
                                                nullptr, nullptr, kPingContent, nullptr)) {
        debug("<CAgentContainer> ping failed");
        return 0;
    }
    return 1;
}
