#include <wirekit/Communicator.h>

#include <wirekit/ClientSocket.h>
#include <wirekit/LogFacility.h>
#include <wirekit/Message.h>
#include <wirekit/ServerSocket.h>

#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/ListBelief.h>
#include <factkit/LookupModule.h>
#include <factkit/StringBelief.h>
#include <namekit/ANSClient.h>
#include <notekit/ServiceInfo.h>
#include <platform/HostAddress.h>
#include <platform/SocketError.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <unistd.h>

namespace {

constexpr const char* kVersion = "2.01";
constexpr const char* kSorry = "sorry";
constexpr const char* kDefaultName = "Win32Agent";
constexpr const char* kUnknownAns = "-unknown-";
constexpr const char* kMessageEnd = " ))";
constexpr int kListenBacklog = 5;
constexpr int kMaxPort = 65535;
// The event type of the modules that display outgoing messages.
constexpr unsigned kOutgoingDisplayType = 2;

__attribute__((format(printf, 1, 0))) std::string vformat(const char* fmt, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (length <= 0)
        return std::string();
    std::string out(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), fmt, args);
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::vector<const char*> collect_pieces(va_list pieces)
{
    std::vector<const char*> out;
    for (const char* piece = va_arg(pieces, const char*); piece;
         piece = va_arg(pieces, const char*))
        out.push_back(piece);
    return out;
}

const char* safe(const char* text)
{
    return text ? text : "";
}

bool is_empty(const char* text)
{
    return !text || !*text;
}

struct ErrorText {
    int code;
    const char* text;
};

// Connection refused, timed out, unreachable and unknown hosts are what a
// send to another agent meets most often, so they are explained as well.
constexpr ErrorText kErrorTexts[] = {
    {WSAEACCES, "WSAEACCES: Permission denied: the address is a broadcast address or access "
                "to it was refused"},
    {WSAEFAULT, "WSAEFAULT: Bad address: an argument does not point into valid memory"},
    {WSAEWOULDBLOCK, "WSAEWOULDBLOCK: Resource temporarily unavailable: the operation would "
                     "block"},
    {WSAEINPROGRESS, "WSAEINPROGRESS: Operation now in progress: a blocking operation is "
                     "still running"},
    {WSAENOTSOCK, "WSAENOTSOCK: Socket operation on nonsocket: the descriptor is not a socket"},
    {WSAEDESTADDRREQ, "WSAEDESTADDRREQ: Destination address required"},
    {WSAEMSGSIZE, "WSAEMSGSIZE: Message too long for the socket's buffer"},
    {WSAEOPNOTSUPP, "WSAEOPNOTSUPP: Operation not supported on this socket"},
    {WSAEAFNOSUPPORT, "WSAEAFNOSUPPORT: Address family not supported by protocol family"},
    {WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL: Cannot assign requested address: the address is not "
                       "valid on this machine"},
    {WSAENETDOWN, "WSAENETDOWN: Network is down"},
    {WSAENETUNREACH, "WSAENETUNREACH: Network is unreachable from this host"},
    {WSAENETRESET, "WSAENETRESET: Network dropped connection on reset"},
    {WSAECONNABORTED, "WSAECONNABORTED: Software caused connection abort"},
    {WSAECONNRESET, "WSAECONNRESET: Connection reset by peer"},
    {WSAENOBUFS, "WSAENOBUFS: No buffer space available"},
    {WSAENOTCONN, "WSAENOTCONN: Socket is not connected"},
    {WSAESHUTDOWN, "WSAESHUTDOWN: Cannot send after socket shutdown"},
    {WSANOTINITIALISED, "WSANOTINITIALISED: Windows Sockets has not been initialised"},
    {WSAETIMEDOUT, "WSAETIMEDOUT: Connection timed out: the peer did not answer in time"},
    {WSAECONNREFUSED, "WSAECONNREFUSED: Connection refused: nothing listens at the agent's "
                      "address"},
    {WSAEHOSTUNREACH, "WSAEHOSTUNREACH: No route to host"},
    {WSAHOST_NOT_FOUND, "WSAHOST_NOT_FOUND: Host not found: the agent's host name does not "
                        "resolve"},
};

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
}

