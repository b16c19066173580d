#pragma once

#include <wirekit/LogFacility.h>

#include <basekit/LList.h>

#include <string>
#include <vector>

class CNameSpace;

// The interface module: forwards the agent's status to interface agents that
// asked for it, and shows the agent's debug text in a status display and an
// optional console.
//
// Interface agents register by sending a message with ontology "interface"
// whose content is "(ask :content register)" ("unregister" to leave, and
// "lineage" to be told the agent's lineage). Only incoming messages are read
// for this; copies of the agent's own outgoing traffic never register
// anybody. Everything the module sends goes out with
// comm_sendmessage_internal, language "ORVANTE-KQML".
//
// The status display and the console are borrowed text sinks; the module
// also keeps the last text it displayed.
class CInterfaceModule : public CLogFacility {
public:
    // Something that shows text: the status window's text (each text replaces
    // the last) or a console (each text is one more line).
    class CTextSink {
    public:
        virtual ~CTextSink();
        virtual void show_text(const char* text) = 0;
    };

    CInterfaceModule(const char* name, CBeliefDB* beliefdb, CCommunicator* communicator, unsigned value);
    ~CInterfaceModule() override;

    // Shows `text` in the status display and the console; null is ignored.
    void display(const char* text);
    // The last text displayed (empty before the first).
    const std::string& get_status_text() const;

    void process_message(const char* text, int direction) override;
    void process_parsed_message(const CParsedMessage& message, int direction) override;
    // State 4 (unregistered) deactivates the datastream of every interface
    // agent. Returns 1.
    int change_state(unsigned state) override;

    // Adds `name` to the interface agents and sends it the datastream
    // activation and the control-panel details. A name already registered is
    // refused (0, nothing sent); 1 when added; 0 for null.
    int register_interface(const char* name);
    // Removes `name`; 1 when it was registered.
    int unregister_interface(const char* name);

    // Send `text` as the datastream / control-panel data to every interface
    // agent.
    void update_datastream(const char* text);
    void update_controlpanel(const char* text);

    // The interface agents' names (owned by the module).
    CLList* get_interfaces();

    // All borrowed; null clears.
    void set_lineage(CNameSpace* lineage);
    CNameSpace* get_lineage();
    void set_status(CTextSink* status);
    void set_console(CTextSink* console);

private:
    void handle_content(const char* sender, const CParsedMessage* content);
    void reply_lineage(const char* receiver);
    bool send_interface(const char* receiver, const char* ontology, const std::string& content);
    bool send_controlpanel(const char* receiver, const std::string& data);
    bool send(const char* receiver, const char* performative, const char* ontology,
              const std::string& content);
    void report_failure(bool sent);
    std::string lineage_text();
    std::string controlpanel_details();
    std::vector<std::string> interface_names();

    CLList interfaces;
    CNameSpace* lineage = nullptr;
    CTextSink* status = nullptr;
    CTextSink* console = nullptr;
    std::string status_text;
};
