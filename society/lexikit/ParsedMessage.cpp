#include <lexikit/ParsedMessage.h>

CParsedMessage::CParsedMessage(std::string text) : message_text(std::move(text))
{
    parsed = reader.parse_message(message_text.c_str()) == 1;
}

CParsedMessage::Ptr CParsedMessage::parse(std::string text)
{
    return Ptr(new CParsedMessage(std::move(text)));
}

int CParsedMessage::kind() const
{
    return parsed ? reader.get_parser_type() : CParserBase::PARSER_TYPE_UNKNOWN;
}

const char* CParsedMessage::field(const char* key) const
{
    return parsed ? reader.find_token(key) : nullptr;
}

const char* CParsedMessage::performative() const
{
    return parsed ? reader.find_performative() : nullptr;
}

const char* CParsedMessage::sender() const
{
    return parsed ? reader.find_sender() : nullptr;
}

const char* CParsedMessage::receiver() const
{
    return parsed ? reader.find_receiver() : nullptr;
}

const char* CParsedMessage::ontology() const
{
    return parsed ? reader.find_ontology() : nullptr;
}

const char* CParsedMessage::reply_with() const
{
    return parsed ? reader.find_reply_with() : nullptr;
}

const char* CParsedMessage::content() const
{
    return parsed ? reader.find_content() : nullptr;
}

CParsedMessage::Ptr CParsedMessage::content_message() const
{
    if (!content_read) {
        content_read = true;
        if (const char* text = content())
            content_parse = parse(text);
    }
    return content_parse;
}
