#include <wirekit/ClientSocket.h>

#include <wirekit/ServerSocket.h>

#include <lexikit/ParsedMessage.h>
#include <platform/SocketError.h>

#include <algorithm>
#include <utility>
#include <cstring>

namespace {

// A queued message: named with its text, as the queue has always been read,
// and carrying the one parse of that text that everyone after the socket
// reads.
class CQueuedMessage : public CListElement {
public:
    explicit CQueuedMessage(CParsedMessage::Ptr parsed)
        : CListElement(parsed->text().c_str()), message(std::move(parsed))
    {
    }

    const CParsedMessage::Ptr message;
};

// Messages are NUL-terminated texts, so a NUL on the wire would silently cut
// a message short or glue the rest of it to the next one.
void blank_nuls(char* data, std::size_t length)
{
    // Almost no message has one, and the search is faster than the pass.
    if (std::memchr(data, '\0', length))
        std::replace(data, data + length, '\0', ' ');
}

bool is_line_break(char c)
{
    return c == '\n' || c == '\r';
}

} // namespace

CClientSocket::CClientSocket(CServerSocket* owner, CWnd* handler)
    : CSocketBase(handler), server(owner), receive_buffer(new char[RECEIVE_BUFFER_SIZE]),
      parser(std::make_unique<CParser>())
{
    std::strcpy(receive_buffer.get(), "_empty_buffer");
    set_sockettype(SOCKET_TYPE_TCP);
    if (owner)
        set_logger(owner->get_logger());
}

CClientSocket::~CClientSocket()
{
    *alive_token = false;
}

int CClientSocket::mfc_send(char* text)
{
    if (get_dirty())
        return -1;
    if (!text) {
        debug("<CClientSocket> Attempting to send empty message");
        return -1;
    }
    // The library's span search runs many bytes at a time; messages are
    // kilobytes long and most have no line break at all.
    const char stops[] = {'\n', '\r', END_OF_MESSAGE, '\0'};
    std::size_t end = std::strcspn(text, stops);
    while (is_line_break(text[end])) {
        text[end] = ' ';
        end += 1 + std::strcspn(text + end + 1, stops);
    }
    if (tls)
        return send_tls(text, end + 1);
    const int sent = Send(text, end + 1);
    sent_any = true;
    if (sent < 0) {
        show_error(GetLastError());
        set_dirty(1);
        return -1;
    }
    last_activity = Clock::now();
    return sent;
}

int CClientSocket::send_when_connected(const char* text)
{
    if (!awaiting_connect()) {
        std::string copy(text ? text : "");
        return mfc_send(text ? copy.data() : nullptr);
    }
    if (get_dirty() || !text)
        return -1;
    waiting_texts.emplace_back(text);
    return static_cast<int>(std::strlen(text));
}

void CClientSocket::OnConnect(int error)
{
    if (error != 0) {
        fail_waiting_texts(error);
        return;
    }
    if (const CKeyPair* ours = std::exchange(tls_key_when_connected, nullptr)) {
        begin_tls(CTlsSession::Role::Client, *ours);
        return;
    }
    // A handshake begun on a connect that ended at once sends the texts
    // itself, once the peer proved its key.
    if (tls_handshaking())
        return;
    std::vector<std::string> texts = std::move(waiting_texts);
    waiting_texts.clear();
    for (std::string& text : texts) {
        if (mfc_send(text.data()) < 0)
            return;
    }
    tell_waiting_sent();
}

void CClientSocket::tell_waiting_sent()
{
    if (std::function<void()> handler = std::move(waiting_sent))
        handler();
}

void CClientSocket::fail_waiting_texts(int error)
{
    std::vector<std::string> texts = std::move(waiting_texts);
    waiting_texts.clear();
    if (texts.empty())
        return;
    set_dirty(1);
    if (ConnectFailure handler = std::move(connect_failure))
        handler(*this, error, std::move(texts));
}

CParsedMessage::Ptr CClientSocket::oldest_message()
{
    CListElement* oldest = queue.get_element(0);
    if (!oldest)
        return nullptr;
    if (auto* queued = dynamic_cast<CQueuedMessage*>(oldest))
        return queued->message;
    // Put on the queue from outside the socket, as plain text.
    return CParsedMessage::parse(oldest->get_name());
}

