#include <agentkit/AgentContainer.h>

#include <agentkit/HTTPDriver.h>

#include <basekit/CommandLine.h>
#include <basekit/GUID.h>
#include <basekit/Utils.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <lexikit/KQMLText.h>
#include <namekit/ANSClient.h>
#include <platform/Wnd.h>
#include <wirekit/ClientSocket.h>
#include <wirekit/CommDialogs.h>
#include <wirekit/Communicator.h>
#include <wirekit/ServerSocket.h>
#include <wirekit/FileModule.h>
#include <wirekit/InterfaceModule.h>
#include <wirekit/SocketBase.h>

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

const char* const kDefaultOntology = "default-ontology";
const char* const kDefaultLanguage = "default-language";
const char* const kPingContent = "tell :type command :action ping";

__attribute__((format(printf, 1, 0))) std::string format_line(const char* fmt, va_list args)
{
    if (!fmt)
        return std::string();
    va_list measure;
    va_copy(measure, args);
    int length = std::vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (length <= 0)
        return std::string();
    std::string line(static_cast<std::size_t>(length) + 1, '\0');
    va_list copy;
    va_copy(copy, args);
    std::vsnprintf(line.data(), line.size(), fmt, copy);
    va_end(copy);
    line.resize(static_cast<std::size_t>(length));
    return line;
}

// A whole decimal number from 0 to 65535; anything else is refused.
bool parse_port(const char* text, int& port)
{
    if (!text || !*text)
        return false;
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

std::string unquoted(const char* text)
{
    return text ? CKQMLText::unquote(text) : std::string();
}

bool is_yes(const char* text)
{
    return text && (std::strcmp(text, "yes") == 0 || std::strcmp(text, "YES") == 0 ||
                    std::strcmp(text, "y") == 0 || std::strcmp(text, "Y") == 0);
}

// The lists handed to the modules' hooks are walked by their links, not the
// list's own cursor, so a hook that walks the same list cannot derail this
// walk.
template <typename Module, typename Call>
void for_each_module(CLList* list, Call call)
{
    if (!list)
        return;
    for (CListElement* element = list->get_element(0); element;) {
        CListElement* next = element->get_next();
        if (Module* module = dynamic_cast<Module*>(element))
            call(module);
        element = next;
    }
}

} // namespace

// --- construction and destruction ---------------------------------------------

CAgentContainer::CAgentContainer()
{
    build(nullptr);
}

CAgentContainer::CAgentContainer(const char* name) : CAgent(name)
{
    build(name);
}

void CAgentContainer::build(const char* name)
{
    add_beliefs(name);
    communicator = std::make_unique<CCommunicator>(beliefdb.get());
    communicator->set_user_hooks(CCommDialogs::StandardHooks());
    communicator->set_service_type(service_type);
    set_type("agent");
    get_base_type()->add_name("agent");
    http_driver = std::make_unique<CHTTPDriver>();
}

void CAgentContainer::add_beliefs(const char* name)
{
    beliefdb = std::make_unique<CBeliefDB>();
    beliefdb->add_element(new CStringBelief("name", name ? name : DEFAULT_NAME));
    beliefdb->add_element(new CIntBelief("port", 0));
    beliefdb->add_element(new CStringBelief("ans", UNKNOWN_ANS));
    beliefdb->add_element(new CIntBelief("ansport", DEFAULT_ANS_PORT));
    CGUID uuid;
    beliefdb->add_element(new CStringBelief("uuid", uuid.get_guid()));
    beliefdb->add_element(new CListBelief("lookup", new CLList("lookup")));
}

CAgentContainer::~CAgentContainer()
{
    pause_for_pending_messages();
    pid_file.remove();
    debug("<CAgentContainer> Exiting messageloop");
    dump_beliefs();
    debug("<CAgentContainer> Shutting developer defined sockets ...");
    remove_alternative_sockets();
    debug("<CAgentContainer> Shutting down client modules ...");
    communicator->shutdown_modules();
    debug("<CAgentContainer> Shutting down agent shell");
    shut_down_communicator();
    debug("<CAgentContainer> Communicator no longer running !");
    // The driver may write into the file log's stream, so it goes first.
    http_driver.reset();
    file_module = nullptr;
    released_file_module.reset();
    beliefdb.reset();
    unhook_log_flush();
}

