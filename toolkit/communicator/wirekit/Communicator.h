#pragma once

#include <wirekit/Delivery.h>
#include <wirekit/KeyPins.h>
#include <wirekit/LocationTable.h>
#include <wirekit/MessageComposer.h>

#include <basekit/Debug.h>
#include <basekit/LList.h>
#include <platform/AsyncSocket.h>
#include <platform/KeyPair.h>

#include <array>
#include <chrono>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class CANSClient;
class CBeliefDB;
class CClientSocket;
class CLogFacility;
class CLookupModule;
class CServerSocket;
class CServiceInfo;
class CWnd;

// The message transport of one agent. It owns the listening socket (and
// through it every connection), composes KQML messages and sends them to
// other agents, finds where an agent lives through its lookup modules and
// the location table, and gives copies of the traffic to its event modules.
//
// Its settings live as beliefs in the agent's belief database ("name",
// "port", "ans", "ansport", "lookup", "hostname"), looked up by name on every
// use, so the rest of the agent sees and may change them.
//
// Sends block the calling thread with the sockets' time-outs. Nothing here
// throws; results are 1/0, null, -1, "sorry" or an error line, and every step
// is written to the debug log.
//
// Texts returned are owned by the communicator (or by the object named) and
// stay valid until the same operation is called again.
class CCommunicator : public CDebug {
public:
    // Size of each fixed result text (result lines, reply-with values); a
    // longer line is cut to fit, never written past the end.
    static constexpr std::size_t TEXT_BUFFER_SIZE = 2048;
    // The room comm_lookup may use in a host buffer when the caller does not
    // say how large it is: a caller that passes no size must give at least
    // this many bytes.
    static constexpr std::size_t HOST_BUFFER_SIZE = 256;

    static constexpr int DEFAULT_PORT = 6678;
    static constexpr int DEFAULT_ANS_PORT = 6677;
    // alive() runs the lookup modules' refresh once the counter passes this.
    static constexpr int ALIVE_PERIOD = 600;
    // Event-module state codes given by start_modules / shutdown_modules.
    static constexpr unsigned STATE_REGISTERED = 3;
    static constexpr unsigned STATE_UNREGISTERED = 4;
    // Direction code of outgoing traffic given to the event modules.
    static constexpr int DIRECTION_OUTGOING = 2;
    // process_discovery's result when no discovery module can take it.
    static constexpr int DISCOVERY_ERROR = 4;

    // Builds its own belief database with the defaults: "name" "Win32Agent",
    // "port" 6678, "ans" "-unknown-", "ansport" 6677, an empty "lookup" list
    // and "hostname".
    CCommunicator();
    // Works on the given database (borrowed; it must outlive the
    // communicator) and adds the "hostname" belief to it.
    explicit CCommunicator(CBeliefDB* beliefdb);
    // Logs its way down: destroys the event modules, disables and destroys
    // the lookup modules (which unregisters the agent), then the server.
    ~CCommunicator() override;

    // --- set-up -------------------------------------------------------------

    // The window that receives the socket notifications (borrowed).
    void set_handler(CWnd* handler);
    CWnd* get_handler();
    // Borrowed; also makes the communicator write its debug lines into the
    // logger's file. Null stops neither: the previous file stays in use.
    void set_logger(CLogFacility* logger);
    CLogFacility* get_logger();
    // Takes ownership of an event module; null is ignored.
    void add_display(CLogFacility* module);
    // Unlinks and destroys one of the event modules (giving it state 4 first
    // while the agent is registered); anything else is left alone.
    void remove_display(CLogFacility* module);
    // Takes ownership of a lookup module, gives it the service type and the
    // debug file. The last module of lookup type 2 becomes the ANS client,
    // the last of type 1 the discovery module. Null is ignored.
    void add_lookup_module(CLookupModule* module);
    // Disables and destroys one of the lookup modules; anything else is
    // left alone.
    void remove_lookup_module(CLookupModule* module);

    // The local address the server listens on (null: every local address,
    // the default). Takes effect at the next start.
    void set_listen_address(const char* address);

