#include <wirekit/Communicator.h>

#include <wirekit/ClientSocket.h>
#include <wirekit/LogFacility.h>
#include <wirekit/ServerSocket.h>

#include <basekit/Utils.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/LookupModule.h>
#include <factkit/StringBelief.h>
#include <namekit/ANSClient.h>
#include <platform/HostAddress.h>
#include <platform/SocketError.h>

#include <cstdio>
#include <new>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr const char* kDefaultName = "Win32Agent";
constexpr const char* kUnknownAns = "-unknown-";
// The system's maximum: with a short queue a client's back-to-back connects
// were dropped and retried a second later each.
constexpr int kListenBacklog = SOMAXCONN;
constexpr int kMaxPort = 65535;
// The event type of the modules that display outgoing messages.
constexpr unsigned kOutgoingDisplayType = 2;

const char* safe(const char* text)
{
    return text ? text : "";
}

} // namespace

// --- construction -------------------------------------------------------------

CCommunicator::CCommunicator() : own_beliefdb(std::make_unique<CBeliefDB>())
{
    set_result("_empty_");
    beliefdb = own_beliefdb.get();
    beliefdb->add_element(new CStringBelief("name", kDefaultName));
    beliefdb->add_element(new CIntBelief("port", DEFAULT_PORT));
    beliefdb->add_element(new CStringBelief("ans", kUnknownAns));
    beliefdb->add_element(new CIntBelief("ansport", DEFAULT_ANS_PORT));
    beliefdb->add_element(new CListBelief("lookup", new CLList("lookup")));
    bind_beliefs();
    watch_deliveries();
}

CCommunicator::CCommunicator(CBeliefDB* database) : beliefdb(database)
{
    set_result("_empty_");
    bind_beliefs();
    watch_deliveries();
}

CCommunicator::~CCommunicator()
{
    debug("<CCommunicator> Shutting down");
    std::unique_ptr<CLogFacility> kept_logger = take_logger_module();
    debug("<CCommunicator> Deleting event modules...");
    modules.delete_list();
    debug("<CCommunicator> Stopping lookup modules ...");
    disable_lookup_modules();
    debug("<CCommunicator> Removing lookup modules ...");
    ans_client = nullptr;
    discovery = nullptr;
    lookup_modules.delete_list();
    debug("<CCommunicator> Stopping server ...");
    comm_endserver();
    debug("<CCommunicator> Cleaning up pointers ..");
    requirements.delete_list();
    logger = nullptr;
}

void CCommunicator::bind_beliefs()
{
    locations.attach(beliefdb);
    add_hostname_belief();
    if (!get_lookup_table())
        debug("<CCommunicator> Location lookup table not found in beliefdb");
}

void CCommunicator::add_hostname_belief()
{
    if (!beliefdb)
        return;
    const std::string address = GetHostAddress();
    if (CStringBelief* belief = beliefdb->find_string_belief("hostname")) {
        belief->set_value(address.c_str());
        return;
    }
    if (!beliefdb->find_element("hostname"))
        beliefdb->add_element(new CStringBelief("hostname", address.c_str()));
}

// --- set-up -------------------------------------------------------------------

void CCommunicator::set_handler(CWnd* window)
{
    handler = window;
}

CWnd* CCommunicator::get_handler()
{
    return handler;
}

void CCommunicator::set_logger(CLogFacility* module)
{
    if (!module)
        return;
    logger = module;
    if (server)
        server->set_logger(socket_logger());
}

CLogFacility* CCommunicator::get_logger()
{
    return logger;
}

void CCommunicator::add_display(CLogFacility* module)
{
    if (module)
        modules.add_element(module);
}

void CCommunicator::remove_display(CLogFacility* module)
{
    if (!module || module->get_parent() != &modules)
        return;
    if (module->is_registered() == 1)
        module->change_state(STATE_UNREGISTERED);
    if (module == logger)
        logger = nullptr;
    modules.delete_element(module);
}

void CCommunicator::add_lookup_module(CLookupModule* module)
{
    if (!module || !lookup_modules.add_element(module))
        return;
    module->set_service_type(service_type);
    if (FILE* stream = module_stream())
        module->set_file(stream);
    if (module->get_lookup_type() == CLookupModule::LOOKUP_NAME_SERVER) {
        if (CANSClient* client = dynamic_cast<CANSClient*>(module)) {
            ans_client = client;
            client->set_signing_key(signs_registrations ? get_key_pair() : nullptr);
        }
    } else if (module->get_lookup_type() == CLookupModule::LOOKUP_DISCOVERY) {
        discovery = module;
        take_discovery_keys(module);
    }
}

void CCommunicator::remove_lookup_module(CLookupModule* module)
{
    if (!module || module->get_parent() != &lookup_modules)
        return;
    module->enable(0);
    if (module == ans_client)
        ans_client = nullptr;
    if (module == discovery)
        discovery = nullptr;
    lookup_modules.delete_element(module);
}

