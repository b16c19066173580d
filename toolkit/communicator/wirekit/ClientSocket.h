#pragma once

#include <wirekit/SocketBase.h>

#include <basekit/LList.h>
#include <basekit/StreamBuffer.h>
#include <lexikit/ParsedMessage.h>
#include <platform/TlsSession.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CServerSocket;

// One TCP connection to another agent, accepted or opened for sending.
//
// Received bytes are cut into messages at the end-of-message byte 0x04 and
// queued oldest first. The first message that names a sender names the
// connection. At most one notification is outstanding: the handler window is
// signalled when a message waits and again after each remove_from_queue while
// more wait.
//
// A message longer than MAX_MESSAGE_LENGTH bytes cuts the connection off
// (dirty and closed), so that a peer that never sends 0x04 cannot make the
// fragment buffer grow without end. A NUL byte received is kept as a blank,
// because messages are NUL-terminated texts.
class CClientSocket : public CSocketBase {
public:
    static constexpr char END_OF_MESSAGE = '\x04';
    // A message of a few kilobytes arrives in one read: each read costs a
    // system call and a turn of the event loop.
    static constexpr std::size_t RECEIVE_BUFFER_SIZE = 16384;
    // One read leaves room for the terminating NUL.
    static constexpr std::size_t MAX_READ = RECEIVE_BUFFER_SIZE - 1;
    static constexpr std::size_t MAX_MESSAGE_LENGTH = 1048576;
    // What the connection's debug lines show of a received text at most: a
    // peer must not be able to copy megabytes into the log.
    static constexpr std::size_t LOGGED_BYTES = 512;
    // While a long message arrives, how many bytes pass between two log
    // lines that say how much is held.
    static constexpr std::size_t HELD_REPORT_STEP = 256 * 1024;

    // Takes the server's log; events run on the handler's loop.
    CClientSocket(CServerSocket* server, CWnd* handler);
    ~CClientSocket() override;

    // Sends `text` up to and including its first 0x04 (or its NUL) in one
    // whole-buffer send, after replacing line feeds and carriage returns in
    // that range by blanks, in place. The byte count, or -1 (the error is
    // logged and the connection is marked dirty). -1 on a dirty socket.
    int mfc_send(char* text);

    // Sends as mfc_send does once the connection is made: at once when it
    // is, else the text waits for the connect begun with ConnectAsync. The
    // byte count (of the text kept, while it waits), or -1.
    int send_when_connected(const char* text);
    // Told, once, when a connect begun with ConnectAsync fails or times out,
    // with the texts that waited for it; the connection is then dirty.
    using ConnectFailure =
        std::function<void(CClientSocket& socket, int error, std::vector<std::string> texts)>;
    void set_connect_failure(ConnectFailure handler) { connect_failure = std::move(handler); }
    // Told, once, when the texts that waited for the connect (and the
    // handshake) have gone out.
    void set_waiting_sent(std::function<void()> handler) { waiting_sent = std::move(handler); }
    // Whether a connect or a TLS handshake is under way: texts sent now
    // wait for it.
    bool awaiting_connect() const;

    // TLS. A connection opened to an agent whose key is known starts it
    // once connected, presenting `ours` and expecting the peer to prove
    // `expected_key`; texts wait for the handshake, and a handshake that
    // fails, or proves another key, fails them as a connect does. An
    // accepted connection whose first bytes are a TLS hello is served TLS
    // with the server's key. Inside the tunnel, framing and texts are as on
    // a plain connection.
    void start_tls(const CKeyPair& ours, std::string expected_key);
    bool is_tls() const { return tls != nullptr; }
    // The key the peer proved in a finished handshake; empty otherwise.
    const std::string& proven_key() const;
    // Whether the peer proved to be `name` (or unproven names are trusted
    // and the connection belongs to it).
    bool is_proven_for(const char* name);
    // The :sender of the connection's first message, proven or not.
    const std::string& get_claimed_sender() const { return claimed_sender; }
    // How long a handshake may take.
    static constexpr unsigned TLS_HANDSHAKE_MS = 5000;

    // The oldest queued message as read when it was queued (a text put on
    // the queue from outside is read now); null when none waits. The message
    // outlives its removal from the queue for whoever holds it.
    CParsedMessage::Ptr oldest_message();
    // The oldest queued message's text (owned by the queue) or null.
    char* mfc_getdata();
    // Drops the oldest message; signals again while more wait.
    void remove_from_queue();
    // Drops every queued message; the next one to arrive signals again.
    void flush();

