#include <wirekit/Communicator.h>

#include <wirekit/ClientSocket.h>
#include <wirekit/LogFacility.h>
#include <wirekit/ServerSocket.h>

#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/LookupModule.h>
#include <factkit/StringBelief.h>
#include <namekit/ANSClient.h>
#include <notekit/ServiceInfo.h>

#include <cstdio>
#include <ctime>

// The communicator's settings live in its beliefs; this part of it reads
// and writes them, and asks the lookup modules for names.

namespace {

constexpr const char* kVersion = "2.01";

} // namespace

// --- settings -------------------------------------------------------------------

char* CCommunicator::get_name()
{
    return string_belief("name");
}

void CCommunicator::set_name(const char* name)
{
    set_string_belief("name", name);
}

int CCommunicator::get_port()
{
    int port = 0;
    return int_belief("port", port) ? port : 0;
}

void CCommunicator::set_port(int port)
{
    set_int_belief("port", port);
}

char* CCommunicator::get_ansname()
{
    return string_belief("ans");
}

void CCommunicator::set_ansname(const char* host)
{
    set_string_belief("ans", host);
}

int CCommunicator::get_ansport()
{
    int port = 0;
    return int_belief("ansport", port) ? port : 0;
}

void CCommunicator::set_ansport(int port)
{
    set_int_belief("ansport", port);
}

int CCommunicator::comm_setansinfo(const char* host, int port)
{
    const int host_set = set_string_belief("ans", host);
    const int port_set = set_int_belief("ansport", port);
    return host_set && port_set;
}

int CCommunicator::comm_setinfo(const char* name, int port)
{
    const int name_set = set_string_belief("name", name);
    const int port_set = set_int_belief("port", port);
    return name_set && port_set;
}

char* CCommunicator::comm_get_ip()
{
    return string_belief("hostname");
}

char* CCommunicator::comm_get_info()
{
    return string_belief("hostname");
}

CBeliefDB* CCommunicator::get_beliefdb()
{
    return beliefdb;
}

CLList* CCommunicator::get_modules()
{
    return &modules;
}

CLList* CCommunicator::get_lookup_modules()
{
    return &lookup_modules;
}

CLList* CCommunicator::get_lookup_table()
{
    return locations.table();
}

CANSClient* CCommunicator::retrieve_ans_object()
{
    return ans_client;
}

void CCommunicator::set_key_pair(CKeyPair key, bool signs)
{
    key_pair = std::move(key);
    signs_registrations = signs;
    if (ans_client)
        ans_client->set_signing_key(signs ? &*key_pair : nullptr);
    if (server)
        server->set_key_pair(&*key_pair);
}

void CCommunicator::set_trust_unproven(bool trust)
{
    trust_unproven = trust;
    if (server)
        server->set_trust_unproven(trust);
}

CLookupModule* CCommunicator::retrieve_dsc_object()
{
    return discovery;
}

void CCommunicator::set_discovery_object(CLookupModule* module)
{
    if (!module || module->get_parent() == &lookup_modules)
        discovery = module;
}

CServerSocket* CCommunicator::get_server()
{
    return server.get();
}

CServerSocket* CCommunicator::get_server_socket()
{
    return server.get();
}

CClientSocket* CCommunicator::get_connection(int descriptor)
{
    return server ? server->get_connection(descriptor) : nullptr;
}

CClientSocket* CCommunicator::find_connection(const char* agent, const char* host, unsigned port)
{
    return server ? server->find_connection(agent, host, port) : nullptr;
}

const char* CCommunicator::getversion()
{
    return kVersion;
}

int CCommunicator::comm_is_ans_enabled()
{
    return ans_client ? ans_client->is_enabled() : 1;
}

char* CCommunicator::comm_ans_error()
{
    return ans_client ? ans_client->get_last_error() : nullptr;
}

char* CCommunicator::create_reply_with()
{
    std::snprintf(reply_with_text.data(), reply_with_text.size(), "Win32M%ld",
                  static_cast<long>(std::time(nullptr)));
    return reply_with_text.data();
}

void CCommunicator::set_registered(int value)
{
    registered = value;
}

int CCommunicator::is_registered()
{
    return registered;
}