CCommunicator::CCommunicator(CBeliefDB* database) : beliefdb(database)
{
    set_result("_empty_");
    bind_beliefs();
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
        if (CANSClient* client = dynamic_cast<CANSClient*>(module))
            ans_client = client;
    } else if (module->get_lookup_type() == CLookupModule::LOOKUP_DISCOVERY) {
        discovery = module;
    }
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

// --- settings -------------------------------------------------------------------

char* CCommunicator::get_name()
{
    return string_belief("name");
}

void CCommunicator::set_name(const char* name)
{
    set_string_belief("name", name);
}

int CCommunicator::get_port()
{
    int port = 0;
    return int_belief("port", port) ? port : 0;
}

void CCommunicator::set_port(int port)
{
    set_int_belief("port", port);
}

char* CCommunicator::get_ansname()
{
    return string_belief("ans");
}

void CCommunicator::set_ansname(const char* host)
{
    set_string_belief("ans", host);
}

int CCommunicator::get_ansport()
{
    int port = 0;
    return int_belief("ansport", port) ? port : 0;
}

void CCommunicator::set_ansport(int port)
{
    set_int_belief("ansport", port);
}

int CCommunicator::comm_setansinfo(const char* host, int port)
{
    const int host_set = set_string_belief("ans", host);
    const int port_set = set_int_belief("ansport", port);
    return host_set && port_set;
}

int CCommunicator::comm_setinfo(const char* name, int port)
{
    const int name_set = set_string_belief("name", name);
    const int port_set = set_int_belief("port", port);
    return name_set && port_set;
}

char* CCommunicator::comm_get_ip()
{
    return string_belief("hostname");
}

char* CCommunicator::comm_get_info()
{
    return string_belief("hostname");
}

CBeliefDB* CCommunicator::get_beliefdb()
{
    return beliefdb;
}

CLList* CCommunicator::get_modules()
{
    return &modules;
}

CLList* CCommunicator::get_lookup_modules()
{
    return &lookup_modules;
}

CLList* CCommunicator::get_lookup_table()
{
    CListBelief* belief = beliefdb ? beliefdb->find_list_belief("lookup") : nullptr;
    return belief ? belief->get_value() : nullptr;
}

CANSClient* CCommunicator::retrieve_ans_object()
{
    return ans_client;
}

CLookupModule* CCommunicator::retrieve_dsc_object()
{
    return discovery;
}

void CCommunicator::set_discovery_object(CLookupModule* module)
{
    if (!module || module->get_parent() == &lookup_modules)
        discovery = module;
}

CServerSocket* CCommunicator::get_server()
{
    return server.get();
}

CServerSocket* CCommunicator::get_server_socket()
{
    return server.get();
}

CClientSocket* CCommunicator::get_connection(int descriptor)
{
    return server ? server->get_connection(descriptor) : nullptr;
}

CClientSocket* CCommunicator::find_connection(const char* agent, const char* host, unsigned port)
{
    return server ? server->find_connection(agent, host, port) : nullptr;
}

const char* CCommunicator::getversion()
{
    return kVersion;
}

int CCommunicator::comm_is_ans_enabled()
{
    return ans_client ? ans_client->is_enabled() : 1;
}

char* CCommunicator::comm_ans_error()
{
    return ans_client ? ans_client->get_last_error() : nullptr;
}

char* CCommunicator::create_reply_with()
{
    std::snprintf(reply_with_text.data(), reply_with_text.size(), "Win32M%ld",
                  static_cast<long>(std::time(nullptr)));
    return reply_with_text.data();
}

void CCommunicator::set_registered(int value)
{
    registered = value;
}

int CCommunicator::is_registered()
{
    return registered;
}

void CCommunicator::set_service_type(int type)
{
    service_type = type;
}

int CCommunicator::get_service_type()
{
    return service_type;
}

char* CCommunicator::get_result()
{
    return result.data();
}

int CCommunicator::get_last_error()
{
    return last_error;
}

int CCommunicator::get_alive_counter()
{
    return alive_counter;
}

void CCommunicator::set_alive_period(int period)
{
    alive_period = period < 1 ? 1 : period;
}

// --- name service -----------------------------------------------------------------

int CCommunicator::comm_register_agent(const char* name)
{
    if (!name)
        return 0;
    for_each_lookup_module([name](CLookupModule& module) { module.register_agent(name); });
    return 1;
}

int CCommunicator::comm_unregister_agent(const char* name)
{
    if (!name)
        return 0;
    for_each_lookup_module([name](CLookupModule& module) { module.unregister_agent(name); });
    return 1;
}