char* CClientSocket::mfc_getdata()
{
    CListElement* oldest = queue.get_element(0);
    if (!oldest) {
        debug("<CClientSocket> Attempting to retrieve data from empty socket");
        return nullptr;
    }
    return oldest->get_name();
}

void CClientSocket::remove_from_queue()
{
    if (get_dirty())
        return;
    debug("<CClientSocket> Removing message from message queue");
    CListElement* oldest = queue.get_element(0);
    if (!oldest) {
        debug("<CClientSocket> Attempting to remove message from empty channel message queue");
        // Nothing is left to be handled, so the next message must signal.
        waiting_for_agent = false;
        return;
    }
    queue.delete_element(oldest);
    if (queue.get_nr_elements() == 0) {
        waiting_for_agent = false;
        return;
    }
    debug("<CClientSocket> Message queue not empty, signalling agent");
    waiting_for_agent = signal() == 1;
}

void CClientSocket::flush()
{
    queue.delete_list();
    waiting_for_agent = false;
}

int CClientSocket::mfc_receive()
{
    const int count = Receive(receive_buffer.get(), MAX_READ);
    set_len(count);
    if (count >= 0)
        receive_buffer[count] = '\0';
    return count;
}

int CClientSocket::mfc_receive_raw(char* buffer, int length)
{
    if (length < 0) {
        set_len(-1);
        return -1;
    }
    const int count = Receive(buffer, static_cast<std::size_t>(length));
    set_len(count);
    return count;
}

char* CClientSocket::get_receive_buffer()
{
    return receive_buffer.get();
}

void CClientSocket::OnReceive(int)
{
    if (get_dirty())
        return;
    parser_complete = false;
    // The middle of a long message arrives in many reads; logging each of
    // them would let a peer fill the log, so they pass in silence.
    continuing = fragment_length > 0;
    if (!continuing)
        debug("<CClientSocket> Incoming data");
    int length = 0;
    if (!receive_chunk(length))
        return;
    char* data = receive_buffer.get();
    std::string plain;
    if (plain_text(data, length, plain))
        handle_received(data, length);
}

// `data` is NUL-terminated.
void CClientSocket::handle_received(char* data, int length)
{
    blank_nuls(data, static_cast<std::size_t>(length));
    if (!continuing)
        debug_text("<CClientSocket> Raw data received, displaying on next line", data,
                   static_cast<std::size_t>(length));
    // Only text that starts a message and has no end byte can be an HTTP
    // request, which is queued whole; everything else is cut at its end
    // bytes and each message read once as it is queued.
    if (fragment_length == 0 && !std::memchr(data, END_OF_MESSAGE, static_cast<std::size_t>(length)))
        assign_parser(data);
    const char* last = buffer_data(data, length);
    if (get_dirty())
        return;
    if (!last) {
        if (!parser_complete) {
            if (!continuing)
                debug("<CClientSocket> No resulting message from current buffer operation");
            return;
        }
        debug("<CClientSocket> Socket indicated a partial message but parser tells us it's done, "
              "probably HTTP request");
    }
    if (waiting_for_agent) {
        debug("<CClientSocket> Just received new data but we're still waiting for the agent to "
              "process the last data");
        return;
    }
    if (queue.get_nr_elements() == 0) {
        debug("<CClientSocket> No action required, aborting");
        return;
    }
    debug("<CClientSocket> Parsing incoming message");
    if (!newest_is_parsed()) {
        debug("<CClientSocket> Corrupted Message, unparsable!");
        return;
    }
    if (take_sender())
        signal_agent();
}

// One read into the receive buffer; false when there is nothing to frame.
bool CClientSocket::receive_chunk(int& length)
{
    length = mfc_receive();
    if (length == 0) {
        debug("<CClientSocket> Connection closed by foreign host");
        return false;
    }
    if (length < 0) {
        // A spurious wake-up is no error; a real one comes back as OnClose.
        if (GetLastError() != WSAEWOULDBLOCK)
            show_error(GetLastError());
        return false;
    }
    last_activity = Clock::now();
    return true;
}