void CCommunicator::set_listen_address(const char* address)
{
    if (address)
        listen_address = address;
    else
        listen_address.reset();
}

int CCommunicator::Create()
{
    debug("<CCommunicator> Creating communicator ...");
    if (comm_startserver()) {
        debug("<CCommunicator> Communicator running");
        return 1;
    }
    debug("<CCommunicator> Unable to start server, Aborting ... !!");
    return 0;
}

int CCommunicator::comm_startserver()
{
    if (!handler) {
        debug("<CCommunicator> Message handler is NULL");
        return 0;
    }
    comm_endserver();
    server.reset(new (std::nothrow) CServerSocket(handler));
    if (!server) {
        debug("<CCommunicator> Unable to instantiate server socket");
        return 0;
    }
    server->set_logger(socket_logger());
    server->set_key_pair(get_key_pair());
    server->set_trust_unproven(trust_unproven);
    server->set_name_keys([this](const char* name) { return key_of_name(name); });
    server->set_key_proven([this](const char* name, const std::string& key) { key_proven(name, key); });
    int port = DEFAULT_PORT;
    int_belief("port", port);
    if (!open_server(port)) {
        server.reset();
        return 0;
    }
    return 1;
}

bool CCommunicator::open_server(int port)
{
    const char* address = listen_address ? listen_address->c_str() : nullptr;
    if (port < 0 || port > kMaxPort || !server->Create(static_cast<unsigned>(port), address)) {
        last_error = server->GetLastError();
        dprintf("<CCommunicator> Unable to create server socket on [%d]", port);
        return false;
    }
    if (port == 0) {
        port = static_cast<int>(server->get_port());
        set_int_belief("port", port);
        dprintf("<CCommunicator> Set listening port to [%d]", port);
    }
    if (!server->Listen(kListenBacklog)) {
        last_error = server->GetLastError();
        dprintf("<CCommunicator> Unable to start listening on port [%d]", port);
        return false;
    }
    return true;
}

void CCommunicator::comm_endserver()
{
    server.reset();
}

void CCommunicator::start_modules()
{
    change_module_states(STATE_REGISTERED, "Starting", "now running");
}

void CCommunicator::shutdown_modules()
{
    change_module_states(STATE_UNREGISTERED, "Shutting down", "stopped");
}

void CCommunicator::announce_registration()
{
    for (CListElement* e = modules.get_element(0); e; e = e->get_next()) {
        if (CLogFacility* module = module_of(e))
            module->change_state(STATE_REGISTERED);
    }
}

void CCommunicator::change_module_states(unsigned state, const char* verb, const char* done)
{
    for (CListElement* e = modules.get_element(0); e; e = e->get_next()) {
        CLogFacility* module = module_of(e);
        if (!module)
            continue;
        const char* name = safe(module->get_name());
        dprintf("<CCommunicator> %s event module: [%s]", verb, name);
        module->change_state(state);
        module->set_registered(0);
        dprintf("<CCommunicator> Module: [%s] %s", name, done);
    }
}

bool CCommunicator::holds_own_name()
{
    const char* own = get_name();
    return ans_client && ans_client->is_enabled() && own && ans_client->holds_name(own);
}

void CCommunicator::start_lookup_modules()
{
    if (lookup_modules.get_nr_elements() == 0) {
        debug("<CCommunicator> There are no lookup modules available, agent lookup will not "
              "be possible");
        return;
    }
    switch_lookup_modules(1);
}

void CCommunicator::stop_lookup_modules()
{
    if (lookup_modules.get_nr_elements() == 0) {
        debug("<CCommunicator> There are no lookup modules available, can't stop modules ");
        return;
    }
    disable_lookup_modules();
}

void CCommunicator::disable_lookup_modules()
{
    switch_lookup_modules(0);
}

void CCommunicator::switch_lookup_modules(int on)
{
    for (CListElement* e = lookup_modules.get_element(0); e;) {
        CListElement* next = e->get_next();
        if (CLookupModule* module = dynamic_cast<CLookupModule*>(e))
            module->enable(on);
        e = next;
    }
}

// --- logging and upkeep ---------------------------------------------------------------

void CCommunicator::comm_log_output(const char* text)
{
    if (!text)
        return;
    if (logger && logger->get_parent() != &modules)
        logger->process_message(text, DIRECTION_OUTGOING);
    give_to_modules(text, false);
}

void CCommunicator::give_to_modules(const char* text, bool displays_only)
{
    for (CListElement* e = modules.get_element(0); e;) {
        CListElement* next = e->get_next();
        CLogFacility* module = module_of(e);
        if (module && wants_outgoing(*module, displays_only))
            module->process_message(text, DIRECTION_OUTGOING);
        e = next;
    }
}