int CCommunicator::comm_activate_lookup(const char* name)
{
    if (!name)
        return 0;
    int found = 0;
    for_each_lookup_module([name, &found](CLookupModule& module) {
        if (module.lookup_agent(name))
            found = 1;
    });
    return found;
}

int CCommunicator::listall_agents()
{
    int listed = 0;
    for_each_lookup_module([&listed](CLookupModule& module) {
        if (module.listall_agents())
            listed = 1;
    });
    return listed;
}

int CCommunicator::comm_listall()
{
    return registered_ans_client() ? ans_client->listall_agents() : 0;
}

char* CCommunicator::comm_listall_getfirst()
{
    return registered_ans_client() ? ans_client->listall_getfirst() : nullptr;
}

char* CCommunicator::comm_listall_getnext()
{
    return registered_ans_client() ? ans_client->listall_getnext() : nullptr;
}

bool CCommunicator::registered_ans_client()
{
    if (!ans_client) {
        debug("<CCommunicator> Pointer to ANS module is invalid");
        return false;
    }
    if (!registered) {
        debug("<CCommunicator> You are not registered yet with an ANS!");
        return false;
    }
    return true;
}

void CCommunicator::add_requirement(const char* name)
{
    if (name)
        requirements.add_element(new CListElement(name));
}

int CCommunicator::check_requirements()
{
    for (CListElement* e = requirements.get_element(0); e; e = e->get_next()) {
        CServiceInfo* record = find_record(e->get_name());
        if (!record || !record->get_location())
            return 0;
    }
    return 1;
}

CLList* CCommunicator::get_requirements()
{
    return &requirements;
}

// --- lookup -------------------------------------------------------------------------

// A record whose agent is known to have gone is not an address to send to:
// it counts as absent until a lookup finds the agent again.
CServiceInfo* CCommunicator::find_record(const char* agent)
{
    CLList* table = get_lookup_table();
    if (!table || !agent)
        return nullptr;
    CServiceInfo* record = dynamic_cast<CServiceInfo*>(table->find_element(agent));
    return record && !record->get_gone() ? record : nullptr;
}

char* CCommunicator::comm_lookup(const char* agent, char* host, unsigned* port,
                                 std::size_t host_size)
{
    debug("<CCommunicator> Activating 'comm_lookup ()'");
    if (!get_lookup_table()) {
        debug("<CCommunicator> Lookup table is NULL, unable to process request");
        return nullptr;
    }
    if (!agent || !host || !port || host_size == 0)
        return sorry();
    CServiceInfo* record = find_record(agent);
    if (!record) {
        dprintf("<CCommunicator> Agent not known, sending out search request for agent "
              "location: [%s]",
              agent);
        comm_activate_lookup(agent);
        record = find_record(agent);
        if (!record) {
            debug("<CCommunicator> Still not able to lookup agent");
            return sorry();
        }
    }
    if (!record->get_location()) {
        dprintf("<CCommunicator> Agent name known but no location information present, sending "
              "out search request for agent location: [%s]",
              agent);
        comm_activate_lookup(agent);
        record = find_record(agent);
    }
    return copy_location(agent, record, host, port, host_size);
}

char* CCommunicator::copy_location(const char* agent, CServiceInfo* record, char* host,
                                   unsigned* port, std::size_t host_size)
{
    debug("<CCommunicator> Agent found, obtaining location information ...");
    CURL* location = record ? record->get_location() : nullptr;
    if (!location) {
        dprintf("<CCommunicator> Could not obtain location for agent: [%s]", agent);
        return sorry();
    }
    const char* where = location->get_host();
    if (!where) {
        dprintf("<CCommunicator> Could not obtain host and port information for agent: [%s]",
              agent);
        return sorry();
    }
    if (std::strlen(where) >= host_size) {
        dprintf("<CCommunicator> Host of agent [%s] does not fit the given buffer", agent);
        return sorry();
    }
    std::memcpy(host, where, std::strlen(where) + 1);
    *port = static_cast<unsigned>(location->get_port());
    dprintf("<CCommunicator> Obtained host [%s] and port [%d] information for agent: [%s]", host,
          location->get_port(), agent);
    return nullptr;
}

char* CCommunicator::sorry()
{
    std::snprintf(sorry_text.data(), sorry_text.size(), "%s", kSorry);
    return sorry_text.data();
}

