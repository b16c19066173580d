#pragma once

#include <basekit/LList.h>
#include <factkit/LookupModule.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class CAgentInfo;
class CKeyPair;
class CAsyncSocket;
class CBeliefDB;
class CServiceInfo;
class CURL;
class CWnd;

// The lookup module that talks to an Agent Name Server (ANS): it registers
// and unregisters this agent's names, looks other agents up and lists the
// agents the ANS knows, and puts what it learns into the location table.
//
// Every request is one short TCP connection: connect, send one line, read
// the reply, close. Connecting, sending and reading the reply each give up
// after the time-out (5 s unless set otherwise), so a dead or silent name
// server fails the request instead of freezing the agent's thread.
//
// The beliefs it reads ("name", "port", "ans", "ansport", "hostname") are
// looked up in the belief database on every use, so a belief added or
// changed after construction counts from then on.
//
// Every failure gives 0 (or null) and leaves a text in get_last_error().
// Progress and failures are written to the module's debug log.
class CANSClient : public CLookupModule {
public:
    static constexpr int DEFAULT_ANS_PORT = 6677;
    static constexpr unsigned DEFAULT_TIMEOUT_MS = 5000;
    static constexpr size_t REQUEST_BUFFER_SIZE = 1024;
    static constexpr size_t REPLY_BUFFER_SIZE = 11024;

    // Request kinds; they decide how a reply is classified.
    static constexpr int REQUEST_REGISTER = 4;
    static constexpr int REQUEST_LOOKUP = 5;
    static constexpr int REQUEST_LIST = 6;
    static constexpr int REQUEST_UNREGISTER = 7;
    static constexpr int REQUEST_KEY = 8;

    // Reply classes. A request succeeds exactly when its reply is
    // REPLY_SUCCESS.
    static constexpr int REPLY_FAIL = 0;
    static constexpr int REPLY_SORRY = 1;
    static constexpr int REPLY_ERROR = 2;
    static constexpr int REPLY_SUCCESS = 3;

    // Builds the server list: the "ans"/"ansport" beliefs first (when "ans"
    // names a host), then every address line of
    // $ORVANTE/system/ans/ANSListFile.txt. Both arguments are borrowed.
    CANSClient(CBeliefDB* beliefdb, CWnd* handler);
    ~CANSClient() override;

    // Remembers `name` and registers it with this agent's "hostname" and
    // "port". 0 without those beliefs, for a null name, or for a name the
    // request line cannot carry (blanks, control characters, too long),
    // which is then not remembered either.
    int register_agent(const char* name) override;
    // Forgets `name` and unregisters it.
    int unregister_agent(const char* name) override;
    // Asks the ANS where `name` lives and puts the answer into the location
    // table. A known agent the ANS no longer has is marked gone; when the
    // ANS cannot be reached at all the record is left alone, since that
    // says nothing about the agent.
    int lookup_agent(const char* name) override;
    int listall_agents() override;
    // When enabled, registers every remembered name again; 1 when all
    // registrations succeeded.
    int alive() override;
    // Whether `name` is one of this agent's names and its last registration
    // was taken by the server.
    bool holds_name(const char* name);
    // Registers the agent's own name and, when that worked, lists all.
    int process_enable() override;
    // Unregisters every remembered name.
    int process_disable() override;

    // The key this agent proves its names with (borrowed; null for none).
    // With one, registrations and unregistrations are signed, so that the
    // server holds the names for the key; a server that knows nothing of
    // keys is then asked without them.
    // Every lookup also puts the key the server holds the name for into
    // the location record (CServiceInfo::get_key).
    void set_signing_key(const CKeyPair* key) { signing_key = key; }

    // Registers the "name" belief and remembers it.
    int ans_register();
    // Registers another name for this agent's address and remembers it.
    int ans_register_alias(const char* name);
    // Unregisters every remembered name, forgetting each one that went; 1
    // only when all went (so also when there was none). 0 without a "name"
    // belief.
    int ans_unregister();
    // Both forget and unregister one name.
    int ans_unregister_agent(const char* name);
    int UnRegisterAgent(const char* name);

    // Lists every agent the ANS knows into the location table.
    int ans_list_all();
    // Lists the agents matching `pattern`; the table then holds exactly
    // those. The table is replaced only once the ANS has answered, so a
    // failed request leaves it as it was.
    int ans_list_all(const char* pattern);
    // Lists all (replacing the table first when `clear` is nonzero) and
    // returns copies of the table's names, ending with a null pointer; the
    // caller frees every text and the array with free(). `count` (may be
    // null) receives the number of names. Null when the request failed.
    char** ListAllAgents(int* count, int clear);
    // Walk the names of the location table with the table's cursor; null
    // at the end.
    char* listall_getfirst();
    char* listall_getnext();

