#include <factkit/LookupModule.h>

#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/ListBelief.h>
#include <notekit/ServiceInfo.h>

#include <memory>

namespace {

const char* const kLocationTable = "lookup";

} // namespace

CLookupModule::CLookupModule(CBeliefDB* db, CWnd* window) : beliefdb(db), handler(window) {}

CLookupModule::~CLookupModule() = default;

int CLookupModule::enable(int on)
{
    enabled = on ? 1 : 0;
    return enabled ? process_enable() : process_disable();
}

int CLookupModule::is_enabled()
{
    return enabled;
}

int CLookupModule::get_lookup_type()
{
    return lookup_type;
}

void CLookupModule::set_lookup_type(int type)
{
    lookup_type = type;
}

int CLookupModule::get_service_type()
{
    return service_type;
}

void CLookupModule::set_service_type(int type)
{
    service_type = type;
}

int CLookupModule::register_agent(const char*)
{
    return 0;
}

int CLookupModule::unregister_agent(const char*)
{
    return 0;
}

int CLookupModule::lookup_agent(const char*)
{
    return 0;
}

int CLookupModule::find_agent(const char*)
{
    return 0;
}

int CLookupModule::listall_agents()
{
    return 0;
}

int CLookupModule::alive()
{
    return 0;
}

int CLookupModule::process_enable()
{
    return 0;
}

int CLookupModule::process_disable()
{
    return 0;
}

void CLookupModule::mark_modified()
{
    if (beliefdb)
        beliefdb->set_modified(1);
}

CServiceInfo* CLookupModule::create_entry(const char* name)
{
    if (!name)
        return nullptr;
    CLList* table = get_lookup_table();
    if (!table)
        return nullptr;
    if (CListElement* existing = table->find_element(name)) {
        auto* record = dynamic_cast<CServiceInfo*>(existing);
        if (!record)
            return nullptr;
        record->set_gone(0);
        mark_modified();
        return record;
    }
    auto record = std::make_unique<CServiceInfo>(name);
    if (!table->add_element(record.get()))
        return nullptr;
    mark_modified();
    return record.release();
}

CServiceInfo* CLookupModule::create_entry_url(const char* url)
{
    auto location = std::make_unique<CURL>();
    if (!location->parse_url(url))
        return nullptr;
    CServiceInfo* record = create_entry(url);
    if (!record)
        return nullptr;
    record->set_location(location.release());
    return record;
}

CBeliefDB* CLookupModule::get_beliefdb()
{
    return beliefdb;
}

CWnd* CLookupModule::get_handler()
{
    return handler;
}

CLList* CLookupModule::get_lookup_table()
{
    if (!beliefdb)
        return nullptr;
    CListElement* found = beliefdb->find_element(kLocationTable);
    if (!found) {
        auto belief = std::make_unique<CListBelief>(kLocationTable, new CLList());
        if (!beliefdb->add_element(belief.get()))
            return nullptr;
        return belief.release()->get_value();
    }
    auto* belief = dynamic_cast<CListBelief*>(found);
    if (!belief)
        return nullptr;
    if (!belief->get_value())
        belief->set_value(new CLList());
    return belief->get_value();
}

CLList* CLookupModule::get_names()
{
    return &names;
}

int CLookupModule::add_name(const char* name)
{
    if (!name)
        return 0;
    if (!names.find_element(name))
        names.add_element(new CListElement(name));
    return 1;
}

int CLookupModule::remove_name(const char* name)
{
    if (!name)
        return 0;
    return names.delete_element_by_name(name);
}

int CLookupModule::process_discovery(int)
{
    return 4;
}
