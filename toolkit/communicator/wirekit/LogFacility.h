#pragma once

#include <basekit/ListElement.h>

#include <optional>
#include <string>
#include <vector>

class CBeliefDB;
class CCommunicator;
class CParsedMessage;

// Base of the communicator's event modules: objects that are handed copies of
// the agent's traffic and of its state changes. The module's name is its
// display name.
//
// The belief database and the communicator are borrowed; both must outlive
// the module (the communicator owns its modules, so it does).
//
// Debug lines of a module that has a logger go into the logger's file. A
// logger that is destroyed first detaches every module that wrote through it,
// so a module never writes into a closed log.
class CLogFacility : public CListElement {
public:
    // Direction codes of process_message.
    static constexpr int DIRECTION_INTERNAL = 0;
    static constexpr int DIRECTION_INCOMING = 1;
    static constexpr int DIRECTION_OUTGOING = 2;

    // State codes of change_state.
    static constexpr unsigned STATE_IDLE = 0;
    static constexpr unsigned STATE_PLANNING = 1;
    static constexpr unsigned STATE_ADVERTISE = 2;
    static constexpr unsigned STATE_REGISTERED = 3;
    static constexpr unsigned STATE_UNREGISTERED = 4;

    // `value` is the construction value, kept for derived modules.
    CLogFacility(const char* name, CBeliefDB* beliefdb, CCommunicator* communicator, unsigned value);
    // Logs "<CLogFacility> Destroying module [name]" ("[UNKNOWN]" unnamed).
    ~CLogFacility() override;

    // Hooks of the communicator and the container. Here they do nothing;
    // those with a result return 1.
    virtual int init();
    virtual int change_state(unsigned state);
    virtual void parse_args(int argc, char** argv);
    virtual void process_message(const char* text, int direction);
    // The same for a message already read: modules that look into the
    // fields take them from `message`; the rest get its text through
    // process_message, as here.
    virtual void process_parsed_message(const CParsedMessage& message, int direction);
    virtual void process_timer();

    // The text shown for this module. Null means the communicator's agent
    // name, or "Agent" without a communicator (or without a name there).
    void set_display(const char* display);
    // Owned by the module, valid until the next set_display.
    char* get_display();

    // Debug lines of this module are written into `logger`'s file from now
    // on; null (or the module itself) writes them into the module's own file
    // again.
    void set_logger(CLogFacility* logger);
    CLogFacility* get_logger();

    void set_dependancy(unsigned dependancy);
    unsigned get_dependancy();

    // One debug line holding `text` as it is (no format expansion).
    void log_message(const char* text);

    void set_registered(int registered);
    int is_registered();

    // The event type the module wants: 1 for the file log, 2 for displays of
    // outgoing messages.
    void set_type(unsigned type);
    unsigned get_type();

    CBeliefDB* get_beliefdb();
    CCommunicator* get_communicator();
    unsigned get_value();

    void dprintf(const char* fmt, ...) override __attribute__((format(printf, 2, 3)));

protected:
    // The "name" belief's text, or null when there is no belief database, no
    // such belief or no value.
    const char* agent_name();

private:
    void write_line(const char* fmt, va_list args) __attribute__((format(printf, 2, 0)));
    void attach(CLogFacility* follower);
    void detach(CLogFacility* follower);
    void detach_followers();

    CBeliefDB* beliefdb;
    CCommunicator* communicator;
    unsigned value;
    unsigned type = 0;
    unsigned dependancy = 0;
    int registered = 0;
    CLogFacility* logger = nullptr;
    // Modules whose logger this one is.
    std::vector<CLogFacility*> followers;
    std::optional<std::string> display;
    std::string display_text;
};