// Only a container that ran can have messages in flight; one that never
// started leaves at once.
void CAgentContainer::pause_for_pending_messages()
{
    if (state != STATE_RUNNING)
        return;
    char line[160];
    std::snprintf(line, sizeof line,
                  "<CAgentContainer> Sleeping for %g seconds to make sure remote agents have time "
                  "to process pending messages",
                  shutdown_pause_ms / 1000.0);
    debug(line);
    std::this_thread::sleep_for(std::chrono::milliseconds(shutdown_pause_ms));
}

void CAgentContainer::dump_beliefs()
{
    if (dump_enabled)
        beliefdb->dump_beliefs(belief_dump_file.c_str());
}

// The file log is taken out of the communicator's modules before the
// communicator goes, so that its own shutdown lines and the container's last
// line still have a file to go to.
void CAgentContainer::shut_down_communicator()
{
    interface_module = nullptr;
    if (file_module && communicator->get_modules()->remove_element(file_module))
        released_file_module.reset(file_module);
    communicator.reset();
}

// --- command line ---------------------------------------------------------------

void CAgentContainer::parse_args(int count, char** vector)
{
    CCommandLine commandline;
    commandline.parse_commandline(count, vector);
    parse_args(&commandline);
}

void CAgentContainer::parse_args(CCommandLine* commandline)
{
    if (!commandline || !beliefdb)
        return;
    argc = commandline->get_argc();
    argv = commandline->get_argv();
    apply_string_option(commandline, "name", "name");
    apply_port_option(commandline, "port", "port");
    apply_string_option(commandline, "ans", "ans");
    apply_port_option(commandline, "ansport", "ansport");
    if (commandline->find_element("noans"))
        communicator->comm_disable_ans();
    apply_unique_option(commandline);
    apply_window_option(commandline);
    handle_parse_args(commandline);
}

void CAgentContainer::apply_string_option(CCommandLine* commandline, const char* option,
                                          const char* belief)
{
    const char* value = commandline->find_token(option);
    CStringBelief* target = beliefdb->find_string_belief(belief);
    if (value && target)
        target->set_value(value);
}

void CAgentContainer::apply_port_option(CCommandLine* commandline, const char* option,
                                        const char* belief)
{
    const char* value = commandline->find_token(option);
    if (!value)
        return;
    int port = 0;
    if (!parse_port(value, port)) {
        debug("<CAgentContainer> Ignoring option -%s: not a port number", option);
        return;
    }
    if (CIntBelief* target = beliefdb->find_int_belief(belief))
        target->set_value(port);
}

void CAgentContainer::apply_unique_option(CCommandLine* commandline)
{
    if (is_yes(commandline->find_token("unique")))
        unique = 1;
}

void CAgentContainer::apply_window_option(CCommandLine* commandline)
{
    const char* mode = commandline->find_token("win");
    if (!mode)
        return;
    if (std::strcmp(mode, "min") == 0)
        result_code = CREATE_MINIMISED;
    else if (std::strcmp(mode, "max") == 0)
        result_code = CREATE_MAXIMISED;
    else if (std::strcmp(mode, "hidden") == 0)
        result_code = CREATE_HIDDEN;
}

// --- start-up -------------------------------------------------------------------

int CAgentContainer::Create(int flags)
{
    if (state != STATE_CONSTRUCTED) {
        debug("<CAgentContainer> Container already created");
        return CREATE_ALREADY_CREATED;
    }
    if (!has_name_belief())
        return CREATE_NO_NAME;
    if (flags & FLAG_FILE_LOG)
        add_file_log();
    add_interface_client();
    announce_client_modules(flags);
    debug("<CAgentContainer> Calling: 'process_create ()'");
    process_create();
    state = STATE_CREATING;
    if (unique)
        make_name_unique();
    debug("<CAgentContainer> Creating Communicator ...");
    if (file_module)
        communicator->set_logger(file_module);
    if (!communicator->Create()) {
        debug("<CAgentContainer> Error initializing communicator");
        return CREATE_NO_COMMUNICATOR;
    }
    add_lookup_modules();
    debug("<CAgentContainer> Starting lookup modules ...");
    communicator->start_lookup_modules();
    debug("<CAgentContainer> Starting lookup modules ...");
    communicator->start_modules();
    describe_self();
    debug("<CAgentContainer> Calling: 'process_init ()'");
    process_init();
    write_pid_file();
    debug("<CAgentContainer> Entering messageloop");
    state = STATE_RUNNING;
    return result_code;
}

