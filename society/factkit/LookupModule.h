#pragma once

#include <basekit/LList.h>
#include <basekit/ListElement.h>

class CBeliefDB;
class CServiceInfo;
// The platform's message target; the module only hands it on.
class CWnd;

// Base of the modules through which an agent finds other agents (a name
// server client, network discovery). What a module learns goes into the
// location table: the list held by the "lookup" belief of the agent's
// belief database, one CServiceInfo per known agent.
//
// The belief database and the window are borrowed and must outlive the
// module. A new module is disabled.
class CLookupModule : public CListElement {
public:
    static constexpr int LOOKUP_DISCOVERY = 1;
    static constexpr int LOOKUP_NAME_SERVER = 2;

    CLookupModule(CBeliefDB* beliefdb, CWnd* handler);
    ~CLookupModule() override;

    // A nonzero value enables the module and then runs process_enable(); 0
    // disables it and then runs process_disable(). The hook runs on every
    // call, enabled already or not, and its result is returned.
    int enable(int on);
    int is_enabled();

    int get_lookup_type();
    void set_lookup_type(int type);
    int get_service_type();
    void set_service_type(int type);

    // What a concrete module does; here they do nothing and return 0.
    virtual int register_agent(const char* name);
    virtual int unregister_agent(const char* name);
    virtual int lookup_agent(const char* name);
    virtual int find_agent(const char* name);
    virtual int listall_agents();
    virtual int alive();
    virtual int process_enable();
    virtual int process_disable();
    // A datagram for a discovery module; 4 (error) for every other module.
    virtual int process_discovery(int descriptor);

    // The location-table record named `name`. An agent has one address, so
    // a name already in the table gives back its record instead of adding
    // a twin that lookups would never reach; the record is then marked as
    // not gone, since whoever asks for it has just heard of the agent.
    // Marks the belief database modified. Null for a null name, without a
    // location table, or when the name belongs to an element that is not a
    // service record.
    CServiceInfo* create_entry(const char* name);
    // As create_entry, for a record named after the URL text itself (the
    // caller usually renames it after the agent once it knows the name),
    // whose location is parsed from the URL and replaces any earlier one.
    // Null when the URL does not parse to a host.
    CServiceInfo* create_entry_url(const char* url);

    CBeliefDB* get_beliefdb();
    CWnd* get_handler();
    // The "lookup" belief's list. When the database has no such belief, one
    // holding an empty list is created. Null without a belief database or
    // when "lookup" is a belief of another kind.
    CLList* get_lookup_table();
    // The names this module has registered.
    CLList* get_names();

protected:
    // Remembers a registered name once (a repeat is not added again);
    // 0 for null.
    int add_name(const char* name);
    // Forgets it; 1 when it was remembered.
    int remove_name(const char* name);

private:
    void mark_modified();

    CBeliefDB* beliefdb;
    CWnd* handler;
    CLList names;
    int enabled = 0;
    int lookup_type = 0;
    int service_type = 1;
};
