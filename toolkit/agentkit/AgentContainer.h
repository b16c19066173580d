#pragma once

#include <agentkit/Agent.h>
#include <agentkit/PidFile.h>

#include <lexikit/ParsedMessage.h>
#include <platform/EventLoop.h>

#include <memory>
#include <string>
#include <vector>

class CBeliefDB;
class CClientSocket;
class CCommandLine;
class CCommunicator;
class CFileModule;
class CHTTPDriver;
class CInterfaceModule;
class CSocketBase;
class CWnd;

// The shell every agent lives in. It owns the agent's belief database, its
// communicator and event modules; it reads the command line, starts the
// communicator and the name-server client, turns socket notifications of its
// window into calls of the agent's message handler, runs the once-a-second
// checks, and takes everything down in order when destroyed.
//
// A concrete agent derives from it and overrides the process_* hooks, which
// do nothing here. Everything runs on the thread of the hosting window; the
// window (a CDlgContainer, or any CWnd given to set_handler) must outlive the
// container.
class CAgentContainer : public CAgent {
public:
    // The container's states; messages are dispatched only while running.
    static constexpr int STATE_CONSTRUCTED = 0;
    static constexpr int STATE_CREATING = 2;
    static constexpr int STATE_RUNNING = 3;

    // Create results. 4, 5, 6 and 7 mean running; 5/6/7 also ask for the
    // window maximised / minimised / hidden (-win max, min, hidden).
    static constexpr int CREATE_NO_NAME = 1;
    static constexpr int CREATE_NO_COMMUNICATOR = 2;
    static constexpr int CREATE_ALREADY_CREATED = 3;
    static constexpr int CREATE_OK = 4;
    static constexpr int CREATE_MAXIMISED = 5;
    static constexpr int CREATE_MINIMISED = 6;
    static constexpr int CREATE_HIDDEN = 7;

    // Create flags. Only the file log exists in this container; the other
    // client modules are announced in the log and skipped.
    static constexpr int FLAG_FILE_LOG = 1;
    static constexpr int FLAG_VISUALISATION = 2;
    static constexpr int FLAG_VOICE = 4;
    static constexpr int FLAG_DESKTOP = 8;
    static constexpr int FLAG_BROKER = 16;
    static constexpr int FLAG_MATCHMAKER = 32;

    // Lookup configuration bits.
    static constexpr int LOOKUP_DISCOVERY = 1;
    static constexpr int LOOKUP_NAME_SERVER = 2;

    // Connection types of socket notifications.
    static constexpr unsigned long CONNECTION_UNKNOWN = 0;
    static constexpr unsigned long CONNECTION_TCP = 1;
    static constexpr unsigned long CONNECTION_MULTICAST = 9;

    static constexpr const char* DEFAULT_NAME = "Win32Agent";
    static constexpr const char* UNKNOWN_ANS = "-unknown-";
    // The service type a name server announces itself with.
    static constexpr int NAME_SERVER_SERVICE = 4;
    static constexpr int DEFAULT_ANS_PORT = 6677;
    static constexpr const char* BELIEF_DUMP_FILE = "BeliefDB.txt";
    static constexpr unsigned DEFAULT_SHUTDOWN_PAUSE_MS = 5000;

    // Builds the belief database ("name" = `name` or "Win32Agent", "port" 0,
    // "ans" "-unknown-", "ansport" 6677, "uuid", an empty "lookup" table) and
    // the communicator on it.
    CAgentContainer();
    explicit CAgentContainer(const char* name);
    // Pauses for pending messages, removes the PID file, dumps the beliefs,
    // closes developer sockets, stops the event modules and destroys the
    // communicator (which unregisters the agent), then the rest.
    ~CAgentContainer() override;

    // --- start-up -----------------------------------------------------------

    // Reads -name, -port, -ans, -ansport, -noans, -unique and -win, then
    // gives the command line to handle_parse_args. A port that is not a
    // number from 0 to 65535 is logged and ignored.
    void parse_args(int argc, char** argv);
    void parse_args(CCommandLine* commandline);