bool CAgentContainer::has_name_belief()
{
    CStringBelief* name = beliefdb ? beliefdb->find_string_belief("name") : nullptr;
    if (name && name->get_value())
        return true;
    debug("<CAgentContainer> Pointer to agent name belief is NULL!");
    return false;
}

void CAgentContainer::add_file_log()
{
    auto module = std::make_unique<CFileModule>(get_agent_name(), beliefdb.get(),
                                                communicator.get(), 0);
    file_module = module.get();
    communicator->add_display(module.release());
    communicator->set_logger(file_module);
    http_driver->set_file(file_module->get_file_pointer());
}

void CAgentContainer::add_interface_client()
{
    debug("<CAgentContainer> adding interface client ...");
    auto module = std::make_unique<CInterfaceModule>(get_agent_name(), beliefdb.get(),
                                                     communicator.get(), 0);
    module->set_logger(file_module);
    module->set_lineage(get_base_type());
    interface_module = module.get();
    communicator->add_display(module.release());
}

// This container carries none of the optional client modules; asking for one
// is logged so that the log shows what was asked and what was left out.
void CAgentContainer::announce_client_modules(int flags)
{
    static const struct {
        int flag;
        const char* line;
        bool module;
    } kClients[] = {
        {FLAG_VISUALISATION, "<CAgentContainer> adding visualization client ...", true},
        {FLAG_VOICE, "<CAgentContainer> adding voice client ...", false},
        {FLAG_DESKTOP, "<CAgentContainer> adding desktop client ...", true},
        {FLAG_BROKER, "<CAgentContainer> adding broker client ...", true},
        {FLAG_MATCHMAKER, "<CAgentContainer> adding matchmaker client ...", true},
    };
    for (const auto& client : kClients) {
        if (!(flags & client.flag))
            continue;
        debug(client.line);
        if (client.module)
            debug("<CAgentContainer> Client module not available in this container, skipped");
    }
}

void CAgentContainer::make_name_unique()
{
    CGUID guid;
    std::string name = std::string(get_agent_name()) + "-" + guid.get_guid();
    set_agent_name(name.c_str());
}

void CAgentContainer::add_lookup_modules()
{
    if (lookup_config & LOOKUP_DISCOVERY)
        debug("<CAgentContainer> Discovery module not available in this container, skipped");
    if (lookup_config & LOOKUP_NAME_SERVER)
        add_name_server_client();
}

void CAgentContainer::add_name_server_client()
{
    communicator->add_lookup_module(new CANSClient(beliefdb.get(), handler));
    CStringBelief* ans = beliefdb->find_string_belief("ans");
    const char* host = ans ? ans->get_value() : nullptr;
    if (!host || std::strcmp(host, UNKNOWN_ANS) == 0)
        communicator->comm_ans();
}

// The agent's own description follows what the communicator ended up with:
// the port the system chose and the address other agents reach.
void CAgentContainer::describe_self()
{
    set_port(communicator->get_port());
    set_host(communicator->comm_get_ip());
    std::string url = std::string("tcp://") + get_host() + ":" + std::to_string(get_port());
    set_url(url.c_str());
}

void CAgentContainer::write_pid_file()
{
    const char* home = CUtils::get_home();
    if (!home || !*home) {
        debug("<CAgentContainer> Home directory not found, aborting PID creation (non-fatal)");
        return;
    }
    if (!beliefdb->find_element("name")) {
        debug("<CAgentContainer> No name belief found, aborting PID creation (non-fatal)");
        return;
    }
    const char* name = get_agent_name();
    if (!name) {
        debug("<CAgentContainer> Name belief contents is NULL, aborting PID creation (non-fatal)");
        return;
    }
    std::time_t now = std::time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    switch (pid_file.write(home, name, local)) {
    case CPidFile::CREATED:
        break;
    case CPidFile::BAD_NAME:
        debug("<CAgentContainer> Agent name is not a file name, aborting PID creation (non-fatal)");
        break;
    default:
        debug("<CAgentContainer> Unable to open PID file (non-fatal)");
        break;
    }
}

// --- notifications --------------------------------------------------------------

