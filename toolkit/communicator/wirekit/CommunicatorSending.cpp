#include <wirekit/Communicator.h>

#include <wirekit/ClientSocket.h>
#include <wirekit/MessageComposer.h>
#include <wirekit/ServerSocket.h>

#include <notekit/ServiceInfo.h>
#include <platform/KeyPair.h>
#include <platform/SocketError.h>

#include <cstdio>

// Sending: where the receiver is, the composed text, and its delivery.

namespace {

constexpr const char* kSorry = "sorry";

const char* safe(const char* text)
{
    return text ? text : "";
}

} // namespace

// --- lookup -------------------------------------------------------------------------

CServiceInfo* CCommunicator::find_record(const char* agent)
{
    return locations.find(agent);
}

char* CCommunicator::comm_lookup(const char* agent, char* host, unsigned* port, std::size_t host_size)
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
    debug("<CCommunicator> Agent found, obtaining location information ...");
    return locations.copy_location(agent, record, host, port, host_size) ? nullptr : sorry();
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
    dprintf("<CCommunicator> Agent [%s] is now at [%s][%d], sending once more", safe(agent),
            fresh.host.c_str(), static_cast<int>(fresh.port));
    address = fresh;
    return true;
}

// --- sending ------------------------------------------------------------------------

char* CCommunicator::comm_sendmessage(const char* performative, const char* receiver, const char* ontology,
                                      const char* language, const char* reply_with, const char* in_reply_to,
                                      const char* forward, ...)
{
    va_list pieces;
    va_start(pieces, forward);
    char* out = vcomm_sendmessage(performative, receiver, ontology, language, reply_with, in_reply_to,
                                  forward, pieces);
    va_end(pieces);
    return out;
}

char* CCommunicator::vcomm_sendmessage(const char* performative, const char* receiver, const char* ontology,
                                       const char* language, const char* reply_with, const char* in_reply_to,
                                       const char* forward, va_list pieces)
{
    const Head head{performative, receiver, nullptr, ontology, language, reply_with, in_reply_to, forward};
    return send_message(head, CMessageComposer::collect_pieces(pieces), true);
}

char* CCommunicator::comm_sendmessage_internal(const char* performative, const char* receiver,
                                               const char* ontology, const char* language,
                                               const char* reply_with, const char* in_reply_to,
                                               const char* forward, ...)
{
    va_list pieces;
    va_start(pieces, forward);
    char* out = vcomm_sendmessage_internal(performative, receiver, ontology, language, reply_with,
                                           in_reply_to, forward, pieces);
    va_end(pieces);
    return out;
}

char* CCommunicator::vcomm_sendmessage_internal(const char* performative, const char* receiver,
                                                const char* ontology, const char* language,
                                                const char* reply_with, const char* in_reply_to,
                                                const char* forward, va_list pieces)
{
    const Head head{performative, receiver, nullptr, ontology, language, reply_with, in_reply_to, forward};
    return send_message(head, CMessageComposer::collect_pieces(pieces), false);
}

CClientSocket* CCommunicator::comm_sendmessage_socket(const char* performative, const char* receiver,
                                                      const char* ontology, const char* language,
                                                      const char* reply_with, const char* in_reply_to,
                                                      const char* forward, ...)
{
    va_list pieces;
    va_start(pieces, forward);
    CClientSocket* out = vcomm_sendmessage_socket(performative, receiver, ontology, language, reply_with,
                                                  in_reply_to, forward, pieces);
    va_end(pieces);
    return out;
}

CClientSocket* CCommunicator::vcomm_sendmessage_socket(const char* performative, const char* receiver,
                                                       const char* ontology, const char* language,
                                                       const char* reply_with, const char* in_reply_to,
                                                       const char* forward, va_list pieces)
{
    const Head head{performative, receiver, nullptr, ontology, language, reply_with, in_reply_to, forward};
    return send_message_socket(head, CMessageComposer::collect_pieces(pieces), true);
}

CClientSocket* CCommunicator::comm_sendmessage_socket_internal(const char* performative, const char* receiver,
                                                               const char* ontology, const char* language,
                                                               const char* reply_with,
                                                               const char* in_reply_to, const char* forward,
                                                               ...)
{
    va_list pieces;
    va_start(pieces, forward);
    CClientSocket* out = vcomm_sendmessage_socket_internal(performative, receiver, ontology, language,
                                                           reply_with, in_reply_to, forward, pieces);
    va_end(pieces);
    return out;
}

CClientSocket* CCommunicator::vcomm_sendmessage_socket_internal(const char* performative,
                                                                const char* receiver, const char* ontology,
                                                                const char* language, const char* reply_with,
                                                                const char* in_reply_to, const char* forward,
                                                                va_list pieces)
{
    const Head head{performative, receiver, nullptr, ontology, language, reply_with, in_reply_to, forward};
    return send_message_socket(head, CMessageComposer::collect_pieces(pieces), false);
}

// An open connection from the receiver carries the reply-with value of the
// message being answered. `replace` takes it even over the caller's value.
const char* CCommunicator::connection_reply_with(const char* receiver, const char* in_reply_to, bool replace)
{
    if (in_reply_to && !replace)
        return in_reply_to;
    CClientSocket* connection = find_connection(receiver, nullptr, 0);
    const char* stored = connection ? connection->get_reply_with() : nullptr;
    return stored ? stored : in_reply_to;
}

