#include <basekit/Token.h>

CToken::CToken()
{
    set_btype(BTYPE_TOKEN);
}

CToken::CToken(const char* name) : CListElement(name)
{
    set_btype(BTYPE_TOKEN);
}

CToken::~CToken() = default;
