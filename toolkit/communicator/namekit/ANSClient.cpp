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

using Clock = std::chrono::steady_clock;

const char kEndOfMessage = '\x04';
const char* const kListSeparators = "\x04\n\r ,";
const char* const kListAllRequest = "list all \n";
// The placeholder the agent container keeps in "ans" until the user has
// named a server; it is no address to connect to.
const char* const kUnknownServer = "-unknown-";

struct ErrorText {
    int code;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {WSAEACCES, "WSAEACCES: Permission denied"},
    {WSAEFAULT, "WSAEFAULT: Bad address"},
    {WSAEWOULDBLOCK, "WSAEWOULDBLOCK: Resource temporarily unavailable"},
    {WSAEINPROGRESS, "WSAEINPROGRESS: Operation now in progress"},
    {WSAENOTSOCK, "WSAENOTSOCK: Socket operation on a non-socket"},
    {WSAEDESTADDRREQ, "WSAEDESTADDRREQ: Destination address required"},
    {WSAEMSGSIZE, "WSAEMSGSIZE: Message too long"},
    {WSAEOPNOTSUPP, "WSAEOPNOTSUPP: Operation not supported"},
    {WSAEAFNOSUPPORT, "WSAEAFNOSUPPORT: Address family not supported by protocol family"},
    {WSAEADDRNOTAVAIL, "WSAEADDRNOTAVAIL: Cannot assign requested address"},
    {WSAENETDOWN, "WSAENETDOWN: Network is down"},
    {WSAENETUNREACH, "WSAENETUNREACH: Network is unreachable"},
    {WSAENETRESET, "WSAENETRESET: Network dropped connection on reset"},
    {WSAECONNABORTED, "WSAECONNABORTED: Software caused connection abort"},
    {WSAECONNRESET, "WSAECONNRESET: Connection reset by peer"},
    {WSAENOBUFS, "WSAENOBUFS: No buffer space available"},
    {WSAENOTCONN, "WSAENOTCONN: Socket is not connected"},
    {WSAESHUTDOWN, "WSAESHUTDOWN: Cannot send after socket shutdown"},
    {WSANOTINITIALISED, "WSANOTINITIALISED: Network subsystem not initialised"},
};

const char* const kUnknownError = "<CANSClient> The network returned an unknown error";

// error2asc's table covers only the codes the toolkit has always explained;
// for the rest (a refused connection, a time-out) the code's name says more
// than "unknown error" does.
const char* socket_error_text(int code) {
    const char* text = CANSClient::error2asc(code);
    if (text != kUnknownError) return text;
    const char* name = WsaErrorName(code);
    return std::strcmp(name, "UNKNOWN") == 0 ? text : name;
}

// Names and addresses go into a blank-separated line protocol: a blank,
// line end or other control character inside one would end the field or
// the line early and let the text smuggle in a request of its own.
bool fits_protocol(const char* text) {
    if (!text || !*text) return false;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        if (*c <= ' ' || *c == 0x7f) return false;
    }
    return true;
}