bool CCommunicator::locate(const char* agent, Address& address)
{
    char host[HOST_BUFFER_SIZE] = "";
    unsigned port = 0;
    const bool has_table = get_lookup_table() != nullptr;
    if (comm_lookup(agent, host, &port, sizeof host) || !has_table)
        return false;
    address.host = host;
    address.port = port;
    return true;
}

// A peer that restarted listens on another port, and its old record never
// expires by itself; without a fresh lookup every send to it would fail for
// good.
bool CCommunicator::relocate(const char* agent, Address& address)
{
    if (!find_record(agent))
        return false;
    dprintf("<CCommunicator> Sending to [%s] at [%s][%d] failed, looking the agent up again", safe(agent),
          address.host.c_str(), static_cast<int>(address.port));
    comm_activate_lookup(agent);
    Address fresh;
    if (!locate(agent, fresh) || (fresh.host == address.host && fresh.port == address.port)) {
        dprintf("<CCommunicator> No other address is known for agent [%s]", safe(agent));
        return false;
    }
    dprintf("<CCommunicator> Agent [%s] is now at [%s][%d], sending once more", safe(agent), fresh.host.c_str(),
          static_cast<int>(fresh.port));
    address = fresh;
    return true;
}

// --- sending ------------------------------------------------------------------------

char* CCommunicator::comm_sendmessage(const char* performative, const char* receiver,
                                      const char* ontology, const char* language,
                                      const char* reply_with, const char* in_reply_to,
                                      const char* forward, ...)
{
    va_list pieces;
    va_start(pieces, forward);
    char* out = vcomm_sendmessage(performative, receiver, ontology, language, reply_with,
                                  in_reply_to, forward, pieces);
    va_end(pieces);
    return out;
}

char* CCommunicator::vcomm_sendmessage(const char* performative, const char* receiver,
                                       const char* ontology, const char* language,
                                       const char* reply_with, const char* in_reply_to,
                                       const char* forward, va_list pieces)
{
    const Head head{performative, receiver, ontology, language, reply_with, in_reply_to, forward};
    return send_message(head, collect_pieces(pieces), true);
}

char* CCommunicator::comm_sendmessage_internal(const char* performative, const char* receiver,
                                               const char* ontology, const char* language,
                                               const char* reply_with, const char* in_reply_to,
                                               const char* forward, ...)
{
    va_list pieces;
    va_start(pieces, forward);
    char* out = vcomm_sendmessage_internal(performative, receiver, ontology, language,
                                           reply_with, in_reply_to, forward, pieces);
    va_end(pieces);
    return out;
}

char* CCommunicator::vcomm_sendmessage_internal(const char* performative, const char* receiver,
                                                const char* ontology, const char* language,
                                                const char* reply_with,
                                                const char* in_reply_to, const char* forward,
                                                va_list pieces)
{
    const Head head{performative, receiver, ontology, language, reply_with, in_reply_to, forward};
    return send_message(head, collect_pieces(pieces), false);
}

CClientSocket* CCommunicator::comm_sendmessage_socket(const char* performative,
                                                      const char* receiver,
                                                      const char* ontology,
                                                      const char* language,
                                                      const char* reply_with,
                                                      const char* in_reply_to,
                                                      const char* forward, ...)
{
    va_list pieces;
    va_start(pieces, forward);
    CClientSocket* out = vcomm_sendmessage_socket(performative, receiver, ontology, language,
                                                  reply_with, in_reply_to, forward, pieces);
    va_end(pieces);
    return out;
}

CClientSocket* CCommunicator::vcomm_sendmessage_socket(const char* performative,
                                                       const char* receiver,
                                                       const char* ontology,
                                                       const char* language,
                                                       const char* reply_with,
                                                       const char* in_reply_to,
                                                       const char* forward, va_list pieces)
{
    const Head head{performative, receiver, ontology, language, reply_with, in_reply_to, forward};
    return send_message_socket(head, collect_pieces(pieces), true);
}

CClientSocket* CCommunicator::comm_sendmessage_socket_internal(
    const char* performative, const char* receiver, const char* ontology, const char* language,
    const char* reply_with, const char* in_reply_to, const char* forward, ...)
{
    va_list pieces;
    va_start(pieces, forward);
    CClientSocket* out = vcomm_sendmessage_socket_internal(
        performative, receiver, ontology, language, reply_with, in_reply_to, forward, pieces);
    va_end(pieces);
    return out;
}

