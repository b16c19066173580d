#include <basekit/HashTable.h>

CHashTable::CHashTable()
{
    set_btype(BTYPE_HASHTABLE);
}

CHashTable::CHashTable(const char* name) : CLList(name)
{
    set_btype(BTYPE_HASHTABLE);
}

CHashTable::~CHashTable() = default;