// 1 when fd can be read (or has hung up, which the next receive reports),
// 0 once the deadline has passed, -1 on a poll error.
int wait_readable(int fd, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        int wait_ms = left <= 0 ? 0 : static_cast<int>(left < INT_MAX ? left : INT_MAX);
        pollfd item{};
        item.fd = fd;
        item.events = POLLIN;
        int ready = ::poll(&item, 1, wait_ms);
        if (ready > 0) return 1;
        if (ready == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

std::string trimmed(const char* line) {
    std::string text = line;
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

CANSClient::CANSClient(CBeliefDB* db, CWnd* window) : CLookupModule(db, window) {
    set_lookup_type(LOOKUP_NAME_SERVER);
    add_belief_server();
    load_server_file();
    current_server = dynamic_cast<CURL*>(servers.get_element(0));
}

CANSClient::~CANSClient() {
    debug("<CANSClient> shutting down ANS module ...");
}

// ---------------------------------------------------------------------------
// Server list

void CANSClient::add_belief_server() {
    const char* host = string_value("ans");
    if (!host || !*host || std::strcmp(host, kUnknownServer) == 0) return;
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

void CANSClient::load_server_file() {
    const char* home = CUtils::get_home();
    if (!home) return;
    std::string path = std::string(home) + "/system/ans/ANSListFile.txt";
    CFileBuffer file;
    if (!file.load_a_file(path.c_str())) return;
    while (char* line = file.read_line()) add_server_line(line);
}

void CANSClient::add_server_line(const char* line) {
    std::string text = trimmed(line);
    if (text.empty()) return;
    auto server = std::make_unique<CURL>();
    // parse_url keeps the port it finds set, so an entry without one gets
    // the name server's usual port rather than HTTP's.
    server->set_port(DEFAULT_ANS_PORT);
    // A line that names no host is no server to try.
    if (server->parse_url(text.c_str())) servers.add_element(server.release());
}

CLList* CANSClient::get_ans_servers() {
    return &servers;
}

CURL* CANSClient::get_current_ans() {
    return current_server;
}

int CANSClient::ans_find_server() {
    if (servers.get_nr_elements() == 0) {
        debug("<CANSClient> Unable to find any ANS servers");
        return 0;
    }
    for (CListElement* e = servers.get_element(0); e; e = e->get_next()) {
        auto* server = dynamic_cast<CURL*>(e);
        if (!server) continue;
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

int CANSClient::register_agent(const char* name) {
    if (!name) return fail("<CANSClient> No agent name given, aborting registration");
    if (!compose_register(name)) return 0;
    add_name(name);
    const int registered = ans_request(register_request.data(), REQUEST_REGISTER);
    if (registered)
        unregistered.erase(name);
    else
        unregistered.insert(name);
    return registered;
}

int CANSClient::unregister_agent(const char* name) {
    return forget_and_unregister(name);
}

int CANSClient::listall_agents() {
    return ans_list_all();
}

// Registering again refreshes a name before the server's time-to-live ends
// it, and gives it back to a server that restarted without its state or
// that was not up when the agent started.
int CANSClient::alive() {
    if (!is_enabled()) return 0;
    int all_done = 1;
    for (const std::string& name : remembered_names()) {
        if (compose_register(name.c_str()) && ans_request(register_request.data(), REQUEST_REGISTER)) {
            if (unregistered.erase(name)) dprintf("<CANSClient> Registered [%s] with the ANS again", name.c_str());
            continue;
        }
        if (unregistered.insert(name).second)
            dprintf("<CANSClient> The ANS did not take [%s]; trying again at the next alive", name.c_str());
        all_done = 0;
    }
    return all_done;
}

bool CANSClient::holds_name(const char* name) {
    if (!name || unregistered.count(name)) return false;
    for (const std::string& known : remembered_names()) {
        if (known == name) return true;
    }
    return false;
}

// Copies, since requests may change the list of names.
std::vector<std::string> CANSClient::remembered_names() {
    std::vector<std::string> names;
    for (CListElement* e = get_names()->get_element(0); e; e = e->get_next()) {
        if (e->get_name()) names.emplace_back(e->get_name());
    }
    return names;
}

int CANSClient::process_enable() {
    int registered = ans_register();
    if (registered) ans_list_all();
    return registered;
}

int CANSClient::process_disable() {
    return ans_unregister();
}

// ---------------------------------------------------------------------------
// Registration

int CANSClient::ans_register() {
    const char* name = string_value("name");
    if (!name) return fail("<CANSClient> No name field found, aborting");
    // The belief may change while the request runs; work on a copy.
    std::string own = name;
    return register_agent(own.c_str());
}

int CANSClient::ans_register_alias(const char* name) {
    return register_agent(name);
}

int CANSClient::ans_unregister() {
    if (!string_value("name")) return fail("<CANSClient> No name field found, aborting");
    int all_done = 1;
    // A name is forgotten whether or not the server could be told: an
    // agent that switched its client off must never register it again from
    // alive(). A server that was not told lets it expire.
    for (const std::string& name : remembered_names()) {
        if (!compose_unregister(name.c_str(), "\r\n") || !ans_request(unregister_request.data(), REQUEST_UNREGISTER))
            all_done = 0;
        remove_name(name.c_str());
        unregistered.erase(name);
    }
    return all_done;
}

int CANSClient::ans_unregister_agent(const char* name) {
    return forget_and_unregister(name);
}

int CANSClient::UnRegisterAgent(const char* name) {
    return forget_and_unregister(name);
}

int CANSClient::forget_and_unregister(const char* name) {
    if (!name) return fail("<CANSClient> No agent name given, aborting unregistration");
    remove_name(name);
    if (!compose_unregister(name, "\n")) return 0;
    return ans_request(unregister_request.data(), REQUEST_UNREGISTER);
}

// ---------------------------------------------------------------------------
// Listing

int CANSClient::ans_list_all() {
    if (!compose_list(nullptr)) return 0;
    return list_into_table(query_request.data(), false);
}

int CANSClient::ans_list_all(const char* pattern) {
    if (!pattern) return fail("<CANSClient> No list pattern given, aborting");
    if (!compose_list(pattern)) return 0;
    return list_into_table(query_request.data(), true);
}

int CANSClient::list_into_table(const char* request, bool replace) {
    if (!ans_request(request, REQUEST_LIST)) return 0;
    CLList* table = get_lookup_table();
    if (replace && table) {
        table->delete_list();
        mark_modified();
    }
    return parse_entries();
}

int CANSClient::parse_entries() {
    debug("<CANSClient> parse_entries ()");
    CLList* table = get_lookup_table();
    if (!table) return fail("<CANSClient> Lookup table is NULL, unable to parse entries");
    mark_modified();
    std::string text = last_reply.data();
    size_t start = text.find_first_not_of(kListSeparators);
    while (start != std::string::npos) {
        size_t end = text.find_first_of(kListSeparators, start);
        std::string name = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (CServiceInfo* record = create_entry(name.c_str())) record->set_type(1);
        start = end == std::string::npos ? end : text.find_first_not_of(kListSeparators, end);
    }
    return 1;
}

char** CANSClient::ListAllAgents(int* count, int clear) {
    if (count) *count = 0;
    if (!compose_list(nullptr)) return nullptr;
    if (!list_into_table(query_request.data(), clear != 0)) return nullptr;
    CLList* table = get_lookup_table();
    std::vector<const char*> names;
    for (CListElement* e = table->get_element(0); e; e = e->get_next()) {
        if (e->get_name()) names.push_back(e->get_name());
    }
    auto** copies = static_cast<char**>(std::calloc(names.size() + 1, sizeof(char*)));
    if (!copies) return nullptr;
    for (size_t i = 0; i < names.size(); ++i) {
        copies[i] = strdup(names[i]);
        if (copies[i]) continue;
        for (size_t j = 0; j < i; ++j) std::free(copies[j]);
        std::free(copies);
        return nullptr;
    }
    if (count) *count = static_cast<int>(names.size());
    return copies;
}

char* CANSClient::listall_getfirst() {
    CLList* table = get_lookup_table();
    if (!table) return nullptr;
    CListElement* e = table->get_first_element();
    while (e && !e->get_name()) e = table->get_next_element();
    return e ? e->get_name() : nullptr;
}

char* CANSClient::listall_getnext() {
    CLList* table = get_lookup_table();
    if (!table) return nullptr;
    CListElement* e = table->get_next_element();
    while (e && !e->get_name()) e = table->get_next_element();
    return e ? e->get_name() : nullptr;
}

// ---------------------------------------------------------------------------
// Lookup

int CANSClient::lookup_agent(const char* name) {
    if (!name) return fail("<CANSClient> No agent name given, aborting lookup");
    CLList* table = get_lookup_table();
    if (!table) return fail("<CANSClient> No lookup table defined, aborting lookup");
    // Compose first, so that a name the request cannot carry fails before
    // anything is sent.
    if (!compose_lookup(name)) return 0;
    // Keep the name: listing below may replace the record it came from.
    std::string agent = name;
    if (table->get_nr_elements() == 0) {
        ans_list_all();
        // Listing used the same request buffer.
        compose_lookup(agent.c_str());
    }
    CListElement* known = table->find_element(agent.c_str());
    if (!known) return lookup_unknown(agent.c_str());
    auto* record = dynamic_cast<CServiceInfo*>(known);
    if (!record) return fail("<CANSClient> Lookup table entry [%s] is not a location record", agent.c_str());
    return lookup_known(record);
}

int CANSClient::lookup_unknown(const char* name) {
    if (exchange(query_request.data(), REQUEST_LOOKUP) != Outcome::Answered) {
        std::string why = last_reply.data();
        return fail("<CANSClient> ANS returned sorry for lookup action: [%s]", why.c_str());
    }
    strip_line_end();
    std::string url = last_reply.data();
    dprintf("<CANSClient> Creating location information with: [%s] for: [%s]", url.c_str(), name);
    CServiceInfo* record = create_entry_url(url.c_str());
    if (!record) return fail("<CANSClient> ANS reply is not an agent address: [%s]", url.c_str());
    record->set_name(name);
    record->set_type(1);
    return 1;
}

int CANSClient::lookup_known(CServiceInfo* record) {
    Outcome outcome = exchange(query_request.data(), REQUEST_LOOKUP);
    if (outcome == Outcome::NoAnswer) return 0;
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
    mark_modified();
    return 1;
}

void CANSClient::strip_line_end() {
    size_t length = std::strlen(last_reply.data());
    if (length > 0 && last_reply[length - 1] == '\n') last_reply[--length] = '\0';
    if (length > 0 && last_reply[length - 1] == '\r') last_reply[--length] = '\0';
}

CAgentInfo* CANSClient::LookupAgent(const char* name) {
    if (!lookup_agent(name)) return nullptr;
    CLList* table = get_lookup_table();
    auto* record = table ? dynamic_cast<CServiceInfo*>(table->find_element(name)) : nullptr;
    CURL* location = record ? record->get_location() : nullptr;
    if (!location || !location->get_host()) return nullptr;
    return new CAgentInfo(name, location->get_host(), location->get_port());
}

// ---------------------------------------------------------------------------
// Requests

int CANSClient::check_name(const char* name) {
    if (fits_protocol(name)) return 1;
    return fail("<CANSClient> Agent name is empty or holds blanks or control characters, aborting");
}

int CANSClient::compose(char* buffer, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int length = std::vsnprintf(buffer, REQUEST_BUFFER_SIZE, fmt, args);
    va_end(args);
    if (length >= 0 && static_cast<size_t>(length) < REQUEST_BUFFER_SIZE) return 1;
    buffer[0] = '\0';
    return fail("<CANSClient> Request does not fit into %zu bytes, aborting", REQUEST_BUFFER_SIZE - 1);
}

int CANSClient::compose_register(const char* name) {
    const char* host = string_value("hostname");
    int port = 0;
    if (!host || !int_value("port", port)) {
        return fail("<CANSClient> No hostname or port field found, aborting registration");
    }
    if (!check_name(name)) return 0;
    if (!fits_protocol(host)) return fail("<CANSClient> Hostname field is not an address, aborting");
    return compose(register_request.data(), "register %s tcp://%s:%d\r\n", name, host, port);
}

int CANSClient::compose_unregister(const char* name, const char* line_end) {
    if (!check_name(name)) return 0;
    return compose(unregister_request.data(), "unregister %s%s", name, line_end);
}

int CANSClient::compose_lookup(const char* name) {
    if (!check_name(name)) return 0;
    return compose(query_request.data(), "lookup %s\n", name);
}

int CANSClient::compose_list(const char* pattern) {
    if (!pattern) return compose(query_request.data(), "%s", kListAllRequest);
    if (!fits_protocol(pattern)) {
        return fail("<CANSClient> List pattern is empty or holds blanks or control characters, aborting");
    }
    return compose(query_request.data(), "list %s \n", pattern);
}

int CANSClient::ans_request(const char* text, int kind) {
    return exchange(text, kind) == Outcome::Answered ? 1 : 0;
}

CANSClient::Outcome CANSClient::exchange(const char* text, int kind) {
    debug("<CANSClient> ans_request ()");
    const char* host = string_value("ans");
    int port = 0;
    if (!host) {
        fail("<CANSClient> ANS server name field is NULL");
        return Outcome::NoAnswer;
    }
    // The placeholder of an agent that has not been told its name server yet
    // is not a host: nothing is sent and no name lookup is made for it.
    if (std::strcmp(host, kUnknownServer) == 0) {
        fail("<CANSClient> No ANS server configured yet, request not sent");
        return Outcome::NoAnswer;
    }
    if (!int_value("ansport", port)) {
        fail("<CANSClient> ANS server port field is NULL");
        return Outcome::NoAnswer;
    }
    size_t length = text ? std::strlen(text) : 0;
    if (length == 0) {
        fail("<CANSClient> Empty request, nothing sent to ANS");
        return Outcome::NoAnswer;
    }
    // The belief may change while the request runs; work on a copy.
    std::string server = host;
    if (!open_connection(server.c_str(), port)) return Outcome::NoAnswer;
    if (!send_request(text, length)) {
        ans_find_server();
        return Outcome::NoAnswer;
    }
    dprintf("ANS client successfully send: [%.*s]", static_cast<int>(length - 1), text);
    size_t received = 0;
    ReadStatus status = read_reply(received);
    socket.reset();
    if (report_read_failure(status)) return Outcome::NoAnswer;
    keep_reply(received);
    return classify_reply(last_reply.data(), kind) == REPLY_SUCCESS ? Outcome::Answered : Outcome::Refused;
}

bool CANSClient::open_connection(const char* host, int port) {
    socket = std::make_unique<CAsyncSocket>();
    if (!socket->Create()) {
        fail("<CANSClient> Error creating socket [%s]", socket_error_text(socket->GetLastError()));
        socket.reset();
        return false;
    }
    unsigned target = port > 0 ? static_cast<unsigned>(port) : 0u;
    if (!socket->Connect(host, target, timeout_ms)) {
        fail("<CANSClient> Error connecting to ANS [%s,%d], [%s]", host, port,
             socket_error_text(socket->GetLastError()));
        socket.reset();
        return false;
    }
    return true;
}

bool CANSClient::send_request(const char* text, size_t length) {
    socket->SetSendTimeout(timeout_ms);
    if (socket->Send(text, length) == static_cast<int>(length)) return true;
    fail("<CANSClient> Error sending request to ANS [%s]", socket_error_text(socket->GetLastError()));
    socket.reset();
    return false;
}

CANSClient::ReadStatus CANSClient::read_reply(size_t& length) {
    length = 0;
    const size_t limit = reply.size() - 1;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (length < limit) {
        int ready = wait_readable(socket->GetSocketHandle(), deadline);
        if (ready == 0) return ReadStatus::TimedOut;
        if (ready < 0) return ReadStatus::Failed;
        int n = socket->Receive(reply.data() + length, limit - length);
        if (n > 0) {
            length += static_cast<size_t>(n);
            if (reply[length - 1] == kEndOfMessage) return ReadStatus::Complete;
        } else if (n == 0) {
            // A server that closes after its reply need not mark its end.
            return length > 0 ? ReadStatus::Complete : ReadStatus::Closed;
        } else if (socket->GetLastError() != WSAEWOULDBLOCK) {
            return ReadStatus::Failed;
        }
    }
    return ReadStatus::TooLong;
}

bool CANSClient::report_read_failure(ReadStatus status) {
    switch (status) {
        case ReadStatus::Complete:
            return false;
        case ReadStatus::Closed:
            fail("<CANSClient> Connection closed by foreign host");
            break;
        case ReadStatus::Failed:
            fail("<CANSClient> Error receiving reply from ANS");
            break;
        case ReadStatus::TimedOut:
            fail("<CANSClient> No complete reply from ANS within %u ms", timeout_ms);
            break;
        case ReadStatus::TooLong:
            fail("<CANSClient> Reply from ANS is longer than %zu bytes, discarded", reply.size() - 1);
            break;
    }
    return true;
}

void CANSClient::keep_reply(size_t length) {
    reply[length] = '\0';
    // A NUL inside the reply ends it, as it ends any C text.
    length = std::strlen(reply.data());
    for (char terminator : {kEndOfMessage, '\n', '\r', '\n', '\r'}) {
        if (length > 0 && reply[length - 1] == terminator) reply[--length] = '\0';
    }
    std::memcpy(last_reply.data(), reply.data(), length + 1);
}

int CANSClient::classify_reply(const char* text, int kind) {
    if (!text) return REPLY_FAIL;
    if (kind == REQUEST_LIST) return std::strncmp(text, "null", 4) == 0 ? REPLY_ERROR : REPLY_SUCCESS;
    static const char* const kWords[] = {"fail", "sorry", "error", "success"};
    for (int cls = REPLY_FAIL; cls <= REPLY_SUCCESS; ++cls) {
        if (std::strstr(text, kWords[cls])) return cls;
    }
    return REPLY_SUCCESS;
}

// ---------------------------------------------------------------------------
// Errors, settings and beliefs

char* CANSClient::get_last_error() {
    return last_reply.data();
}

const char* CANSClient::error2asc(int code) {
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code == code) return entry.text;
    }
    return kUnknownError;
}

void CANSClient::set_timeout(unsigned timeout) {
    timeout_ms = timeout;
}

unsigned CANSClient::get_timeout() const {
    return timeout_ms;
}

const char* CANSClient::string_value(const char* belief) {
    CBeliefDB* db = get_beliefdb();
    CStringBelief* found = db ? db->find_string_belief(belief) : nullptr;
    return found ? found->get_value() : nullptr;
}

bool CANSClient::int_value(const char* belief, int& value) {
    CBeliefDB* db = get_beliefdb();
    CIntBelief* found = db ? db->find_int_belief(belief) : nullptr;
    if (!found) return false;
    value = found->get_value();
    return true;
}

void CANSClient::mark_modified() {
    if (CBeliefDB* db = get_beliefdb()) db->set_modified(1);
}

int CANSClient::fail(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(last_reply.data(), last_reply.size(), fmt, args);
    va_end(args);
    debug(last_reply.data());
    return 0;
}
