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
const char* const kListAllRequest = "list all \n";
// The placeholder the agent container keeps in "ans" until the user has
// named a server; it is no address to connect to.
const char* const kUnknownServer = "-unknown-";

// Names and addresses go into a blank-separated line protocol: a blank,
// line end or other control character inside one would end the field or
// the line early and let the text smuggle in a request of its own.
bool fits_protocol(const char* text)
{
    if (!text || !*text)
        return false;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        if (*c <= ' ' || *c == 0x7f)
            return false;
    }
    return true;
}

// 1 when fd can be read (or has hung up, which the next receive reports),
// 0 once the deadline has passed, -1 on a poll error.
int wait_readable(int fd, Clock::time_point deadline)
{
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        int wait_ms = left <= 0 ? 0 : static_cast<int>(left < INT_MAX ? left : INT_MAX);
        pollfd item{};
        item.fd = fd;
        item.events = POLLIN;
        int ready = ::poll(&item, 1, wait_ms);
        if (ready > 0)
            return 1;
        if (ready == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

} // namespace

// The requests of the name-server protocol, one connection per request.

// ---------------------------------------------------------------------------
// Requests

int CANSClient::check_name(const char* name)
{
    if (fits_protocol(name))
        return 1;
    return fail("<CANSClient> Agent name is empty or holds blanks or control characters, aborting");
}

int CANSClient::compose(char* buffer, const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    int length = std::vsnprintf(buffer, REQUEST_BUFFER_SIZE, fmt, args);
    va_end(args);
    if (length >= 0 && static_cast<size_t>(length) < REQUEST_BUFFER_SIZE)
        return 1;
    buffer[0] = '\0';
    return fail("<CANSClient> Request does not fit into %zu bytes, aborting", REQUEST_BUFFER_SIZE - 1);
}

int CANSClient::compose_register(const char* name)
{
    const char* host = string_value("hostname");
    int port = 0;
    if (!host || !int_value("port", port)) {
        return fail("<CANSClient> No hostname or port field found, aborting registration");
    }
    if (!check_name(name))
        return 0;
    if (!fits_protocol(host))
        return fail("<CANSClient> Hostname field is not an address, aborting");
    const std::string words = "register " + std::string(name) + " tcp://" + host + ":" + std::to_string(port);
    return compose(register_request.data(), "%s\r\n", signed_request(words).c_str());
}

int CANSClient::compose_unregister(const char* name, const char* line_end)
{
    if (!check_name(name))
        return 0;
    return compose(unregister_request.data(), "%s%s",
                   signed_request("unregister " + std::string(name)).c_str(), line_end);
}

int CANSClient::compose_lookup(const char* name)
{
    if (!check_name(name))
        return 0;
    return compose(query_request.data(), "lookup %s\n", name);
}

int CANSClient::compose_list(const char* pattern)
{
    if (!pattern)
        return compose(query_request.data(), "%s", kListAllRequest);
    if (!fits_protocol(pattern)) {
        return fail("<CANSClient> List pattern is empty or holds blanks or control characters, aborting");
    }
    return compose(query_request.data(), "list %s \n", pattern);
}

int CANSClient::ans_request(const char* text, int kind)
{
    return exchange(text, kind) == Outcome::Answered ? 1 : 0;
}

CANSClient::Outcome CANSClient::exchange(const char* text, int kind)
{
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
    if (!open_connection(server.c_str(), port))
        return Outcome::NoAnswer;
    if (!send_request(text, length)) {
        ans_find_server();
        return Outcome::NoAnswer;
    }
    dprintf("ANS client successfully send: [%.*s]", static_cast<int>(length - 1), text);
    size_t received = 0;
    ReadStatus status = read_reply(received);
    socket.reset();
    if (report_read_failure(status))
        return Outcome::NoAnswer;
    keep_reply(received);
    return classify_reply(last_reply.data(), kind) == REPLY_SUCCESS ? Outcome::Answered : Outcome::Refused;
}

bool CANSClient::open_connection(const char* host, int port)
{
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

bool CANSClient::send_request(const char* text, size_t length)
{
    socket->SetSendTimeout(timeout_ms);
    if (socket->Send(text, length) == static_cast<int>(length))
        return true;
    fail("<CANSClient> Error sending request to ANS [%s]", socket_error_text(socket->GetLastError()));
    socket.reset();
    return false;
}

CANSClient::ReadStatus CANSClient::read_reply(size_t& length)
{
    length = 0;
    const size_t limit = reply.size() - 1;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (length < limit) {
        int ready = wait_readable(socket->GetSocketHandle(), deadline);
        if (ready == 0)
            return ReadStatus::TimedOut;
        if (ready < 0)
            return ReadStatus::Failed;
        int n = socket->Receive(reply.data() + length, limit - length);
        if (n > 0) {
            length += static_cast<size_t>(n);
            if (reply[length - 1] == kEndOfMessage)
                return ReadStatus::Complete;
        } else if (n == 0) {
            // A server that closes after its reply need not mark its end.
            return length > 0 ? ReadStatus::Complete : ReadStatus::Closed;
        } else if (socket->GetLastError() != WSAEWOULDBLOCK) {
            return ReadStatus::Failed;
        }
    }
    return ReadStatus::TooLong;
}

bool CANSClient::report_read_failure(ReadStatus status)
{
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

void CANSClient::keep_reply(size_t length)
{
    reply[length] = '\0';
    // A NUL inside the reply ends it, as it ends any C text.
    length = std::strlen(reply.data());
    for (char terminator : {kEndOfMessage, '\n', '\r', '\n', '\r'}) {
        if (length > 0 && reply[length - 1] == terminator)
            reply[--length] = '\0';
    }
    std::memcpy(last_reply.data(), reply.data(), length + 1);
}

int CANSClient::classify_reply(const char* text, int kind)
{
    if (!text)
        return REPLY_FAIL;
    if (kind == REQUEST_LIST)
        return std::strncmp(text, "null", 4) == 0 ? REPLY_ERROR : REPLY_SUCCESS;
    // A key's base64 may hold any word, so only its first counts.
    if (kind == REQUEST_KEY)
        return std::strncmp(text, "sorry", 5) == 0   ? REPLY_SORRY
               : std::strncmp(text, "error", 5) == 0 ? REPLY_ERROR
                                                     : REPLY_SUCCESS;
    static const char* const kWords[] = {"fail", "sorry", "error", "success"};
    for (int cls = REPLY_FAIL; cls <= REPLY_SUCCESS; ++cls) {
        if (std::strstr(text, kWords[cls]))
            return cls;
    }
    return REPLY_SUCCESS;
}