void CAgentContainer::handle_mfc_message(unsigned long type, unsigned long descriptor)
{
    debug("<CAgentContainer> DEFINE MESSAGE");
    if (!communicator) {
        debug("<CAgentContainer> Communicator is NULL");
        return;
    }
    static const char* const kLabels[] = {"[_UNKNOWN_]", "[_TCP_]",    "[_HTTP_]",
                                          "[_FILE_]",    "[_INFRARED_]", "[_SMTP_]",
                                          "[_SERIAL_]",  "[_FTP_]",    "[_PARALLEL_]",
                                          "[_MULTICAST_]"};
    if (type <= CONNECTION_MULTICAST)
        debug("<CAgentContainer> Connection: %s", kLabels[type]);
    if (type == CONNECTION_TCP) {
        handle_tcp_message(descriptor);
    } else if (type == CONNECTION_MULTICAST) {
        communicator->process_discovery(static_cast<int>(descriptor));
        process_environment_change();
    } else if (type > CONNECTION_MULTICAST) {
        debug("<CAgentContainer> Unable to find connection type, trying developer defined "
              "sockets ...");
        handle_custom_sockets(type);
    }
    collect_connections();
    check_integrity();
    debug("<CAgentContainer> EOF MESSAGE");
}

// Connections that are finished go, and silent ones close, at points where
// no handler holds one, except the one a handler further up may be using.
void CAgentContainer::collect_connections()
{
    if (CServerSocket* server = communicator ? communicator->get_server() : nullptr)
        server->collect_connections(current_connection);
}

void CAgentContainer::handle_tcp_message(unsigned long descriptor)
{
    const int number = descriptor > 0x7fffffffUL ? -1 : static_cast<int>(descriptor);
    CClientSocket* socket = communicator->get_connection(number);
    if (!socket) {
        debug("<CAgentContainer> Unable to extract connection descriptor from parameters "
              "(socket object is NULL)");
        return;
    }
    // The oldest queued message is the one handled now; its own kind picks
    // the driver.
    const CParsedMessage::Ptr message = socket->oldest_message();
    switch (message ? message->kind() : CParserBase::PARSER_TYPE_UNKNOWN) {
    case CParserBase::PARSER_TYPE_HTTP:
        debug("<CAgentContainer> Using HTTP parser driver");
        if (http_driver)
            http_driver->handle_request(socket);
        break;
    case CParserBase::PARSER_TYPE_KQML:
        debug("<CAgentContainer> Using KQML parser driver");
        deliver_message(socket, message);
        break;
    case CParserBase::PARSER_TYPE_XML:
        debug("<CAgentContainer> Using XML parser driver");
        deliver_message(socket, message);
        break;
    default:
        debug("<CAgentContainer> Message of unknown kind, dropped");
        break;
    }
    // The agent's handler may have changed the connections; only a
    // connection that is still there is asked for its next message.
    if (CClientSocket* still = communicator->get_connection(number))
        still->remove_from_queue();
}

void CAgentContainer::handle_custom_sockets(unsigned long type)
{
    for (std::size_t i = 0; i < alternative_sockets.size(); ++i) {
        CSocketBase* socket = alternative_sockets[i].get();
        if (static_cast<unsigned long>(socket->get_sockettype()) != type)
            continue;
        debug("<CAgentContainer> Connection: [_USER_]");
        process_custom(socket);
    }
}

void CAgentContainer::discard_mfc_message(unsigned long type, unsigned long descriptor)
{
    if (type != CONNECTION_TCP || !communicator || descriptor > 0x7fffffffUL)
        return;
    CClientSocket* socket = communicator->get_connection(static_cast<int>(descriptor));
    if (!socket)
        return;
    debug("<CAgentContainer> Container is not running, message dropped");
    socket->remove_from_queue();
}

void CAgentContainer::handle_mfc_timer()
{
    if (in_timer || !communicator)
        return;
    in_timer = true;
    run_module_timers();
    communicator->check_integrity();
    collect_connections();
    communicator->check_requirements();
    process_timer();
    in_timer = false;
}

void CAgentContainer::run_module_timers()
{
    for_each_module<CLogFacility>(communicator->get_modules(),
                                  [](CLogFacility* module) { module->process_timer(); });
}

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
    if (message->is_parsed() && check_parsed_message(*message)) {
        process_internal();
        return;
    }
    give_to_modules(*message, CLogFacility::DIRECTION_INCOMING);
    current_connection = socket;
    process_parsed_message(*message);
    current_connection = nullptr;
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
        dprintf("<CAgentContainer> This connection [%d] does not have an agent name assigned",
                descriptor);
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
    const size_t end = content.find_first_of(" \t\r\n()", start);
    return content.substr(start, end == std::string::npos ? end : end - start);
}

