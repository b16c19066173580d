#include <wirekit/Message.h>

#include <lexikit/KQMLParser.h>
#include <lexikit/XMLParser.h>

CMessage::CMessage() : kqml(std::make_unique<CKQMLParser>()), xml(std::make_unique<CXMLParser>()) {}

CMessage::CMessage(const char* name) : CMessage()
{
    set_name(name);
}

CMessage::~CMessage() = default;

char* CMessage::compose_message(const char* performative, const char* receiver, const char* sender,
                                const char* ontology, const char* language, const char* reply_with,
                                const char* in_reply_to, const char* forward, int flags)
{
    return get_parser()->compose_message(performative, receiver, sender, ontology, language, reply_with,
                                         in_reply_to, forward, flags);
}

CParser* CMessage::get_parser()
{
    if (kind == KIND_XML)
        return xml.get();
    return kqml.get();
}

CKQMLParser* CMessage::get_kqml_parser()
{
    return kqml.get();
}

CXMLParser* CMessage::get_xml_parser()
{
    return xml.get();
}

int CMessage::set_parser(int new_kind)
{
    if (new_kind != KIND_KQML && new_kind != KIND_XML)
        return 0;
    kind = new_kind;
    return 1;
}

int CMessage::get_parser_kind()
{
    return kind;
}

void CMessage::set_text(const char* value)
{
    if (value)
        text = value;
    else
        text.reset();
}

char* CMessage::get_text()
{
    return text ? text->data() : nullptr;
}