CClientSocket* CCommunicator::vcomm_sendmessage_socket_internal(
    const char* performative, const char* receiver, const char* ontology, const char* language,
    const char* reply_with, const char* in_reply_to, const char* forward, va_list pieces)
{
    const Head head{performative, receiver, ontology, language, reply_with, in_reply_to, forward};
    return send_message_socket(head, collect_pieces(pieces), false);
}

// An open connection from the receiver carries the reply-with value of the
// message being answered. `replace` takes it even over the caller's value.
const char* CCommunicator::connection_reply_with(const char* receiver, const char* in_reply_to,
                                                 bool replace)
{
    if (in_reply_to && !replace)
        return in_reply_to;
    CClientSocket* connection = find_connection(receiver, nullptr, 0);
    const char* stored = connection ? connection->get_reply_with() : nullptr;
    return stored ? stored : in_reply_to;
}

bool CCommunicator::compose_text(const Head& head, const std::vector<const char*>& pieces,
                                 std::string& text)
{
    for (const char* piece : pieces) {
        if (std::strchr(piece, CClientSocket::END_OF_MESSAGE)) {
            report_format_error();
            return false;
        }
    }
    CMessage message;
    const char* composed = message.compose_message(head.performative, head.receiver, get_name(),
                                                   head.ontology, head.language,
                                                   head.reply_with, head.in_reply_to,
                                                   head.forward, 0);
    if (!composed) {
        report_format_error();
        return false;
    }
    try {
        text = composed;
        for (const char* piece : pieces) {
            if (*piece)
                text.append(" ").append(piece);
        }
        text.append(kMessageEnd);
        text.push_back(CClientSocket::END_OF_MESSAGE);
    } catch (const std::bad_alloc&) {
        debug("<CCommunicator> Error composing message");
        set_result("<CCommunicator> Error composing message");
        return false;
    }
    return true;
}

void CCommunicator::report_format_error()
{
    debug("<CCommunicator> Error formatting ACL string !!");
    set_result("<CCommunicator> Error formatting ACL string !!");
}

char* CCommunicator::send_message(Head head, const std::vector<const char*>& pieces,
                                  bool answer_connection)
{
    set_result(" ");
    Address address;
    const bool located = locate(head.receiver, address);
    if (answer_connection)
        head.in_reply_to = connection_reply_with(head.receiver, head.in_reply_to, false);
    std::string text;
    if (!compose_text(head, pieces, text))
        return result.data();
    if (!located)
        return nullptr;
    int sent = comm_senddata(head.receiver, address.host.c_str(), address.port, text.c_str());
    if (sent < 0 && relocate(head.receiver, address))
        sent = comm_senddata(head.receiver, address.host.c_str(), address.port, text.c_str());
    if (sent > 0) {
        report_success(head.receiver, address);
        give_to_modules(message_of(text).c_str(), true);
        return nullptr;
    }
    if (sent == 0)
        set_result("<CCommunicator> Server socket is NULL, you can't send messages to agents");
    else
        report_send_error(head.receiver, address);
    return result.data();
}

CClientSocket* CCommunicator::send_message_socket(Head head,
                                                  const std::vector<const char*>& pieces,
                                                  bool answer_connection)
{
    set_result(" ");
    Address address;
    if (!locate(head.receiver, address)) {
        dprintf("<CCommunicator> Error looking up [%s] in network belief DB", safe(head.receiver));
        return nullptr;
    }
    if (answer_connection)
        head.in_reply_to = connection_reply_with(head.receiver, head.in_reply_to, true);
    std::string text;
    if (!compose_text(head, pieces, text))
        return nullptr;
    CClientSocket* socket =
        comm_senddata_socket(head.receiver, address.host.c_str(), address.port, text.c_str());
    if (!socket && relocate(head.receiver, address))
        socket = comm_senddata_socket(head.receiver, address.host.c_str(), address.port, text.c_str());
    if (!socket) {
        report_send_error(head.receiver, address);
        return nullptr;
    }
    report_success(head.receiver, address);
    comm_log_output(message_of(text).c_str());
    return socket;
}

void CCommunicator::report_success(const char* receiver, const Address& address)
{
    set_result("<CCommunicator> Success sending (internal) request to Agent [%s] at [%s][%d]",
               safe(receiver), address.host.c_str(), static_cast<int>(address.port));
    debug(result.data());
}

