#include <wirekit/InterfaceModule.h>

#include <wirekit/Communicator.h>

#include <basekit/NameSpace.h>
#include <lexikit/ParsedMessage.h>

#include <cstring>
#include <vector>

namespace {

const char* const kLanguage = "ORVANTE-KQML";
const char* const kStreamOntology = "interface.stream";
const char* const kControlsOntology = "interface.controls";

bool same(const char* text, const char* expected)
{
    return text && std::strcmp(text, expected) == 0;
}

// A value may be written as an atom or as a quoted string.
std::string unquoted(const char* value)
{
    std::string text = value ? value : "";
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    return text;
}

} // namespace

CInterfaceModule::CTextSink::~CTextSink() = default;

CInterfaceModule::CInterfaceModule(const char* name, CBeliefDB* beliefdb, CCommunicator* communicator,
                                   unsigned value)
    : CLogFacility(name, beliefdb, communicator, value), interfaces("Interface agents")
{
}

CInterfaceModule::~CInterfaceModule() = default;

void CInterfaceModule::display(const char* text)
{
    if (!text)
        return;
    status_text = text;
    if (status)
        status->show_text(text);
    if (console)
        console->show_text(text);
}

const std::string& CInterfaceModule::get_status_text() const
{
    return status_text;
}

// Outgoing copies are left alone: they are this agent's own words, and
// reading them would let the agent register itself as its own interface.
void CInterfaceModule::process_message(const char* text, int direction)
{
    if (text && direction == DIRECTION_INCOMING)
        process_parsed_message(*CParsedMessage::parse(text), direction);
}

void CInterfaceModule::process_parsed_message(const CParsedMessage& message, int direction)
{
    if (direction != DIRECTION_INCOMING || !message.is_parsed())
        return;
    const char* ontology = message.ontology();
    if (!same(ontology, "interface") && !same(ontology, "INTERFACE")) {
        dprintf("<CInterfaceModule> Ontology does not seem to indicate an interface message");
        return;
    }
    handle_content(message.sender(), message.content_message().get());
}

void CInterfaceModule::handle_content(const char* sender, const CParsedMessage* content)
{
    if (!content || !content->is_parsed()) {
        dprintf("<CInterfaceModule> Unable to parse content field");
        return;
    }
    if (!same(content->performative(), "ask") || !sender)
        return;
    std::string request = unquoted(content->field("content"));
    if (request == "register") {
        dprintf("<CInterfaceModule> Interface register request found");
        register_interface(sender);
    } else if (request == "unregister") {
        dprintf("<CInterfaceModule> Interface unregister request found");
        unregister_interface(sender);
    } else if (request == "lineage") {
        reply_lineage(sender);
    }
}

int CInterfaceModule::change_state(unsigned state)
{
    if (state != STATE_UNREGISTERED)
        return 1;
    for (const std::string& name : interface_names()) {
        if (!send_interface(name.c_str(), kStreamOntology, "tell :action deactivate :content datastream"))
            dprintf("<CInterfaceModule> Unable to unregister datastream from interface agent");
    }
    return 1;
}

int CInterfaceModule::register_interface(const char* name)
{
    if (!name)
        return 0;
    if (interfaces.find_element(name)) {
        dprintf("<CInterfaceModule> Interface already registered, aborting ...");
        return 0;
    }
    interfaces.add_element(new CListElement(name));
    dprintf("<CInterfaceModule> Added agent to list of interfaces");
    report_failure(send_interface(name, kStreamOntology, "tell :action activate :content datastream"));
    report_failure(send_controlpanel(name, controlpanel_details()));
    return 1;
}

int CInterfaceModule::unregister_interface(const char* name)
{
    return (name && interfaces.delete_element_by_name(name)) ? 1 : 0;
}

void CInterfaceModule::update_datastream(const char* text)
{
    if (!text)
        return;
    std::string content = std::string("tell :action update :content datastream :data ") + text;
    for (const std::string& name : interface_names())
        report_failure(send_interface(name.c_str(), kStreamOntology, content));
}

void CInterfaceModule::update_controlpanel(const char* text)
{
    if (!text)
        return;
    for (const std::string& name : interface_names())
        report_failure(send_controlpanel(name.c_str(), text));
}

CLList* CInterfaceModule::get_interfaces()
{
    return &interfaces;
}

void CInterfaceModule::set_lineage(CNameSpace* value)
{
    lineage = value;
}

CNameSpace* CInterfaceModule::get_lineage()
{
    return lineage;
}

void CInterfaceModule::set_status(CTextSink* sink)
{
    status = sink;
}

void CInterfaceModule::set_console(CTextSink* sink)
{
    console = sink;
}

void CInterfaceModule::reply_lineage(const char* receiver)
{
    std::string content = "reply :lineage " + lineage_text();
    report_failure(send(receiver, "reply", "interface", content));
}

bool CInterfaceModule::send_interface(const char* receiver, const char* ontology, const std::string& content)
{
    return send(receiver, "tell", ontology, content);
}

bool CInterfaceModule::send_controlpanel(const char* receiver, const std::string& data)
{
    return send_interface(receiver, kControlsOntology,
                          "tell :action update :content controlpanels :data " + data);
}

// A receiver that cannot be located is not an error of the send (the
// communicator gives null then, as for a message that went out).
bool CInterfaceModule::send(const char* receiver, const char* performative, const char* ontology,
                            const std::string& content)
{
    CCommunicator* communicator = get_communicator();
    if (!communicator)
        return false;
    return communicator->comm_sendmessage_internal(performative, receiver, ontology, kLanguage, nullptr,
                                                   nullptr, nullptr, content.c_str(), nullptr) == nullptr;
}

void CInterfaceModule::report_failure(bool sent)
{
    if (!sent)
        dprintf("<CInterfaceModule> Error sending message to interface agent");
}

std::string CInterfaceModule::lineage_text()
{
    const char* text = lineage ? lineage->to_string() : nullptr;
    return text ? text : "()";
}

std::string CInterfaceModule::controlpanel_details()
{
    CCommunicator* communicator = get_communicator();
    const char* name = communicator ? communicator->get_name() : nullptr;
    const char* address = communicator ? communicator->comm_get_ip() : nullptr;
    int port = communicator ? communicator->get_port() : 0;
    return std::string("tell :name ") + (name ? name : "") + " :location " + (address ? address : "") +
           " :port " + std::to_string(port);
}

// A copy, so that a send cannot disturb the walk over the list.
std::vector<std::string> CInterfaceModule::interface_names()
{
    std::vector<std::string> names;
    for (CListElement* e = interfaces.get_first_element(); e; e = e->get_next()) {
        if (const char* name = e->get_name())
            names.emplace_back(name);
    }
    return names;
}