    // Starts the agent: event modules, process_create, the communicator's
    // listening socket, the lookup modules (registration with the name
    // server), process_init and the PID file. 1 without a "name" belief, 2
    // when the communicator cannot listen, 3 when already created, else the
    // result code (4, or 5/6/7 from -win). Without $ORVANTE, or with a name
    // that cannot be a file name, the agent runs without a PID file (logged).
    int Create(int flags);

    // --- the hosting window -------------------------------------------------

    // One socket notification: dispatches the connection's oldest message.
    virtual void handle_mfc_message(unsigned long type, unsigned long descriptor);
    // The once-a-second checks. A call made while a previous one is still
    // running (a nested modal loop inside a hook) returns at once.
    virtual void handle_mfc_timer();
    // A notification that arrives while the container is not running: the
    // message it announces is dropped, so that the connection signals again
    // for the next one instead of waiting for the container for good.
    void discard_mfc_message(unsigned long type, unsigned long descriptor);

    // --- hooks of the concrete agent ---------------------------------------

    virtual void handle_parse_args(CCommandLine* commandline);
    virtual void process_shutdown();
    virtual void process_create();
    virtual void process_init();
    virtual void process_timer();
    virtual void process_loop();
    virtual void process_monitor_request(char* request);
    virtual void process_internal();
    virtual void process_environment_change();
    virtual void process_custom(CSocketBase* socket);
    virtual int process_message(CParser* parser);
    virtual int process_message(char* text);
    // Every message for the agent arrives here, read once where it was
    // received. The default gives a copy of its text to process_message,
    // so agents that override only that one see no difference.
    virtual int process_parsed_message(const CParsedMessage& message);

    // --- messages -----------------------------------------------------------

    // Hands the oldest message of `socket` to the agent, unless it is one of
    // the container's own commands.
    void process_acl_message(CClientSocket* socket);
    // 1 when `text` is consumed by the container: a message of the agent to
    // itself (when rejecting those), a visibility or command message (ping,
    // shutdown, send_basetype) or an interface "create" request.
    int check_internal_message(const char* text);
    // When the location table has changed: process_internal, drop the
    // records of agents that are gone, clear the mark.
    void check_integrity();
    // Sends the ping command to `name`; 1 when it went out, 0 (logged) when
    // the agent cannot be located or the send failed.
    int ping_agent(const char* name);

    // --- accessors ----------------------------------------------------------

    CCommunicator* get_communicator();
    CBeliefDB* get_belief_db();
    // The file log module (null without FLAG_FILE_LOG).
    CFileModule* get_logger();
    CInterfaceModule* get_interface_module();
    // The "name" belief.
    char* get_agent_name();
    void set_agent_name(const char* name);
    int get_argc();
    char** get_argv();
    int get_state();
    void set_unique(int unique);
    int get_unique();
    // Also handed to the communicator.
    void set_service_type(int type);
    int get_service_type();
    // The location table.
    CLList* obtain_network_db();
    // Takes ownership; null keeps no driver.
    void assign_http_driver(CHTTPDriver* driver);
    CHTTPDriver* get_http_driver();
    // Sockets of the agent's own kinds; the container owns them and hands
    // their notifications to process_custom.
    void add_alternative_socket(CSocketBase* socket);
    void remove_alternative_sockets();
    // The hosting window, also given to the communicator. While its event
    // loop dispatches, log lines are deferred; they are written out each
    // time the loop is about to wait for events.
    void set_handler(CWnd* handler);
    CWnd* get_handler();

    // Which lookup modules to run (LOOKUP_* bits, initially both). Before
    // Create this only stores the mask. On a running container the modules
    // the mask no longer asks for are disabled (a name-server client
    // unregisters the agent, discovery says goodbye) and removed, and the
    // ones it asks for are made when missing and enabled.
    void set_lookup_config(int mask);
    int get_lookup_config();

    // Whether messages whose sender is the agent itself are dropped.
    void set_reject_own_messages(int reject);
    int get_reject_own_messages();
    // Set by a shutdown command; the hosting program decides what to do.
    int get_shutdown_requested();
    void set_shutdown_requested(int requested);
    // The result code Create returns when it succeeds.
    int get_result_code();