bool CCommunicator::compose_text(const Head& head, const std::vector<const char*>& pieces, std::string& text)
{
    Head full = head;
    full.sender = get_name();
    std::string error;
    std::optional<std::string> composed = CMessageComposer::compose(full, pieces, error);
    if (!composed) {
        debug(error.c_str());
        set_result("%s", error.c_str());
        return false;
    }
    text = std::move(*composed);
    return true;
}

CClientSocket* CCommunicator::unproven_answering(const char* receiver)
{
    if (!answering || !receiver || answering->is_finished() || answering->get_claimed_sender() != receiver ||
        answering->is_proven_for(receiver))
        return nullptr;
    return answering;
}

char* CCommunicator::send_message(Head head, const std::vector<const char*>& pieces, bool answer_connection)
{
    set_result(" ");
    if (CClientSocket* back = unproven_answering(head.receiver))
        return answer_on(*back, head, pieces);
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
        if (any_module_wants_outgoing(true))
            give_to_modules(CMessageComposer::without_end(text).c_str(), true);
        return nullptr;
    }
    if (sent == 0)
        set_result("<CCommunicator> Server socket is NULL, you can't send messages to agents");
    else
        report_send_error(head.receiver, address);
    return result.data();
}

char* CCommunicator::answer_on(CClientSocket& connection, Head head, const std::vector<const char*>& pieces)
{
    if (!head.in_reply_to)
        head.in_reply_to = connection.get_reply_with();
    std::string text;
    if (!compose_text(head, pieces, text))
        return result.data();
    if (connection.mfc_send(text.data()) < 0) {
        set_result("<CCommunicator> Error [%s] answering [%s] on the connection it came on",
                   ErrorToAsc(connection.GetLastError()), head.receiver);
        debug(result.data());
        return result.data();
    }
    dprintf("<CCommunicator> Answered [%s], which did not prove its name, on its own connection",
            head.receiver);
    if (any_module_wants_outgoing(true))
        give_to_modules(CMessageComposer::without_end(text).c_str(), true);
    return nullptr;
}

CClientSocket* CCommunicator::send_message_socket(Head head, const std::vector<const char*>& pieces,
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
    comm_log_output(CMessageComposer::without_end(text).c_str());
    return socket;
}

void CCommunicator::report_success(const char* receiver, const Address& address)
{
    set_result("<CCommunicator> Success sending (internal) request to Agent [%s] at [%s][%d]", safe(receiver),
               address.host.c_str(), static_cast<int>(address.port));
    debug(result.data());
}

void CCommunicator::report_send_error(const char* receiver, const Address& address)
{
    set_result("<CCommunicator> Error [%s] sending (internal) request to Agent [%s] at [%s][%d]",
               ErrorToAsc(last_error), safe(receiver), address.host.c_str(), static_cast<int>(address.port));
    debug(result.data());
}

int CCommunicator::comm_senddata(const char* agent, const char* host, unsigned port, const char* text)
{
    if (!server) {
        debug("<CCommunicator> Server socket is NULL, you can't send messages to agents");
        return 0;
    }
    int sent = -1;
    deliver(agent, host, port, text, sent);
    return sent;
}

CClientSocket* CCommunicator::comm_senddata_socket(const char* agent, const char* host, unsigned port,
                                                   const char* text)
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

CClientSocket* CCommunicator::deliver(const char* agent, const char* host, unsigned port, const char* text,
                                      int& sent)
{
    CServiceInfo* record = agent ? find_record(agent) : nullptr;
    const std::string key = pinned_key(agent, record);
    if (!may_deliver(record, key)) {
        dprintf("<CCommunicator> [%s] was found on the local network but cannot prove its name there; "
                "nothing is sent to it",
                safe(agent));
        last_error = WSAEACCES;
        sent = -1;
        return nullptr;
    }
    CClientSocket* socket = delivery.deliver(*server, handler, agent, host, port, text, sent, key);
    if (sent < 0)
        last_error = delivery.get_last_error();
    return socket;
}

void CCommunicator::set_connect_timeout(unsigned timeout_ms)
{
    delivery.set_connect_timeout(timeout_ms);
}

void CCommunicator::set_wait_for_connect(bool wait)
{
    delivery.set_wait_for_connect(wait);
}

void CCommunicator::watch_deliveries()
{
    delivery.set_failure_handler([this](const std::string& agent, const std::string& host, unsigned port,
                                        int error, std::vector<std::string> texts) {
        delivery_failed(agent, Address{host, port}, error, texts);
    });
}

void CCommunicator::delivery_failed(const std::string& agent, const Address& failed, int error,
                                    const std::vector<std::string>& texts)
{
    last_error = error;
    report_send_error(agent.c_str(), failed);
    Address address = failed;
    if (server && relocate(agent.c_str(), address) && resend(agent, address, texts))
        return;
    if (undelivered)
        undelivered(agent, result.data());
}

bool CCommunicator::resend(const std::string& agent, const Address& address,
                           const std::vector<std::string>& texts)
{
    for (const std::string& text : texts) {
        int sent = -1;
        deliver(agent.c_str(), address.host.c_str(), address.port, text.c_str(), sent);
        if (sent < 0) {
            report_send_error(agent.c_str(), address);
            return false;
        }
        report_success(agent.c_str(), address);
    }
    return true;
}

std::unique_ptr<CClientSocket> CCommunicator::get_socket(const char* agent)
{
    Address address;
    if (!locate(agent, address)) {
        dprintf("<CCommunicator> Error looking up [%s] with ANS", safe(agent));
        return nullptr;
    }
    std::unique_ptr<CClientSocket> socket =
        delivery.connect(server.get(), handler, agent, address.host.c_str(), address.port);
    if (!socket)
        last_error = delivery.get_last_error();
    return socket;
}