    // Starts the server: 1 when it listens, 0 otherwise.
    int Create();
    // The debug log's own Create(file) stays reachable beside it.
    using CDebug::Create;
    // Creates the listening socket on the "port" belief (0: the system
    // chooses, and the chosen port is written back into "port"). 0 without a
    // handler window or when the socket cannot be made or cannot listen.
    int comm_startserver();
    // Destroys the listening socket and with it every connection.
    void comm_endserver();

    // Give every event module state 3 / state 4.
    void start_modules();
    void shutdown_modules();
    // Gives every event module state 3 again, once the agent's name was
    // taken by the name server.
    void announce_registration();
    // Whether the name server took the agent's own name at its last
    // registration: what the modules' registration lines say.
    bool holds_own_name();
    // Enable / disable every lookup module.
    void start_lookup_modules();
    void stop_lookup_modules();

    // --- settings (beliefs; 0 or null when the belief is missing) -----------

    char* get_name();
    void set_name(const char* name);
    int get_port();
    void set_port(int port);
    char* get_ansname();
    void set_ansname(const char* host);
    int get_ansport();
    void set_ansport(int port);
    // Sets "ans" and "ansport"; 0 when either belief is missing.
    int comm_setansinfo(const char* host, int port);
    // Sets "name" and "port"; 0 when either belief is missing.
    int comm_setinfo(const char* name, int port);
    // The "hostname" belief: this machine's address.
    char* comm_get_ip();
    char* comm_get_info();

    CBeliefDB* get_beliefdb();
    // The event modules (CLogFacility elements, owned by the communicator).
    CLList* get_modules();
    // The lookup modules (CLookupModule elements, owned by the communicator).
    CLList* get_lookup_modules();
    // The location table (the "lookup" belief's list), or null.
    CLList* get_lookup_table();
    CANSClient* retrieve_ans_object();
    CLookupModule* retrieve_dsc_object();
    // The key the agent proves its name with over TLS; its name-server
    // client signs its registrations with it too unless `signs_registrations`
    // is false (a one-shot agent whose key lasts one run must not bind its
    // name to it). Null until one is given.
    void set_key_pair(CKeyPair key, bool signs_registrations = true);
    const CKeyPair* get_key_pair() const { return key_pair ? &*key_pair : nullptr; }
    // Whether a connection whose peer did not prove its name still belongs
    // to the name it claims (agents without keys, on a network the user
    // trusts); off by default.
    void set_trust_unproven(bool trust);
    // The connection whose message the agent is answering now, or null:
    // answers to a peer that did not prove its name go back on it, never
    // to the name's other connections or its address.
    void set_answering(CClientSocket* connection) { answering = connection; }
    // Where the keys seen for other agents' names are kept (see CKeyPins),
    // and who is told when a name shows another key than the one pinned;
    // such a key is refused: the pinned one stays the name's.
    // With `keep_new` false the file is only read: keys proven now are
    // held for this run.
    void set_key_pins(std::string path, std::function<void(const std::string& notice)> changed,
                      bool keep_new = true);
    // Whether an agent's announcement of `name` with `key` on the local
    // network may be taken: it must carry a well-formed key that is not
    // another than the one pinned, which this agent can then ask it to
    // prove (or unproven names are trusted).
    bool believes_announcement(const std::string& name, const std::string& key);
    // A connection proved `key` for `name`: it is pinned if none was.
    void key_proven(const char* name, const std::string& key);
    // Told when texts for an agent are lost for good after the send
    // returned (a connect or handshake that failed, and no other address),
    // with the error line.
    void
    set_undelivered_listener(std::function<void(const std::string& agent, const std::string& error)> listener)
    {
        undelivered = std::move(listener);
    }
    // Remembers a discovery module that is one of the lookup modules (or
    // null to forget it); anything else is refused.
    void set_discovery_object(CLookupModule* module);
    CServerSocket* get_server();
    CServerSocket* get_server_socket();
    CClientSocket* get_connection(int descriptor);
    CClientSocket* find_connection(const char* agent, const char* host, unsigned port);
    const char* getversion();
    // The ANS client's enabled flag; 1 when there is no ANS client.
    int comm_is_ans_enabled();
    // The ANS client's last error text, or null without an ANS client.
    char* comm_ans_error();
    // "Win32M" and the current time in seconds.
    char* create_reply_with();
    // Whether the agent is registered with the name server.
    void set_registered(int registered);
    int is_registered();
    // Handed to every lookup module added later (default 1).
    void set_service_type(int type);
    int get_service_type();
    // The text of the last send: " " before, then the success or error line.
    char* get_result();
    // The Windows Sockets code of the last failed socket operation.
    int get_last_error();
    // How many times alive() ran since the counter last started from 0.
    int get_alive_counter();
    // The calls of alive() between two runs of the lookup modules' alive
    // (ALIVE_PERIOD unless set); below 1 is taken as 1.
    void set_alive_period(int period);
    // How long a connect to another agent may take (5 seconds unless set).
    // An address whose connect timed out is not tried again for
    // UNREACHABLE_HOLD: sends to it fail at once with WSAETIMEDOUT.
    void set_connect_timeout(unsigned timeout_ms);
    // Whether a send waits for a new connection to be made (see CDelivery).
    void set_wait_for_connect(bool wait);
    static constexpr std::chrono::seconds UNREACHABLE_HOLD = CDelivery::UNREACHABLE_HOLD;
    int get_alive_period() const { return alive_period; }

