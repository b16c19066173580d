#pragma once

#include <cstddef>

class CBeliefDB;
class CDebug;
class CLList;
class CServiceInfo;

// Where other agents are: the records of the "lookup" belief, which the
// lookup modules fill and the communicator sends by. Each record counts
// down once per tick and is dropped when it expires.
class CLocationTable {
public:
    // Lines go to `log`, which is borrowed.
    explicit CLocationTable(CDebug& log);

    // The beliefs that hold the table; null (the start) means no table.
    void attach(CBeliefDB* beliefdb);

    // The table, or null when the belief is missing.
    CLList* table();
    // The record of `agent`; null when it is unknown or known to have gone
    // (such a record counts as absent until a lookup finds the agent again).
    CServiceInfo* find(const char* agent);
    // The host and port of `record` into the caller's buffer; false (logged)
    // when it has no usable location or the host does not fit.
    bool copy_location(const char* agent, CServiceInfo* record, char* host, unsigned* port,
                       std::size_t host_size);
    // Counts every record down once; records that reach the end (or hold a
    // count that could never reach it) are dropped and the beliefs marked
    // modified.
    void expire();

private:
    CBeliefDB* beliefdb = nullptr;
    CDebug& log;
};
