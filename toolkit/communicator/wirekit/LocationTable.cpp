#include <wirekit/LocationTable.h>

#include <basekit/Debug.h>
#include <basekit/LList.h>
#include <basekit/URL.h>
#include <factkit/BeliefDB.h>
#include <factkit/ListBelief.h>
#include <notekit/ServiceInfo.h>

#include <cstring>

CLocationTable::CLocationTable(CDebug& log) : log(log) {}

void CLocationTable::attach(CBeliefDB* database)
{
    beliefdb = database;
}

CLList* CLocationTable::table()
{
    CListBelief* belief = beliefdb ? beliefdb->find_list_belief("lookup") : nullptr;
    return belief ? belief->get_value() : nullptr;
}

CServiceInfo* CLocationTable::find(const char* agent)
{
    CLList* records = table();
    if (!records || !agent)
        return nullptr;
    CServiceInfo* record = dynamic_cast<CServiceInfo*>(records->find_element(agent));
    return record && !record->get_gone() ? record : nullptr;
}

bool CLocationTable::copy_location(const char* agent, CServiceInfo* record, char* host, unsigned* port,
                                   std::size_t host_size)
{
    CURL* location = record ? record->get_location() : nullptr;
    if (!location) {
        log.dprintf("<CCommunicator> Could not obtain location for agent: [%s]", agent);
        return false;
    }
    const char* where = location->get_host();
    if (!where) {
        log.dprintf("<CCommunicator> Could not obtain host and port information for agent: [%s]", agent);
        return false;
    }
    if (std::strlen(where) >= host_size) {
        log.dprintf("<CCommunicator> Host of agent [%s] does not fit the given buffer", agent);
        return false;
    }
    std::memcpy(host, where, std::strlen(where) + 1);
    *port = static_cast<unsigned>(location->get_port());
    log.dprintf("<CCommunicator> Obtained host [%s] and port [%d] information for agent: [%s]", host,
                location->get_port(), agent);
    return true;
}

void CLocationTable::expire()
{
    CLList* table = this->table();
    if (!table)
        return;
    for (CListElement* e = table->get_element(0); e;) {
        CListElement* next = e->get_next();
        CServiceInfo* record = dynamic_cast<CServiceInfo*>(e);
        const int expiration = record ? record->get_expiration() : CServiceInfo::NEVER_EXPIRES;
        if (expiration != CServiceInfo::NEVER_EXPIRES) {
            if (expiration <= 1) {
                table->delete_element(e);
                if (beliefdb)
                    beliefdb->set_modified(1);
            } else {
                record->set_expiration(expiration - 1);
            }
        }
        e = next;
    }
}