    // --- name service (enabled lookup modules, in list order) ---------------

    // 1, or 0 for a null name.
    int comm_register_agent(const char* name);
    int comm_unregister_agent(const char* name);
    // Asks every module to find the agent and update the location table;
    // 1 when one of them found it.
    int comm_activate_lookup(const char* name);
    // Asks every module to list all agents; 1 when one of them did.
    int listall_agents();
    // Forwarded to the ANS client while registered; 0 or null otherwise.
    int comm_listall();
    char* comm_listall_getfirst();
    char* comm_listall_getnext();
    // The agents this agent needs; check_requirements gives 1 when every one
    // of them has a location in the location table.
    void add_requirement(const char* name);
    int check_requirements();
    CLList* get_requirements();

    // Finds where `agent` lives: copies its host into `host` (a buffer of
    // `host_size` bytes) and its port into *port. Null on success, "sorry"
    // when the agent cannot be located or its host does not fit; null with
    // nothing filled when there is no location table.
    char* comm_lookup(const char* agent, char* host, unsigned* port,
                      std::size_t host_size = HOST_BUFFER_SIZE);

    // --- sending ------------------------------------------------------------
    //
    // The content pieces follow `forward` and end with a null pointer:
    //   comm_sendmessage("tell", "Bob", "onto", "lang", nullptr, nullptr,
    //                    nullptr, "tell :type command", nullptr);
    // Each non-empty piece is added after a blank; " ))" closes the content
    // and the message. A message text has no length limit.

    // Null when the message went out, and also when the receiver cannot be
    // located (it is then not sent). The error line (see get_result) when
    // composing or sending failed. Answers on an open connection with the
    // reply-with value it holds when `in_reply_to` is null.
    char* comm_sendmessage(const char* performative, const char* receiver, const char* ontology,
                           const char* language, const char* reply_with, const char* in_reply_to,
                           const char* forward, ...) __attribute__((sentinel));
    char* vcomm_sendmessage(const char* performative, const char* receiver, const char* ontology,
                            const char* language, const char* reply_with, const char* in_reply_to,
                            const char* forward, va_list pieces);
    // The same, but `in_reply_to` is always the caller's.
    char* comm_sendmessage_internal(const char* performative, const char* receiver, const char* ontology,
                                    const char* language, const char* reply_with, const char* in_reply_to,
                                    const char* forward, ...) __attribute__((sentinel));
    char* vcomm_sendmessage_internal(const char* performative, const char* receiver, const char* ontology,
                                     const char* language, const char* reply_with, const char* in_reply_to,
                                     const char* forward, va_list pieces);