int CAgentContainer::check_visibility(const CParsedMessage& content)
{
    if (unquoted(content.performative()) != "tell" ||
        unquoted(content.field("type")) != "visibility")
        return 0;
    const std::string action = unquoted(content.field("action"));
    return action == "show" || action == "hide";
}

int CAgentContainer::check_command(const CParsedMessage& content, const std::string& sender)
{
    debug("<CAgentContainer> Checking command ...");
    if (unquoted(content.performative()) != "tell" ||
        unquoted(content.field("type")) != "command")
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
    if (communicator->comm_sendmessage("tell", sender.c_str(), kDefaultOntology,
                                       kDefaultLanguage, nullptr, nullptr, nullptr,
                                       type ? type : "", nullptr))
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
    std::string line = "<CAgentContainer> Interface create request from [" + from + "] to [" +
                       to + "]";
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
    if (communicator->comm_sendmessage_internal("tell", name, kDefaultOntology, kDefaultLanguage,
                                                "cricket", nullptr, nullptr, kPingContent,
                                                nullptr)) {
        debug("<CAgentContainer> ping failed");
        return 0;
    }
    return 1;
}

// --- hooks ------------------------------------------------------------------------

void CAgentContainer::handle_parse_args(CCommandLine*) {}
void CAgentContainer::process_shutdown() {}
void CAgentContainer::process_create() {}
void CAgentContainer::process_init() {}
void CAgentContainer::process_timer() {}
void CAgentContainer::process_loop() {}
void CAgentContainer::process_monitor_request(char*) {}
void CAgentContainer::process_internal() {}
void CAgentContainer::process_environment_change() {}
void CAgentContainer::process_custom(CSocketBase*) {}

int CAgentContainer::process_message(CParser*)
{
    return 0;
}

int CAgentContainer::process_message(char*)
{
    return 0;
}

int CAgentContainer::process_parsed_message(const CParsedMessage& message)
{
    // A copy of its own: process_message takes a text it may write into.
    std::string text = message.text();
    return process_message(text.data());
}

// --- accessors ----------------------------------------------------------------------

CCommunicator* CAgentContainer::get_communicator()
{
    return communicator.get();
}

CBeliefDB* CAgentContainer::get_belief_db()
{
    return beliefdb.get();
}

CFileModule* CAgentContainer::get_logger()
{
    return file_module;
}

CInterfaceModule* CAgentContainer::get_interface_module()
{
    return interface_module;
}

char* CAgentContainer::get_agent_name()
{
    CStringBelief* name = beliefdb ? beliefdb->find_string_belief("name") : nullptr;
    return name ? name->get_value() : nullptr;
}

void CAgentContainer::set_agent_name(const char* name)
{
    if (CStringBelief* belief = beliefdb ? beliefdb->find_string_belief("name") : nullptr)
        belief->set_value(name);
}

int CAgentContainer::get_argc()
{
    return argc;
}

char** CAgentContainer::get_argv()
{
    return argv;
}

int CAgentContainer::get_state()
{
    return state;
}

void CAgentContainer::set_unique(int value)
{
    unique = value;
}

int CAgentContainer::get_unique()
{
    return unique;
}

void CAgentContainer::set_service_type(int type)
{
    service_type = type;
    if (communicator)
        communicator->set_service_type(type);
}

int CAgentContainer::get_service_type()
{
    return service_type;
}

CLList* CAgentContainer::obtain_network_db()
{
    return communicator ? communicator->get_lookup_table() : nullptr;
}

void CAgentContainer::assign_http_driver(CHTTPDriver* driver)
{
    http_driver.reset(driver);
    if (http_driver && file_module && file_module->get_file_pointer())
        http_driver->set_file(file_module->get_file_pointer());
}

CHTTPDriver* CAgentContainer::get_http_driver()
{
    return http_driver.get();
}

void CAgentContainer::add_alternative_socket(CSocketBase* socket)
{
    if (socket)
        alternative_sockets.emplace_back(socket);
}

void CAgentContainer::remove_alternative_sockets()
{
    for (auto& socket : alternative_sockets)
        socket->Close();
    alternative_sockets.clear();
}