    // lookup_agent, then a new record (the caller deletes it) of where the
    // agent lives; null when the lookup failed or gave no host.
    CAgentInfo* LookupAgent(const char* name);

    // Sends one request line (as given, without its NUL) to the ANS of the
    // "ans"/"ansport" beliefs and reads the reply: up to the end marker
    // "\r\n" and 0x04, the peer closing, or REPLY_BUFFER_SIZE - 1 bytes. A
    // reply cut off by that limit or by the time-out is a failure. The
    // reply, without its end marker, becomes the last-error text. 1 when
    // the reply's class is REPLY_SUCCESS.
    int ans_request(const char* text, int kind);
    // The class of `reply` for a request of `kind`: a list reply starting
    // with "null" is REPLY_ERROR; other kinds take the first of "fail",
    // "sorry", "error", "success" found in the reply, REPLY_SUCCESS when
    // none is. A null reply is REPLY_FAIL.
    static int classify_reply(const char* reply, int kind);
    // Adds a record (type 1) to the location table for every name of the
    // last reply; names are separated by 0x04, line ends, blanks or commas.
    int parse_entries();

    // The last reply or error text (owned by the module).
    char* get_last_error();
    // An explanation of a Windows Sockets error code, starting with the
    // code's name: the sockets' table (WsaErrorExplanation), which the
    // communicator's ErrorToAsc reads too.
    static const char* error2asc(int code);

    // Time-out in milliseconds for each of connect, send and reply.
    void set_timeout(unsigned timeout_ms);
    unsigned get_timeout() const;

    // The known ANS servers (CURL entries) and the one currently chosen.
    // Requests themselves go to the "ans"/"ansport" beliefs; the list is
    // what a failed send falls back on to find a server that answers.
    CLList* get_ans_servers();
    CURL* get_current_ans();
    // Tries the servers of the list in turn; the first that accepts a
    // connection becomes the current one (1). 0 when none does.
    int ans_find_server();

private:
    // error2asc for the codes it explains, else the code's name.
    static const char* socket_error_text(int code);
    enum class Outcome { Answered, Refused, NoAnswer };
    enum class ReadStatus { Complete, Closed, Failed, TimedOut, TooLong };

    Outcome exchange(const char* text, int kind);
    bool open_connection(const char* host, int port);
    bool send_request(const char* text, size_t length);
    ReadStatus read_reply(size_t& length);
    bool report_read_failure(ReadStatus status);
    void keep_reply(size_t length);

    int list_into_table(const char* request, bool replace);
    int lookup_unknown(const char* name);
    int lookup_known(CServiceInfo* record);
    void strip_line_end();

    int compose_register(const char* name);
    int compose_unregister(const char* name, const char* line_end);
    // The request `words` with this agent's key, the time and the key's
    // signature after them, when there is a key the server takes.
    std::string signed_request(const std::string& words);
    // Registers or unregisters `name` with the composed request, asking once
    // more without the key when the server does not know the signed form.
    int send_signed(int kind, const char* name, const char* line_end);
    // Asks the server for the key of the record's name; the record keeps
    // what it had when the server cannot be reached.
    void lookup_key(CServiceInfo* record);
    int compose_lookup(const char* name);
    // Null lists all.
    int compose_list(const char* pattern);
    // Formats a request into one of the REQUEST_BUFFER_SIZE buffers; 0
    // (nothing sent later) when it would not fit.
    int compose(char* buffer, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    int check_name(const char* name);
    int forget_and_unregister(const char* name);
    std::vector<std::string> remembered_names();

    void add_belief_server();
    void load_server_file();
    void add_server_line(const char* line);

    const char* string_value(const char* belief);
    bool int_value(const char* belief, int& value);
    void mark_modified();
    int fail(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

    std::unique_ptr<CAsyncSocket> socket;
    CLList servers;
    CURL* current_server = nullptr;
    std::array<char, REQUEST_BUFFER_SIZE> register_request{};
    std::array<char, REQUEST_BUFFER_SIZE> unregister_request{};
    std::array<char, REQUEST_BUFFER_SIZE> query_request{};
    std::array<char, REPLY_BUFFER_SIZE> reply{};
    std::array<char, REPLY_BUFFER_SIZE> last_reply{};
    // Remembered names whose last registration the server did not take.
    std::set<std::string> unregistered;
    unsigned timeout_ms = DEFAULT_TIMEOUT_MS;
    const CKeyPair* signing_key = nullptr;
    // False once the server answered a signed request with its usage error.
    bool server_takes_keys = true;
    // Signed times (milliseconds since 1970) only grow: the server refuses
    // one that is not newer than the last it took.
    std::int64_t last_signed = 0;
};
