#include <basekit/ParserBase.h>

#include <basekit/LList.h>

CParserBase::CParserBase() = default;

CParserBase::CParserBase(const char* name) : CListElement(name) {}

CParserBase::~CParserBase()
{
    delete entities;
    delete tokens;
}

int CParserBase::parsable(const char*)
{
    return 0;
}

int CParserBase::parse_message(const char*)
{
    return 0;
}

char* CParserBase::find_token(const char*)
{
    return nullptr;
}

char* CParserBase::find_performative()
{
    return nullptr;
}

char* CParserBase::find_sender()
{
    return nullptr;
}

char* CParserBase::find_ontology()
{
    return nullptr;
}

char* CParserBase::find_language()
{
    return nullptr;
}

char* CParserBase::find_receiver()
{
    return nullptr;
}

char* CParserBase::find_reply_with()
{
    return nullptr;
}

char* CParserBase::find_in_reply_to()
{
    return nullptr;
}

char* CParserBase::find_contents()
{
    return nullptr;
}

char* CParserBase::find_content()
{
    return nullptr;
}

char* CParserBase::find_forward()
{
    return nullptr;
}

char* CParserBase::listall_getfirst(unsigned)
{
    return nullptr;
}

char* CParserBase::listall_getnext(unsigned)
{
    return nullptr;
}

char* CParserBase::listall_getfirst_token()
{
    return nullptr;
}

char* CParserBase::listall_getnext_token()
{
    return nullptr;
}

char* CParserBase::listall_getfirst_contents()
{
    return nullptr;
}

char* CParserBase::listall_getnext_contents()
{
    return nullptr;
}

char* CParserBase::compose_message(const char*, const char*, const char*, const char*, const char*,
                                   const char*, const char*, const char*, int)
{
    return nullptr;
}

char* CParserBase::create_message(const char*, const char*, const char*, const char*, const char*,
                                  const char*, const char*, const char*, const char*)
{
    return nullptr;
}

char* CParserBase::compose_token(const char*, float)
{
    return nullptr;
}

char* CParserBase::compose_token(const char*, int)
{
    return nullptr;
}

char* CParserBase::compose_token(const char*, const char*)
{
    return nullptr;
}

void CParserBase::set_parser_type(int type)
{
    parser_type = type;
}

int CParserBase::get_parser_type()
{
    return parser_type;
}

CLList* CParserBase::get_entities()
{
    return entities;
}

CLList* CParserBase::get_tokens()
{
    return tokens;
}

void CParserBase::set_entities(CLList* list)
{
    if (list == entities)
        return;
    delete entities;
    entities = list;
}

void CParserBase::set_tokens(CLList* list)
{
    if (list == tokens)
        return;
    delete tokens;
    tokens = list;
}