    // As comm_sendmessage, but returns the connection used (owned by the
    // server socket), or null when nothing could be sent. An open connection
    // to the receiver always supplies `in_reply_to`. The text goes to every
    // event module.
    CClientSocket* comm_sendmessage_socket(const char* performative, const char* receiver,
                                           const char* ontology, const char* language, const char* reply_with,
                                           const char* in_reply_to, const char* forward, ...)
        __attribute__((sentinel));
    CClientSocket* vcomm_sendmessage_socket(const char* performative, const char* receiver,
                                            const char* ontology, const char* language,
                                            const char* reply_with, const char* in_reply_to,
                                            const char* forward, va_list pieces);
    // The same, keeping the caller's `in_reply_to` as it is.
    CClientSocket* comm_sendmessage_socket_internal(const char* performative, const char* receiver,
                                                    const char* ontology, const char* language,
                                                    const char* reply_with, const char* in_reply_to,
                                                    const char* forward, ...) __attribute__((sentinel));
    CClientSocket* vcomm_sendmessage_socket_internal(const char* performative, const char* receiver,
                                                     const char* ontology, const char* language,
                                                     const char* reply_with, const char* in_reply_to,
                                                     const char* forward, va_list pieces);

    // Sends `text` (up to its 0x04, or its NUL) to `agent` at host:port: on
    // the agent's open connection when there is one, else (or when that send
    // fails) on a new connection, which stays open for replies when `agent`
    // names it. Bytes sent, -1 on failure, 0 without a server socket.
    int comm_senddata(const char* agent, const char* host, unsigned port, const char* text);
    // The same; the connection used, or null.
    CClientSocket* comm_senddata_socket(const char* agent, const char* host, unsigned port, const char* text);
    // A new connection to where `agent` lives, not registered with the
    // server (the caller owns it); null when the agent cannot be located or
    // reached.
    std::unique_ptr<CClientSocket> get_socket(const char* agent);

    // --- logging and upkeep ---------------------------------------------------

    // Gives `text` as outgoing traffic to the logger and every event module.
    void comm_log_output(const char* text);
    // One tick of the location table's expiration counts, then alive().
    void check_integrity();
    // Every alive period + 1 calls, runs every enabled lookup module's
    // alive().
    void alive();
    // Hands a datagram to the discovery module. No module here reads
    // datagrams yet, so the result is DISCOVERY_ERROR, with or without one.
    int process_discovery(int descriptor);
    // What the communicator asks of the user, as the program around it
    // shows it: the name-server dialog, the communication-information
    // dialog and short notices. Unset hooks show nothing; a notice then goes
    // to the debug log.
    struct UserHooks {
        std::function<void(CCommunicator&)> name_server_dialog;
        std::function<void(CCommunicator&)> information_dialog;
        std::function<void(const char* text)> notice;
    };
    void set_user_hooks(UserHooks hooks);

    // Show the name-server / communication-information dialog.
    void comm_ans();
    void comm_info();

    // Kept for old callers; they only report, as a notice, that they are
    // obsolete.
    void comm_disable_ans();
    void comm_enable_ans();
    void comm_connections();
    void comm_console();
    void comm_viewmessage();
    CClientSocket* create_connection(const char* agent, const char* host, unsigned port);

    // An explanation of a Windows Sockets error code, beginning with the
    // code's name; "<CCommunicator> The network returned an unknown error"
    // for any other code. Never null.
    static const char* ErrorToAsc(int code);

    // Lines go into the logger's file while there is a logger, else into
    // the communicator's own.
    void dprintf(const char* fmt, ...) override __attribute__((format(printf, 2, 3)));

private:
    struct Address {
        std::string host;
        unsigned port = 0;
    };

    // The sender is filled in when the text is composed.
    using Head = CMessageComposer::Head;

    struct FileCloser {
        void operator()(FILE* stream) const { std::fclose(stream); }
    };

    void bind_beliefs();
    void add_hostname_belief();
    bool open_server(int port);
    void disable_lookup_modules();
    void switch_lookup_modules(int on);
    bool registered_ans_client();
    void change_module_states(unsigned state, const char* verb, const char* done);

    CServiceInfo* find_record(const char* agent);
    char* sorry();
    bool locate(const char* agent, Address& address);
    // After a failed send to a known address: asks the lookup modules once
    // more and true (with the new address) when the agent is now elsewhere.
    bool relocate(const char* agent, Address& address);