    // How long destruction waits for remote agents to take pending
    // messages (5 seconds unless set).
    void set_shutdown_pause(unsigned milliseconds);
    unsigned get_shutdown_pause();
    // Where destruction dumps the beliefs ("BeliefDB.txt" in the current
    // directory unless set); null dumps nothing.
    void set_belief_dump_file(const char* file);
    const char* get_belief_dump_file();
    // The PID file written by Create (empty path when none was).
    const CPidFile& get_pid_file() const;

    // The connection whose message is being handed to the agent, null
    // outside process_message.
    CClientSocket* get_current_connection();

    // --- the debug log ------------------------------------------------------

    // One line into the container's log (the file log when there is one),
    // shown in the interface module too. The one-argument form writes the
    // text as it is; the two-argument form fills one "%s" and nothing else,
    // so neither reads a text from elsewhere as a format; dprintf takes a
    // full printf format, checked by the compiler.
    void debug(const char* text) override;
    void debug(const char* fmt, const char* arg);
    void dprintf(const char* fmt, ...) override __attribute__((format(printf, 2, 3)));

private:
    void build(const char* name);
    void add_beliefs(const char* name);
    bool has_log_destination();
    void write_line(const std::string& line);
    void vwrite(const char* fmt, va_list args) __attribute__((format(printf, 2, 0)));

    void apply_string_option(CCommandLine* commandline, const char* option, const char* belief);
    void apply_port_option(CCommandLine* commandline, const char* option, const char* belief);
    void apply_unique_option(CCommandLine* commandline);
    void apply_window_option(CCommandLine* commandline);

    bool has_name_belief();
    void add_file_log();
    void add_interface_client();
    void announce_client_modules(int flags);
    void make_name_unique();
    void add_lookup_modules();
    void add_discovery_module();
    void adopt_discovered_name_server();
    void add_name_server_client();
    void describe_self();
    void write_pid_file();

    void handle_tcp_message(unsigned long descriptor);
    void handle_custom_sockets(unsigned long type);
    void deliver_message(CClientSocket* socket, const CParsedMessage::Ptr& message);
    void collect_connections();
    void report_empty_connection(CClientSocket* socket);
    void remember_reply_with(CClientSocket* socket, const CParsedMessage& message);
    void give_to_modules(const CParsedMessage& message, int direction);
    void run_module_timers();

    int check_parsed_message(const CParsedMessage& message);
    static std::string content_performative(const std::string& content);
    int check_visibility(const CParsedMessage& content);
    int check_command(const CParsedMessage& content, const std::string& sender);
    int check_interface(const CParsedMessage& content);
    void send_basetype(const std::string& sender);

    void hook_log_flush(CEventLoop* loop);
    void unhook_log_flush();

    void pause_for_pending_messages();
    void dump_beliefs();
    void shut_down_communicator();

    std::unique_ptr<CBeliefDB> beliefdb;
    std::unique_ptr<CCommunicator> communicator;
    // The modules below are owned by the communicator's module list while it
    // runs; the file log is taken back before the communicator goes, so
    // that the last lines of the shutdown still reach the file.
    CFileModule* file_module = nullptr;
    std::unique_ptr<CFileModule> released_file_module;
    CInterfaceModule* interface_module = nullptr;
    std::vector<std::unique_ptr<CSocketBase>> alternative_sockets;
    std::unique_ptr<CHTTPDriver> http_driver;
    CPidFile pid_file;

    CWnd* handler = nullptr;
    // Where the log flush hook is registered; the loop may be gone by the
    // time the container is, hence the lifetime check.
    CEventLoop* flush_loop = nullptr;
    std::weak_ptr<const void> flush_loop_alive;
    CEventLoop::HookId flush_hook = CEventLoop::kNoHook;
    CEventLoop::HookId defer_hook = CEventLoop::kNoHook;
    CClientSocket* current_connection = nullptr;

    int state = STATE_CONSTRUCTED;
    int result_code = CREATE_OK;
    int lookup_config = LOOKUP_DISCOVERY | LOOKUP_NAME_SERVER;
    int unique = 0;
    int reject_own_messages = 0;
    int shutdown_requested = 0;
    bool in_timer = false;
    int service_type = 1;
    int argc = 0;
    char** argv = nullptr;
    unsigned shutdown_pause_ms = DEFAULT_SHUTDOWN_PAUSE_MS;
    std::string belief_dump_file = BELIEF_DUMP_FILE;
    bool dump_enabled = true;
};
