#pragma once

#include <basekit/LList.h>

// A list kind of its own type code whose elements may themselves be lists;
// it behaves as a CLList.
class CTreeList : public CLList {
public:
    CTreeList();
    explicit CTreeList(const char* name);
    ~CTreeList() override;
};