void CCommunicator::report_send_error(const char* receiver, const Address& address)
{
    set_result("<CCommunicator> Error [%s] sending (internal) request to Agent [%s] at [%s][%d]",
               ErrorToAsc(last_error), safe(receiver), address.host.c_str(),
               static_cast<int>(address.port));
    debug(result.data());
}

// What the modules see of a sent message: the text without the end byte.
std::string CCommunicator::message_of(const std::string& text)
{
    if (!text.empty() && text.back() == CClientSocket::END_OF_MESSAGE)
        return text.substr(0, text.size() - 1);
    return text;
}

int CCommunicator::comm_senddata(const char* agent, const char* host, unsigned port,
                                 const char* text)
{
    if (!server) {
        debug("<CCommunicator> Server socket is NULL, you can't send messages to agents");
        return 0;
    }
    int sent = -1;
    deliver(agent, host, port, text, sent);
    return sent;
}

CClientSocket* CCommunicator::comm_senddata_socket(const char* agent, const char* host,
                                                   unsigned port, const char* text)
{
    if (!server) {
        debug("<CCommunicator> Server socket is NULL, you can't send messages to agents");
        return nullptr;
    }
    int sent = -1;
    CClientSocket* socket = deliver(agent, host, port, text, sent);
    if (sent < 0)
        debug("<CCommunicator> sending message");
    return socket;
}

// A send that fails on the agent's open connection (the peer may have reset
// it) is tried once more on a new connection.
CClientSocket* CCommunicator::deliver(const char* agent, const char* host, unsigned port,
                                      const char* text, int& sent)
{
    sent = -1;
    if (!text)
        return nullptr;
    std::string copy(text);
    if (CClientSocket* open = send_on_open(agent, copy, sent))
        return open;
    copy = text;
    return send_on_new(agent, host, port, copy, sent);
}

CClientSocket* CCommunicator::send_on_open(const char* agent, std::string& text, int& sent)
{
    CClientSocket* connection = find_connection(agent, nullptr, 0);
    if (!connection)
        return nullptr;
    sent = connection->mfc_send(text.data());
    if (sent >= 0)
        return connection;
    last_error = connection->GetLastError();
    connection->set_dirty(1);
    return nullptr;
}

CClientSocket* CCommunicator::send_on_new(const char* agent, const char* host, unsigned port,
                                          std::string& text, int& sent)
{
    sent = -1;
    std::unique_ptr<CClientSocket> socket = connect_socket(agent, host, port);
    if (!socket)
        return nullptr;
    sent = socket->mfc_send(text.data());
    if (sent < 0) {
        last_error = socket->GetLastError();
        return nullptr;
    }
    if (is_empty(agent))
        return nullptr;
    CClientSocket* kept = socket.get();
    if (!server->register_connection(kept))
        return nullptr;
    socket.release();
    return kept;
}

std::unique_ptr<CClientSocket> CCommunicator::connect_socket(const char* agent,
                                                             const char* host, unsigned port)
{
    std::unique_ptr<CClientSocket> socket(new (std::nothrow) CClientSocket(server.get(),
                                                                             handler));
    if (!socket || !socket->Create()) {
        last_error = socket ? socket->GetLastError() : WSAENOBUFS;
        debug("<CCommunicator> Communicator returned: Error creating socket");
        return nullptr;
    }
    if (!is_empty(agent))
        socket->set_agentname(agent);
    if (!host) {
        last_error = WSAEDESTADDRREQ;
        return nullptr;
    }
    if (held_unreachable(host, port)) {
        last_error = WSAETIMEDOUT;
        dprintf("<CCommunicator> [%s][%d] did not answer lately, not connecting to it yet", host,
              static_cast<int>(port));
        return nullptr;
    }
    if (!socket->Connect(host, port, connect_timeout_ms)) {
        last_error = socket->GetLastError();
        if (last_error == WSAETIMEDOUT)
            hold_unreachable(host, port);
        return nullptr;
    }
    socket->set_hostname(host);
    socket->set_port(port);
    return socket;
}

