#pragma once

class CRDFMFCGraphStore;
class CRDFNode;

// The base of the objects filled from a graph node (calendars, events,
// persons ...): `set` reads the node and the nodes it links to.
class CRDFObj {
public:
    virtual bool set(CRDFNode* node, CRDFMFCGraphStore* store) = 0;
    virtual ~CRDFObj();
};
