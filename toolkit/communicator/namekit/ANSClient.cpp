#include <namekit/ANSClient.h>

#include <basekit/FileBuffer.h>
#include <basekit/URL.h>
#include <basekit/Utils.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/StringBelief.h>
#include <namekit/AgentInfo.h>
#include <notekit/ServiceInfo.h>
#include <platform/AsyncSocket.h>
#include <platform/SocketError.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <vector>

namespace {

const char* const kListSeparators = "\x04\n\r ,";
// The placeholder the agent container keeps in "ans" until the user has
// named a server; it is no address to connect to.
const char* const kUnknownServer = "-unknown-";

const char* const kUnknownError = "<CANSClient> The network returned an unknown error";

std::string trimmed(const char* line)
{
    std::string text = line;
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

} // namespace

CANSClient::CANSClient(CBeliefDB* db, CWnd* window) : CLookupModule(db, window)
{
    set_lookup_type(LOOKUP_NAME_SERVER);
    add_belief_server();
    load_server_file();
    current_server = dynamic_cast<CURL*>(servers.get_element(0));
}

CANSClient::~CANSClient()
{
    debug("<CANSClient> shutting down ANS module ...");
}

// ---------------------------------------------------------------------------
// Server list

void CANSClient::add_belief_server()
{
    const char* host = string_value("ans");
    if (!host || !*host || std::strcmp(host, kUnknownServer) == 0)
        return;
    int port = DEFAULT_ANS_PORT;
    int_value("ansport", port);
    auto server = std::make_unique<CURL>();
    std::string url = "tcp://" + std::string(host) + ":" + std::to_string(port);
    server->set_name(url.c_str());
    server->set_proto("tcp");
    server->set_host(host);
    server->set_port(port);
    servers.add_element(server.release());
}

void CANSClient::load_server_file()
{
    const char* home = CUtils::get_home();
    if (!home)
        return;
    std::string path = std::string(home) + "/system/ans/ANSListFile.txt";
    CFileBuffer file;
    if (!file.load_a_file(path.c_str()))
        return;
    while (char* line = file.read_line())
        add_server_line(line);
}

void CANSClient::add_server_line(const char* line)
{
    std::string text = trimmed(line);
    if (text.empty())
        return;
    auto server = std::make_unique<CURL>();
    // parse_url keeps the port it finds set, so an entry without one gets
    // the name server's usual port rather than HTTP's.
    server->set_port(DEFAULT_ANS_PORT);
    // A line that names no host is no server to try.
    if (server->parse_url(text.c_str()))
        servers.add_element(server.release());
}

CLList* CANSClient::get_ans_servers()
{
    return &servers;
}

CURL* CANSClient::get_current_ans()
{
    return current_server;
}

int CANSClient::ans_find_server()
{
    if (servers.get_nr_elements() == 0) {
        debug("<CANSClient> Unable to find any ANS servers");
        return 0;
    }
    for (CListElement* e = servers.get_element(0); e; e = e->get_next()) {
        auto* server = dynamic_cast<CURL*>(e);
        if (!server)
            continue;
        const char* host = server->get_host() ? server->get_host() : "";
        CAsyncSocket probe;
        int port = server->get_port();
        if (probe.Connect(host, port > 0 ? static_cast<unsigned>(port) : 0u, timeout_ms)) {
            current_server = server;
            dprintf("<CANSClient> Using ANS server [%s,%d]", host, port);
            return 1;
        }
        dprintf("<CANSClient> Error connecting to ANS [%s,%d], [%s]", host, port,
                socket_error_text(probe.GetLastError()));
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Lookup-module operations

int CANSClient::register_agent(const char* name)
{
    if (!name)
        return fail("<CANSClient> No agent name given, aborting registration");
    if (!compose_register(name))
        return 0;
    add_name(name);
    const int registered = send_signed(REQUEST_REGISTER, name, nullptr);
    if (registered)
        unregistered.erase(name);
    else
        unregistered.insert(name);
    return registered;
}

int CANSClient::unregister_agent(const char* name)
{
    return forget_and_unregister(name);
}

int CANSClient::listall_agents()
{
    return ans_list_all();
}

// Registering again refreshes a name before the server's time-to-live ends
// it, and gives it back to a server that restarted without its state or
// that was not up when the agent started.
int CANSClient::alive()
{
    if (!is_enabled())
        return 0;
    int all_done = 1;
    for (const std::string& name : remembered_names()) {
        if (compose_register(name.c_str()) && send_signed(REQUEST_REGISTER, name.c_str(), nullptr)) {
            if (unregistered.erase(name))
                dprintf("<CANSClient> Registered [%s] with the ANS again", name.c_str());
            continue;
        }
        if (unregistered.insert(name).second)
            dprintf("<CANSClient> The ANS did not take [%s]; trying again at the next alive", name.c_str());
        all_done = 0;
    }
    return all_done;
}

bool CANSClient::holds_name(const char* name)
{
    if (!name || unregistered.count(name))
        return false;
    for (const std::string& known : remembered_names()) {
        if (known == name)
            return true;
    }
    return false;
}

// Copies, since requests may change the list of names.
std::vector<std::string> CANSClient::remembered_names()
{
    std::vector<std::string> names;
    for (CListElement* e = get_names()->get_element(0); e; e = e->get_next()) {
        if (e->get_name())
            names.emplace_back(e->get_name());
    }
    return names;
}

int CANSClient::process_enable()
{
    int registered = ans_register();
    if (registered)
        ans_list_all();
    return registered;
}

int CANSClient::process_disable()
{
    return ans_unregister();
}

// ---------------------------------------------------------------------------
// Registration

int CANSClient::ans_register()
{
    const char* name = string_value("name");
    if (!name)
        return fail("<CANSClient> No name field found, aborting");
    // The belief may change while the request runs; work on a copy.
    std::string own = name;
    return register_agent(own.c_str());
}

int CANSClient::ans_register_alias(const char* name)
{
    return register_agent(name);
}

int CANSClient::ans_unregister()
{
    if (!string_value("name"))
        return fail("<CANSClient> No name field found, aborting");
    int all_done = 1;
    // A name is forgotten whether or not the server could be told: an
    // agent that switched its client off must never register it again from
    // alive(). A server that was not told lets it expire.
    for (const std::string& name : remembered_names()) {
        if (!compose_unregister(name.c_str(), "\r\n") ||
            !send_signed(REQUEST_UNREGISTER, name.c_str(), "\r\n"))
            all_done = 0;
        remove_name(name.c_str());
        unregistered.erase(name);
    }
    return all_done;
}

int CANSClient::ans_unregister_agent(const char* name)
{
    return forget_and_unregister(name);
}

int CANSClient::UnRegisterAgent(const char* name)
{
    return forget_and_unregister(name);
}

int CANSClient::forget_and_unregister(const char* name)
{
    if (!name)
        return fail("<CANSClient> No agent name given, aborting unregistration");
    remove_name(name);
    if (!compose_unregister(name, "\n"))
        return 0;
    return send_signed(REQUEST_UNREGISTER, name, "\n");
}

// ---------------------------------------------------------------------------
// Listing

int CANSClient::ans_list_all()
{
    if (!compose_list(nullptr))
        return 0;
    return list_into_table(query_request.data(), false);
}

int CANSClient::ans_list_all(const char* pattern)
{
    if (!pattern)
        return fail("<CANSClient> No list pattern given, aborting");
    if (!compose_list(pattern))
        return 0;
    return list_into_table(query_request.data(), true);
}

int CANSClient::list_into_table(const char* request, bool replace)
{
    if (!ans_request(request, REQUEST_LIST))
        return 0;
    CLList* table = get_lookup_table();
    if (replace && table) {
        table->delete_list();
        mark_modified();
    }
    return parse_entries();
}

int CANSClient::parse_entries()
{
    debug("<CANSClient> parse_entries ()");
    CLList* table = get_lookup_table();
    if (!table)
        return fail("<CANSClient> Lookup table is NULL, unable to parse entries");
    mark_modified();
    std::string text = last_reply.data();
    size_t start = text.find_first_not_of(kListSeparators);
    while (start != std::string::npos) {
        size_t end = text.find_first_of(kListSeparators, start);
        std::string name = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (CServiceInfo* record = create_entry(name.c_str()))
            record->set_type(1);
        start = end == std::string::npos ? end : text.find_first_not_of(kListSeparators, end);
    }
    return 1;
}

char** CANSClient::ListAllAgents(int* count, int clear)
{
    if (count)
        *count = 0;
    if (!compose_list(nullptr))
        return nullptr;
    if (!list_into_table(query_request.data(), clear != 0))
        return nullptr;
    CLList* table = get_lookup_table();
    std::vector<const char*> names;
    for (CListElement* e = table->get_element(0); e; e = e->get_next()) {
        if (e->get_name())
            names.push_back(e->get_name());
    }
    auto** copies = static_cast<char**>(std::calloc(names.size() + 1, sizeof(char*)));
    if (!copies)
        return nullptr;
    for (size_t i = 0; i < names.size(); ++i) {
        copies[i] = strdup(names[i]);
        if (copies[i])
            continue;
        for (size_t j = 0; j < i; ++j)
            std::free(copies[j]);
        std::free(copies);
        return nullptr;
    }
    if (count)
        *count = static_cast<int>(names.size());
    return copies;
}

char* CANSClient::listall_getfirst()
{
    CLList* table = get_lookup_table();
    if (!table)
        return nullptr;
    CListElement* e = table->get_first_element();
    while (e && !e->get_name())
        e = table->get_next_element();
    return e ? e->get_name() : nullptr;
}

char* CANSClient::listall_getnext()
{
    CLList* table = get_lookup_table();
    if (!table)
        return nullptr;
    CListElement* e = table->get_next_element();
    while (e && !e->get_name())
        e = table->get_next_element();
    return e ? e->get_name() : nullptr;
}

// ---------------------------------------------------------------------------
// Lookup

int CANSClient::lookup_agent(const char* name)
{
    if (!name)
        return fail("<CANSClient> No agent name given, aborting lookup");
    CLList* table = get_lookup_table();
    if (!table)
        return fail("<CANSClient> No lookup table defined, aborting lookup");
    // Compose first, so that a name the request cannot carry fails before
    // anything is sent.
    if (!compose_lookup(name))
        return 0;
    // Keep the name: listing below may replace the record it came from.
    std::string agent = name;
    if (table->get_nr_elements() == 0) {
        ans_list_all();
        // Listing used the same request buffer.
        compose_lookup(agent.c_str());
    }
    CListElement* known = table->find_element(agent.c_str());
    if (!known)
        return lookup_unknown(agent.c_str());
    auto* record = dynamic_cast<CServiceInfo*>(known);
    if (!record)
        return fail("<CANSClient> Lookup table entry [%s] is not a location record", agent.c_str());
    return lookup_known(record);
}

int CANSClient::lookup_unknown(const char* name)
{
    if (exchange(query_request.data(), REQUEST_LOOKUP) != Outcome::Answered) {
        std::string why = last_reply.data();
        return fail("<CANSClient> ANS returned sorry for lookup action: [%s]", why.c_str());
    }
    strip_line_end();
    std::string url = last_reply.data();
    dprintf("<CANSClient> Creating location information with: [%s] for: [%s]", url.c_str(), name);
    CServiceInfo* record = create_entry_url(url.c_str());
    if (!record)
        return fail("<CANSClient> ANS reply is not an agent address: [%s]", url.c_str());
    record->set_name(name);
    record->set_type(1);
    lookup_key(record);
    return 1;
}

int CANSClient::lookup_known(CServiceInfo* record)
{
    Outcome outcome = exchange(query_request.data(), REQUEST_LOOKUP);
    if (outcome == Outcome::NoAnswer)
        return 0;
    if (outcome == Outcome::Refused) {
        fail("<CANSClient> ANS returned sorry for lookup action");
        debug("<CANSClient> Lookup failed, agent does no longer exist, deleting entry ...");
        record->set_gone(1);
        mark_modified();
        return 0;
    }
    strip_line_end();
    std::string url = last_reply.data();
    dprintf("<CANSClient> Updating agent location information with: [%s]", url.c_str());
    auto location = std::make_unique<CURL>();
    if (!location->parse_url(url.c_str())) {
        return fail("<CANSClient> ANS reply is not an agent address: [%s]", url.c_str());
    }
    record->set_location(location.release());
    record->set_gone(0);
    lookup_key(record);
    mark_modified();
    return 1;
}

void CANSClient::strip_line_end()
{
    size_t length = std::strlen(last_reply.data());
    if (length > 0 && last_reply[length - 1] == '\n')
        last_reply[--length] = '\0';
    if (length > 0 && last_reply[length - 1] == '\r')
        last_reply[--length] = '\0';
}

CAgentInfo* CANSClient::LookupAgent(const char* name)
{
    if (!lookup_agent(name))
        return nullptr;
    CLList* table = get_lookup_table();
    auto* record = table ? dynamic_cast<CServiceInfo*>(table->find_element(name)) : nullptr;
    CURL* location = record ? record->get_location() : nullptr;
    if (!location || !location->get_host())
        return nullptr;
    return new CAgentInfo(name, location->get_host(), location->get_port());
}

// ---------------------------------------------------------------------------
// Errors, settings and beliefs

// For a code the sockets' table does not explain the code's name still says
// more than "unknown error" does.
const char* CANSClient::socket_error_text(int code)
{
    const char* text = CANSClient::error2asc(code);
    if (std::strcmp(text, kUnknownError) != 0)
        return text;
    const char* name = WsaErrorName(code);
    return std::strcmp(name, "UNKNOWN") == 0 ? text : name;
}

char* CANSClient::get_last_error()
{
    return last_reply.data();
}

const char* CANSClient::error2asc(int code)
{
    // The sockets' own table, so that the name-server client and the
    // communicator explain a code in the same words.
    const char* explanation = WsaErrorExplanation(code);
    return explanation ? explanation : kUnknownError;
}

void CANSClient::set_timeout(unsigned timeout)
{
    timeout_ms = timeout;
}

unsigned CANSClient::get_timeout() const
{
    return timeout_ms;
}

const char* CANSClient::string_value(const char* belief)
{
    CBeliefDB* db = get_beliefdb();
    CStringBelief* found = db ? db->find_string_belief(belief) : nullptr;
    return found ? found->get_value() : nullptr;
}

bool CANSClient::int_value(const char* belief, int& value)
{
    CBeliefDB* db = get_beliefdb();
    CIntBelief* found = db ? db->find_int_belief(belief) : nullptr;
    if (!found)
        return false;
    value = found->get_value();
    return true;
}

void CANSClient::mark_modified()
{
    if (CBeliefDB* db = get_beliefdb())
        db->set_modified(1);
}

int CANSClient::fail(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(last_reply.data(), last_reply.size(), fmt, args);
    va_end(args);
    debug(last_reply.data());
    return 0;
}