// A connect that times out blocks the whole agent for the time-out; an
// address that did so is not tried again for a while, so that no peer
// holds the agent for more than a few seconds a minute.
void CCommunicator::hold_unreachable(const char* host, unsigned port)
{
    const std::string address = std::string(host) + ":" + std::to_string(port);
    unreachable[address] = std::chrono::steady_clock::now() + UNREACHABLE_HOLD;
    dprintf("<CCommunicator> Connecting to [%s][%d] timed out; not trying it again for %d seconds", host,
          static_cast<int>(port), static_cast<int>(UNREACHABLE_HOLD.count()));
}

bool CCommunicator::held_unreachable(const char* host, unsigned port)
{
    const auto now = std::chrono::steady_clock::now();
    for (auto it = unreachable.begin(); it != unreachable.end();)
        it = it->second <= now ? unreachable.erase(it) : std::next(it);
    return unreachable.count(std::string(host) + ":" + std::to_string(port)) > 0;
}

void CCommunicator::set_connect_timeout(unsigned timeout_ms)
{
    connect_timeout_ms = timeout_ms;
}

std::unique_ptr<CClientSocket> CCommunicator::get_socket(const char* agent)
{
    Address address;
    if (!locate(agent, address)) {
        dprintf("<CCommunicator> Error looking up [%s] with ANS", safe(agent));
        return nullptr;
    }
    return connect_socket(agent, address.host.c_str(), address.port);
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
        const bool wanted = !displays_only || (module && module->get_name() &&
                                               module->get_type() == kOutgoingDisplayType);
        if (module && wanted)
            module->process_message(text, DIRECTION_OUTGOING);
        e = next;
    }
}

// Every record is counted down exactly once per tick; records that reach
// the end (or hold a count that could never reach it) are dropped.
void CCommunicator::check_integrity()
{
    CLList* table = get_lookup_table();
    if (table)
        expire_entries(table);
    else
        debug("<CCommunicator> lookup table is NULL whilst checking location lookup table");
    alive();
}

void CCommunicator::expire_entries(CLList* table)
{
    for (CListElement* e = table->get_element(0); e;) {
        CListElement* next = e->get_next();
        CServiceInfo* record = dynamic_cast<CServiceInfo*>(e);
        const int expiration = record ? record->get_expiration() : CServiceInfo::NEVER_EXPIRES;
        if (expiration != CServiceInfo::NEVER_EXPIRES) {
            if (expiration <= 1) {
                table->delete_element(e);
                if (beliefdb)
                    beliefdb->set_modified(1);
            } else {
                record->set_expiration(expiration - 1);
            }
        }
        e = next;
    }
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
    dprintf("<CCommunicator> Discovery module [%s] cannot examine datagram [%d]",
          safe(discovery->get_name()), descriptor);
    return DISCOVERY_ERROR;
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
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code)
            return entry.text;
    }
    return "<CCommunicator> The network returned an unknown error";
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
    const std::string line = vformat(fmt, args);
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

// --- helpers ---------------------------------------------------------------------------------

void CCommunicator::for_each_lookup_module(const std::function<void(CLookupModule&)>& action)
{
    for (CListElement* e = lookup_modules.get_element(0); e;) {
        CListElement* next = e->get_next();
        CLookupModule* module = dynamic_cast<CLookupModule*>(e);
        if (module && module->is_enabled())
            action(*module);
        else if (module)
            debug("<CCommunicator> Module is disabled, skipping");
        e = next;
    }
}

CLogFacility* CCommunicator::module_of(CListElement* element)
{
    return dynamic_cast<CLogFacility*>(element);
}

char* CCommunicator::string_belief(const char* name)
{
    CStringBelief* belief = beliefdb ? beliefdb->find_string_belief(name) : nullptr;
    return belief ? belief->get_value() : nullptr;
}

int CCommunicator::int_belief(const char* name, int& value)
{
    CIntBelief* belief = beliefdb ? beliefdb->find_int_belief(name) : nullptr;
    if (!belief)
        return 0;
    value = belief->get_value();
    return 1;
}

int CCommunicator::set_string_belief(const char* name, const char* value)
{
    CStringBelief* belief = beliefdb ? beliefdb->find_string_belief(name) : nullptr;
    if (!belief)
        return 0;
    belief->set_value(value);
    return 1;
}

int CCommunicator::set_int_belief(const char* name, int value)
{
    CIntBelief* belief = beliefdb ? beliefdb->find_int_belief(name) : nullptr;
    if (!belief)
        return 0;
    belief->set_value(value);
    return 1;
}

void CCommunicator::set_result(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(result.data(), result.size(), fmt, args);
    va_end(args);
}
