#pragma once

#include <basekit/LList.h>

// A list kind of its own type code; it behaves as a CLList.
class CHashTable : public CLList {
public:
    CHashTable();
    explicit CHashTable(const char* name);
    ~CHashTable() override;
};