    const char* connection_reply_with(const char* receiver, const char* in_reply_to, bool replace);
    bool compose_text(const Head& head, const std::vector<const char*>& pieces, std::string& text);
    char* send_message(Head head, const std::vector<const char*>& pieces, bool answer_connection);
    CClientSocket* send_message_socket(Head head, const std::vector<const char*>& pieces,
                                       bool answer_connection);
    // A connect that failed after the send returned fails as a send does:
    // the error line, and the texts once more when the agent is elsewhere now.
    void watch_deliveries();
    void delivery_failed(const std::string& agent, const Address& failed, int error,
                         const std::vector<std::string>& texts);
    // The connection an answer to `receiver` goes back on: the one being
    // answered, when its peer claimed that name without proving it.
    CClientSocket* unproven_answering(const char* receiver);
    char* answer_on(CClientSocket& connection, Head head, const std::vector<const char*>& pieces);
    bool resend(const std::string& agent, const Address& address, const std::vector<std::string>& texts);
    // The key the name server holds `name` for, asking it when none is known.
    std::string key_of_name(const char* name);
    // The key `name` must prove: the one pinned for it, else the record's
    // (the name server's is pinned now, an announced one once proven);
    // empty when none is known.
    std::string pinned_key(const char* name, const CServiceInfo* record);
    void report_key_change(const char* name, const std::string& shown);
    void report_pin_save();
    // An address found on the local network is used only where the agent
    // can be asked to prove its name (or unproven names are trusted).
    bool may_deliver(const CServiceInfo* record, const std::string& key) const;
    void take_discovery_keys(CLookupModule* module);
    void report_success(const char* receiver, const Address& address);
    void report_send_error(const char* receiver, const Address& address);
    CClientSocket* deliver(const char* agent, const char* host, unsigned port, const char* text, int& sent);
    void give_to_modules(const char* text, bool displays_only);
    static bool wants_outgoing(CLogFacility& module, bool displays_only);
    bool any_module_wants_outgoing(bool displays_only);
    void notify_user(const char* text);

    void write_line(const char* fmt, va_list args) __attribute__((format(printf, 2, 0)));
    CDebug* socket_logger();
    FILE* module_stream();
    std::unique_ptr<CLogFacility> take_logger_module();

    void for_each_lookup_module(const std::function<void(CLookupModule&)>& action);
    static CLogFacility* module_of(CListElement* element);
    char* string_belief(const char* name);
    int int_belief(const char* name, int& value);
    int set_string_belief(const char* name, const char* value);
    int set_int_belief(const char* name, int value);
    void set_result(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    std::unique_ptr<CBeliefDB> own_beliefdb;
    CBeliefDB* beliefdb;
    CWnd* handler = nullptr;
    CLogFacility* logger = nullptr;
    CLList modules{"Communicator Event Modules List"};
    CLList lookup_modules{"Communicator Lookup Modules List"};
    CLList requirements{"List of required agents"};
    CANSClient* ans_client = nullptr;
    std::optional<CKeyPair> key_pair;
    bool signs_registrations = true;
    std::function<void(const std::string&, const std::string&)> undelivered;
    bool trust_unproven = false;
    CClientSocket* answering = nullptr;
    CKeyPins key_pins;
    std::function<void(const std::string&)> key_changed;
    // The names whose changed key has been reported, so each is told once.
    std::set<std::string> key_change_told;
    CLookupModule* discovery = nullptr;
    std::unique_ptr<CServerSocket> server;
    std::optional<std::string> listen_address;
    std::unique_ptr<FILE, FileCloser> lookup_stream;
    std::array<char, TEXT_BUFFER_SIZE> result{};
    std::array<char, TEXT_BUFFER_SIZE> reply_with_text{};
    std::array<char, TEXT_BUFFER_SIZE> sorry_text{};
    int service_type = 1;
    int alive_counter = 0;
    int alive_period = ALIVE_PERIOD;
    CDelivery delivery{*this};
    CLocationTable locations{*this};
    int registered = 0;
    int last_error = 0;
    UserHooks user_hooks;
};