void CAgentContainer::set_handler(CWnd* window)
{
    handler = window;
    if (communicator)
        communicator->set_handler(window);
    hook_log_flush(window ? window->GetEventLoop() : nullptr);
}

// Log lines are only buffered while the loop dispatches and go out whenever
// the agent goes idle, so a line costs no system call of its own and is
// still in its file as soon as the agent waits for its next event.
void CAgentContainer::hook_log_flush(CEventLoop* loop)
{
    if (loop && loop == flush_loop && !flush_loop_alive.expired())
        return;
    unhook_log_flush();
    if (!loop)
        return;
    defer_hook = loop->AddAfterSleep([] { CDebug::set_deferred(true); });
    flush_hook = loop->AddBeforeSleep([] { CDebug::set_deferred(false); });
    flush_loop = loop;
    flush_loop_alive = loop->Lifetime();
}

// Without the hook nothing would end the deferring, so it ends here.
void CAgentContainer::unhook_log_flush()
{
    if (!flush_loop)
        return;
    if (!flush_loop_alive.expired()) {
        flush_loop->RemoveSleepHook(defer_hook);
        flush_loop->RemoveSleepHook(flush_hook);
    }
    CDebug::set_deferred(false);
    flush_loop = nullptr;
    flush_loop_alive.reset();
    flush_hook = CEventLoop::kNoHook;
    defer_hook = CEventLoop::kNoHook;
}

CWnd* CAgentContainer::get_handler()
{
    return handler;
}

void CAgentContainer::set_lookup_config(int mask)
{
    lookup_config = mask;
    if (state != STATE_RUNNING)
        return;
    CANSClient* ans = communicator->retrieve_ans_object();
    if (mask & LOOKUP_NAME_SERVER) {
        if (!ans) {
            add_name_server_client();
            ans = communicator->retrieve_ans_object();
        }
        if (ans && !ans->is_enabled())
            ans->enable(1);
    } else if (ans && ans->is_enabled()) {
        ans->enable(0);
    }
}

int CAgentContainer::get_lookup_config()
{
    return lookup_config;
}

void CAgentContainer::set_reject_own_messages(int reject)
{
    reject_own_messages = reject;
}

int CAgentContainer::get_reject_own_messages()
{
    return reject_own_messages;
}

int CAgentContainer::get_shutdown_requested()
{
    return shutdown_requested;
}

void CAgentContainer::set_shutdown_requested(int requested)
{
    shutdown_requested = requested;
}

int CAgentContainer::get_result_code()
{
    return result_code;
}

void CAgentContainer::set_shutdown_pause(unsigned milliseconds)
{
    shutdown_pause_ms = milliseconds;
}

unsigned CAgentContainer::get_shutdown_pause()
{
    return shutdown_pause_ms;
}

void CAgentContainer::set_belief_dump_file(const char* file)
{
    dump_enabled = file != nullptr;
    belief_dump_file = file ? file : "";
}

const char* CAgentContainer::get_belief_dump_file()
{
    return dump_enabled ? belief_dump_file.c_str() : nullptr;
}

const CPidFile& CAgentContainer::get_pid_file() const
{
    return pid_file;
}

CClientSocket* CAgentContainer::get_current_connection()
{
    return current_connection;
}

// --- the debug log ----------------------------------------------------------------

void CAgentContainer::debug(const char* text)
{
    if (text)
        write_line(text);
}

// Only the first "%s" takes the argument and "%%" is a percent sign; any
// other '%' is written as it stands, so a format that does not match its one
// argument can never read past it.
void CAgentContainer::debug(const char* fmt, const char* arg)
{
    if (!fmt)
        return;
    std::string line;
    bool filled = false;
    for (const char* p = fmt; *p; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            line += '%';
            ++p;
        } else if (p[0] == '%' && p[1] == 's' && !filled) {
            line += arg ? arg : "(null)";
            filled = true;
            ++p;
        } else {
            line += *p;
        }
    }
    write_line(line);
}

void CAgentContainer::dprintf(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vwrite(fmt, args);
    va_end(args);
}

void CAgentContainer::vwrite(const char* fmt, va_list args)
{
    write_line(format_line(fmt, args));
}

void CAgentContainer::write_line(const std::string& line)
{
    if (file_module)
        file_module->log_message(line.c_str());
    else
        CDebug::dprintf("%s", line.c_str());
    if (interface_module)
        interface_module->display(line.c_str());
}
