#include <graphstore/RDFObj.h>

CRDFObj::~CRDFObj() = default;
