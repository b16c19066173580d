#include <basekit/TreeList.h>

CTreeList::CTreeList()
{
    set_btype(BTYPE_TREELIST);
}

CTreeList::CTreeList(const char* name) : CLList(name)
{
    set_btype(BTYPE_TREELIST);
}

CTreeList::~CTreeList() = default;