bool CCommunicator::wants_outgoing(CLogFacility& module, bool displays_only)
{
    return !displays_only || (module.get_name() && module.get_type() == kOutgoingDisplayType);
}

// Whether give_to_modules would give the text to anybody: a long message
// is not copied for nobody.
bool CCommunicator::any_module_wants_outgoing(bool displays_only)
{
    for (CListElement* e = modules.get_element(0); e; e = e->get_next()) {
        CLogFacility* module = module_of(e);
        if (module && wants_outgoing(*module, displays_only))
            return true;
    }
    return false;
}

// Every record is counted down exactly once per tick; records that reach
// the end (or hold a count that could never reach it) are dropped.
void CCommunicator::check_integrity()
{
    if (locations.table())
        locations.expire();
    else
        debug("<CCommunicator> lookup table is NULL whilst checking location lookup table");
    alive();
}

void CCommunicator::alive()
{
    if (++alive_counter <= alive_period)
        return;
    alive_counter = 0;
    debug("<CCommunicator> Activating 'alive' method in lookup modules...");
    for_each_lookup_module([](CLookupModule& module) { module.alive(); });
}

// Datagrams are examined only by a discovery module; none of the modules
// available here reads them, so a datagram is only ever reported.
int CCommunicator::process_discovery(int descriptor)
{
    if (!discovery) {
        debug("<CCommunicator> Discovery module is NULL, unable to process message");
        return DISCOVERY_ERROR;
    }
    debug("<CCommunicator> Handing message to discovery module for examination");
    return discovery->process_discovery(descriptor);
}

void CCommunicator::set_user_hooks(UserHooks hooks)
{
    user_hooks = std::move(hooks);
}

void CCommunicator::comm_ans()
{
    if (!ans_client) {
        debug("<CCommunicator> Pointer to ANS module is invalid");
        return;
    }
    if (user_hooks.name_server_dialog)
        user_hooks.name_server_dialog(*this);
}

void CCommunicator::comm_info()
{
    if (!ans_client) {
        debug("<CCommunicator> Pointer to ANS module is invalid");
        return;
    }
    if (user_hooks.information_dialog)
        user_hooks.information_dialog(*this);
}

void CCommunicator::notify_user(const char* text)
{
    if (user_hooks.notice)
        user_hooks.notice(text);
    else
        debug(text);
}

void CCommunicator::comm_disable_ans()
{
    notify_user("<CCommunicator> comm_disable_ans () is a deprecated method, please "
                "use <CBasicAgent> set_lookup_config ()");
}

void CCommunicator::comm_enable_ans()
{
    notify_user("<CCommunicator> comm_enable_ans () is a deprecated method, please use "
                "<CBasicAgent> set_lookup_config ()");
}

void CCommunicator::comm_connections()
{
    notify_user("Deprecated function");
}

void CCommunicator::comm_console()
{
    notify_user("Deprecated function");
}

void CCommunicator::comm_viewmessage()
{
    notify_user("Deprecated function");
}

CClientSocket* CCommunicator::create_connection(const char*, const char*, unsigned)
{
    debug("<CCommunicator> Deprecated method, this should not be called");
    return nullptr;
}

const char* CCommunicator::ErrorToAsc(int code)
{
    const char* explanation = WsaErrorExplanation(code);
    return explanation ? explanation : "<CCommunicator> The network returned an unknown error";
}

// --- debug log ---------------------------------------------------------------------------

void CCommunicator::dprintf(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    write_line(fmt, args);
    va_end(args);
}

void CCommunicator::write_line(const char* fmt, va_list args)
{
    if (!logger) {
        vdebug(fmt, args);
        return;
    }
    const std::string line = CUtils::vformat(fmt, args);
    logger->log_message(line.c_str());
}

// The sockets write through the logger's own log when there is one.
CDebug* CCommunicator::socket_logger()
{
    return logger ? static_cast<CDebug*>(logger) : static_cast<CDebug*>(this);
}

// The lookup modules get a stream of their own onto the log file, so that
// they may outlive the logger (or be outlived by it) without writing into a
// closed stream.
FILE* CCommunicator::module_stream()
{
    if (lookup_stream)
        return lookup_stream.get();
    FILE* source = logger ? logger->get_file_pointer() : get_file_pointer();
    if (!source)
        return nullptr;
    std::fflush(source);
    const int copy = ::dup(::fileno(source));
    if (copy < 0)
        return nullptr;
    lookup_stream.reset(::fdopen(copy, "a"));
    if (!lookup_stream)
        ::close(copy);
    return lookup_stream.get();
}

// The logger may be one of the event modules; it goes last, so that every
// line of the shutdown still reaches its file.
std::unique_ptr<CLogFacility> CCommunicator::take_logger_module()
{
    if (!logger || logger->get_parent() != &modules)
        return nullptr;
    modules.remove_element(logger);
    return std::unique_ptr<CLogFacility>(logger);
}
