#pragma once

#include <basekit/ListElement.h>

// An element kind of its own type code, used for parsed tokens.
class CToken : public CListElement {
public:
    CToken();
    explicit CToken(const char* name);
    ~CToken() override;
};