    // One receive of at most MAX_READ bytes into the socket's own buffer,
    // NUL-terminated; the count, 0 when the peer has closed, -1 on error.
    int mfc_receive();
    // One receive into the caller's buffer; the count, 0 or -1 as above.
    int mfc_receive_raw(char* buffer, int length);
    // The socket's own receive buffer, as the last mfc_receive left it.
    char* get_receive_buffer();

    // Cuts `length` bytes of `data` into messages (0x04 bytes are overwritten
    // with NUL in place) and returns the last message queued (owned by the
    // queue), or null when none was.
    char* buffer_data(char* data, int length);

    CParser* get_parser();
    // Parses `text` with the socket's parser; the parser's result.
    int assign_parser(const char* text);

    // The reply-with value the communicator answers this connection with.
    // Setting copies the text; null clears it. Null when none is set.
    void set_reply_with(const char* reply_with);
    char* get_reply_with();

    // The peer's address as registered ("unknown host" and 0 until then).
    void set_hostname(const char* host);
    char* get_hostname();
    void set_port(unsigned port);
    unsigned get_port();

    CServerSocket* get_server();
    // The queued messages, oldest first, as plain elements named with the
    // message text. Owned by the socket.
    CLList* get_queue();
    // Bytes of an incomplete message held so far.
    std::size_t get_fragment_length();
    int get_sender_assigned();
    int get_waiting_for_agent();
    int get_parser_complete();

    // Logs "<CClientSocket> Winsock Returned: [NAME]" for a Windows Sockets
    // code.
    void show_error(int code);

    using Clock = std::chrono::steady_clock;
    // When bytes last came in or went out (the connection's creation until
    // then).
    Clock::time_point get_last_activity() const { return last_activity; }
    // Whether the connection can carry nothing more: marked dirty, closed
    // by the peer, or finished here.
    bool is_finished();
    // Closes the connection for good; what it still queues stays readable.
    void finish();
    // Whether the agent has nothing of this connection's to handle: no
    // queued message and no notification outstanding.
    bool is_quiet();

protected:
    void OnReceive(int error) override;
    void OnClose(int error) override;
    void OnConnect(int error) override;

private:
    bool receive_chunk(int& length);
    void handle_received(char* data, int length);
    // The peer's text in what arrived (the bytes themselves on a plain
    // connection); false when there is none to handle yet.
    bool plain_text(char*& data, int& length, std::string& plain);
    void begin_tls(CTlsSession::Role role, const CKeyPair& ours);
    bool tls_handshaking() const;
    int send_tls(const char* text, std::size_t length);
    bool write_tls_output();
    void tls_established();
    void tls_failed(const std::string& why);
    void fail_waiting_texts(int error);
    void report_parser_type();
    const CParsedMessage* newest_message();
    bool newest_is_parsed();
    bool take_sender();
    // Whether the connection may belong to `sender`, its first message's.
    bool may_belong_to(const char* sender);
    void signal_agent();

    void frame_pieces(char* data, std::size_t length);
    void store_fragment(const char* data, std::size_t length);
    void complete_message(const char* piece, std::size_t length);
    bool accept_length(std::size_t length);
    char* queue_message(std::string text);
    void cut_off();
    // A received text for the log: at most LOGGED_BYTES of it, and its size.
    void debug_text(const char* label, const char* text, std::size_t length);

    CLList queue{"Message Queue"};
    CStreamBuffer fragment;
    std::size_t fragment_length = 0;
    CServerSocket* server;
    std::unique_ptr<char[]> receive_buffer;
    std::unique_ptr<CParser> parser;
    std::string hostname = "unknown host";
    unsigned port = 0;
    std::optional<std::string> reply_with;
    bool sender_assigned = false;
    std::string claimed_sender;
    std::string proven_name;
    bool waiting_for_agent = false;
    bool parser_complete = false;
    // This read continues a message begun in an earlier one.
    bool continuing = false;
    // Closed by either side: nothing more can arrive or leave.
    bool finished = false;
    Clock::time_point last_activity = Clock::now();
    // Texts given while the connect was under way, oldest first.
    std::vector<std::string> waiting_texts;
    ConnectFailure connect_failure;
    std::function<void()> waiting_sent;
    void tell_waiting_sent();
    std::unique_ptr<CTlsSession> tls;
    // Set by start_tls on a connection still connecting: the handshake
    // begins once it is connected.
    const CKeyPair* tls_key_when_connected = nullptr;
    std::string expected_key;
    bool sent_any = false;
    bool received_any = false;
    // False once this socket is gone, for the handshake's time-out.
    std::shared_ptr<bool> alive_token = std::make_shared<bool>(true);
};