const CParsedMessage* CClientSocket::newest_message()
{
    auto* newest = dynamic_cast<CQueuedMessage*>(queue.get_last_element());
    return newest ? newest->message.get() : nullptr;
}

bool CClientSocket::newest_is_parsed()
{
    const CParsedMessage* newest = newest_message();
    return newest && newest->is_parsed();
}

bool CClientSocket::take_sender()
{
    if (sender_assigned) {
        debug("<CClientSocket> Sender already assigned, skipping ...");
        return true;
    }
    const CParsedMessage* newest = newest_message();
    const char* sender = newest ? newest->sender() : nullptr;
    if (!sender) {
        debug("<CClientSocket> Corrupted Message (no sender found)");
        return false;
    }
    claimed_sender = sender;
    sender_assigned = true;
    if (may_belong_to(sender)) {
        set_agentname(sender);
        dprintf("<CClientSocket> Connection now belongs to agent [%s]", get_agentname());
    } else {
        // Nothing for that name is sent down this connection, only the
        // answers to what came on it.
        dprintf("<CClientSocket> Connection claims to be agent [%s] without proving it", sender);
    }
    return true;
}

void CClientSocket::signal_agent()
{
    if (!get_handler()) {
        debug("<CClientSocket> Socket handler is NULL, config error");
        return;
    }
    dprintf("<CClientSocket> Connection descriptor [%d]", get_descriptor());
    debug("<CClientSocket> Signalling CAgentContainer");
    // A window that is gone cannot answer, so later messages try again.
    waiting_for_agent = signal() == 1;
}

int CClientSocket::assign_parser(const char* text)
{
    const int result = parser->parse_message(text);
    parser_complete = result == 1;
    if (parser_complete)
        report_parser_type();
    return result;
}

void CClientSocket::report_parser_type()
{
    switch (parser->get_parser_type()) {
    case CParserBase::PARSER_TYPE_KQML:
        debug("<CClientSocket> KQML parser assigned");
        break;
    case CParserBase::PARSER_TYPE_XML:
        debug("<CClientSocket> XML parser assigned");
        break;
    case CParserBase::PARSER_TYPE_HTTP:
        debug("<CClientSocket> HTTP parser assigned");
        break;
    default:
        debug("<CClientSocket> Unknown parser");
        break;
    }
}

char* CClientSocket::buffer_data(char* data, int length)
{
    if (get_dirty() || !data || length < 0)
        return nullptr;
    const std::size_t size = static_cast<std::size_t>(length);
    blank_nuls(data, size);
    const int queued_before = queue.get_nr_elements();
    if (parser_complete) {
        if (parser->get_parser_type() != CParserBase::PARSER_TYPE_HTTP) {
            debug("<CClientSocket> Message is not a HTTP message, assuming full ACL message with "
                  "trailing fragment");
        } else if (fragment_length == 0) {
            debug("<CClientSocket> HTTP message detected, circumventing defragmentation code");
            return accept_length(size) ? queue_message(std::string(data, size)) : nullptr;
        } else {
            // The data only looks like a request: it is the middle of a
            // longer message whose start is already buffered.
            debug("<CClientSocket> Data continues a partial message, framing it as such");
        }
    }
    frame_pieces(data, size);
    if (get_dirty() || queue.get_nr_elements() == queued_before)
        return nullptr;
    return queue.get_last_element()->get_name();
}

void CClientSocket::frame_pieces(char* data, std::size_t length)
{
    std::size_t start = 0;
    while (const void* found = std::memchr(data + start, END_OF_MESSAGE, length - start)) {
        const std::size_t i = static_cast<std::size_t>(static_cast<const char*>(found) - data);
        data[i] = '\0';
        complete_message(data + start, i - start);
        if (get_dirty())
            return;
        start = i + 1;
    }
    store_fragment(data + start, length - start);
}