void CCommunicator::set_service_type(int type)
{
    service_type = type;
}

int CCommunicator::get_service_type()
{
    return service_type;
}

char* CCommunicator::get_result()
{
    return result.data();
}

int CCommunicator::get_last_error()
{
    return last_error;
}

int CCommunicator::get_alive_counter()
{
    return alive_counter;
}

void CCommunicator::set_alive_period(int period)
{
    alive_period = period < 1 ? 1 : period;
}

// --- name service -----------------------------------------------------------------

int CCommunicator::comm_register_agent(const char* name)
{
    if (!name)
        return 0;
    for_each_lookup_module([name](CLookupModule& module) { module.register_agent(name); });
    return 1;
}

int CCommunicator::comm_unregister_agent(const char* name)
{
    if (!name)
        return 0;
    for_each_lookup_module([name](CLookupModule& module) { module.unregister_agent(name); });
    return 1;
}

int CCommunicator::comm_activate_lookup(const char* name)
{
    if (!name)
        return 0;
    int found = 0;
    for_each_lookup_module([name, &found](CLookupModule& module) {
        if (module.lookup_agent(name))
            found = 1;
    });
    return found;
}

int CCommunicator::listall_agents()
{
    int listed = 0;
    for_each_lookup_module([&listed](CLookupModule& module) {
        if (module.listall_agents())
            listed = 1;
    });
    return listed;
}

int CCommunicator::comm_listall()
{
    return registered_ans_client() ? ans_client->listall_agents() : 0;
}

char* CCommunicator::comm_listall_getfirst()
{
    return registered_ans_client() ? ans_client->listall_getfirst() : nullptr;
}

char* CCommunicator::comm_listall_getnext()
{
    return registered_ans_client() ? ans_client->listall_getnext() : nullptr;
}

bool CCommunicator::registered_ans_client()
{
    if (!ans_client) {
        debug("<CCommunicator> Pointer to ANS module is invalid");
        return false;
    }
    if (!registered) {
        debug("<CCommunicator> You are not registered yet with an ANS!");
        return false;
    }
    return true;
}

void CCommunicator::add_requirement(const char* name)
{
    if (name)
        requirements.add_element(new CListElement(name));
}

int CCommunicator::check_requirements()
{
    for (CListElement* e = requirements.get_element(0); e; e = e->get_next()) {
        CServiceInfo* record = find_record(e->get_name());
        if (!record || !record->get_location())
            return 0;
    }
    return 1;
}

CLList* CCommunicator::get_requirements()
{
    return &requirements;
}

// --- helpers ---------------------------------------------------------------------------------

void CCommunicator::for_each_lookup_module(const std::function<void(CLookupModule&)>& action)
{
    for (CListElement* e = lookup_modules.get_element(0); e;) {
        CListElement* next = e->get_next();
        CLookupModule* module = dynamic_cast<CLookupModule*>(e);
        if (module && module->is_enabled())
            action(*module);
        else if (module)
            debug("<CCommunicator> Module is disabled, skipping");
        e = next;
    }
}

CLogFacility* CCommunicator::module_of(CListElement* element)
{
    return dynamic_cast<CLogFacility*>(element);
}

char* CCommunicator::string_belief(const char* name)
{
    CStringBelief* belief = beliefdb ? beliefdb->find_string_belief(name) : nullptr;
    return belief ? belief->get_value() : nullptr;
}

int CCommunicator::int_belief(const char* name, int& value)
{
    CIntBelief* belief = beliefdb ? beliefdb->find_int_belief(name) : nullptr;
    if (!belief)
        return 0;
    value = belief->get_value();
    return 1;
}

int CCommunicator::set_string_belief(const char* name, const char* value)
{
    CStringBelief* belief = beliefdb ? beliefdb->find_string_belief(name) : nullptr;
    if (!belief)
        return 0;
    belief->set_value(value);
    return 1;
}

int CCommunicator::set_int_belief(const char* name, int value)
{
    CIntBelief* belief = beliefdb ? beliefdb->find_int_belief(name) : nullptr;
    if (!belief)
        return 0;
    belief->set_value(value);
    return 1;
}

void CCommunicator::set_result(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(result.data(), result.size(), fmt, args);
    va_end(args);
}
