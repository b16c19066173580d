#include <agentkit/AgentContainer.h>

#include <agentkit/ContainerHelpers.h>
#include <agentkit/HTTPDriver.h>

#include <basekit/CommandLine.h>
#include <basekit/GUID.h>
#include <basekit/Utils.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/StringBelief.h>
#include <basekit/URL.h>
#include <namekit/ANSClient.h>
#include <notekit/ServiceInfo.h>
#include <wirekit/ClientSocket.h>
#include <wirekit/CommDialogs.h>
#include <wirekit/Communicator.h>
#include <wirekit/Discovery.h>
#include <wirekit/FileModule.h>
#include <wirekit/InterfaceModule.h>
#include <wirekit/ServerSocket.h>
#include <wirekit/SocketBase.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

using container_detail::for_each_module;

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
    auto module = std::make_unique<CFileModule>(get_agent_name(), beliefdb.get(), communicator.get(), 0);
    file_module = module.get();
    communicator->add_display(module.release());
    communicator->set_logger(file_module);
    http_driver->set_file(file_module->get_file_pointer());
}

void CAgentContainer::add_interface_client()
{
    debug("<CAgentContainer> adding interface client ...");
    auto module = std::make_unique<CInterfaceModule>(get_agent_name(), beliefdb.get(), communicator.get(), 0);
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
        add_discovery_module();
    if (lookup_config & LOOKUP_NAME_SERVER)
        add_name_server_client();
}

// Discovery tells others where the communicator listens, so it is made
// once the server has its port.
void CAgentContainer::add_discovery_module()
{
    auto* module = new CDiscovery(beliefdb.get(), handler);
    module->set_param(communicator->comm_get_ip(), communicator->get_port());
    communicator->add_lookup_module(module);
}

void CAgentContainer::add_name_server_client()
{
    communicator->add_lookup_module(new CANSClient(beliefdb.get(), handler));
    CStringBelief* ans = beliefdb->find_string_belief("ans");
    const char* host = ans ? ans->get_value() : nullptr;
    if (!host || std::strcmp(host, UNKNOWN_ANS) == 0)
        communicator->comm_ans();
}

// An agent told of no name server takes the first one that announces
// itself on the network, and registers there.
void CAgentContainer::adopt_discovered_name_server()
{
    CStringBelief* ans = beliefdb->find_string_belief("ans");
    const char* known = ans ? ans->get_value() : nullptr;
    if (!(lookup_config & LOOKUP_NAME_SERVER) || (known && std::strcmp(known, UNKNOWN_ANS) != 0))
        return;
    CLList* table = communicator->get_lookup_table();
    for (CListElement* e = table ? table->get_element(0) : nullptr; e; e = e->get_next()) {
        auto* record = dynamic_cast<CServiceInfo*>(e);
        CURL* location = record ? record->get_location() : nullptr;
        if (!location || record->get_gone() || record->get_type() != NAME_SERVER_SERVICE ||
            !location->get_host())
            continue;
        dprintf("<CAgentContainer> Using the name server found on the network at [%s][%d]",
                location->get_host(), location->get_port());
        communicator->comm_setansinfo(location->get_host(), location->get_port());
        communicator->remove_lookup_module(communicator->retrieve_ans_object());
        add_name_server_client();
        if (CANSClient* client = communicator->retrieve_ans_object())
            client->enable(1);
        return;
    }
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
    static const char* const kLabels[] = {"[_UNKNOWN_]",  "[_TCP_]",      "[_HTTP_]",   "[_FILE_]",
                                          "[_INFRARED_]", "[_SMTP_]",     "[_SERIAL_]", "[_FTP_]",
                                          "[_PARALLEL_]", "[_MULTICAST_]"};
    if (type <= CONNECTION_MULTICAST)
        debug("<CAgentContainer> Connection: %s", kLabels[type]);
    if (type == CONNECTION_TCP) {
        handle_tcp_message(descriptor);
    } else if (type == CONNECTION_MULTICAST) {
        communicator->process_discovery(static_cast<int>(descriptor));
        adopt_discovered_name_server();
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