void CClientSocket::complete_message(const char* piece, std::size_t length)
{
    if (!accept_length(fragment_length + length))
        return;
    if (fragment_length == 0) {
        const char* message = queue_message(std::string(piece, length));
        debug_text("<CClientSocket> Message complete, data displayed on next line", message, length);
        return;
    }
    fragment.add_to_buffer(std::string(piece, length).c_str());
    const char* message = queue_message(fragment.get_buffer());
    fragment.reset();
    const std::size_t whole = fragment_length + length;
    fragment_length = 0;
    debug_text("<CClientSocket> Partial message now complete, data displayed on next line", message, whole);
}

void CClientSocket::debug_text(const char* label, const char* text, std::size_t length)
{
    debug(label);
    if (length <= LOGGED_BYTES) {
        debug(text);
        return;
    }
    dprintf("%.*s ... [%zu bytes in all]", static_cast<int>(LOGGED_BYTES), text, length);
}

bool CClientSocket::is_finished()
{
    return get_dirty() || finished;
}

void CClientSocket::finish()
{
    finished = true;
    Close();
}

bool CClientSocket::is_quiet()
{
    return !waiting_for_agent && queue.get_nr_elements() == 0;
}

void CClientSocket::store_fragment(const char* data, std::size_t length)
{
    if (!continuing)
        debug("<CClientSocket> Message fragement detected at end of message, storing ...");
    if (length == 0) {
        debug("<CClientSocket> Message fragment is of length 0, this message probably "
              "originated from an older client");
        return;
    }
    if (!accept_length(fragment_length + length))
        return;
    const std::string text(data, length);
    const std::size_t before = fragment_length;
    fragment.add_to_buffer(text.c_str());
    fragment_length += length;
    if (!continuing || before / HELD_REPORT_STEP != fragment_length / HELD_REPORT_STEP)
        dprintf("<CClientSocket> %zu bytes of an incomplete message held", fragment_length);
}

bool CClientSocket::accept_length(std::size_t length)
{
    if (length <= MAX_MESSAGE_LENGTH)
        return true;
    cut_off();
    return false;
}

char* CClientSocket::queue_message(std::string text)
{
    CListElement* element = queue.add_element(new CQueuedMessage(CParsedMessage::parse(std::move(text))));
    return element->get_name();
}

void CClientSocket::cut_off()
{
    dprintf("<CClientSocket> Message fragment exceeds %zu bytes, closing connection", MAX_MESSAGE_LENGTH);
    fragment.reset();
    fragment_length = 0;
    set_dirty(1);
}

CParser* CClientSocket::get_parser()
{
    return parser.get();
}

void CClientSocket::set_reply_with(const char* value)
{
    if (value)
        reply_with = value;
    else
        reply_with.reset();
}

char* CClientSocket::get_reply_with()
{
    return reply_with ? reply_with->data() : nullptr;
}

void CClientSocket::set_hostname(const char* host)
{
    if (host)
        hostname = host;
}

char* CClientSocket::get_hostname()
{
    return hostname.data();
}

void CClientSocket::set_port(unsigned value)
{
    port = value;
}

unsigned CClientSocket::get_port()
{
    return port;
}

CServerSocket* CClientSocket::get_server()
{
    return server;
}

CLList* CClientSocket::get_queue()
{
    return &queue;
}

std::size_t CClientSocket::get_fragment_length()
{
    return fragment_length;
}

int CClientSocket::get_sender_assigned()
{
    return sender_assigned ? 1 : 0;
}

int CClientSocket::get_waiting_for_agent()
{
    return waiting_for_agent ? 1 : 0;
}

int CClientSocket::get_parser_complete()
{
    return parser_complete ? 1 : 0;
}

void CClientSocket::show_error(int code)
{
    dprintf("<CClientSocket> Winsock Returned: [%s]", WsaErrorName(code));
}

void CClientSocket::OnClose(int error)
{
    show_error(error);
    finished = true;
    if (error == WSAENETDOWN || error == WSAECONNABORTED || error == WSAECONNRESET) {
        set_dirty(1);
        return;
    }
    // Every byte the peer sent has been read by now. The connection stays
    // registered with its queue and name, but its descriptor goes: nothing
    // more can arrive, and a later send fails at once instead of vanishing
    // into a connection nobody reads, so the sender opens a fresh one.
    Close();
}
