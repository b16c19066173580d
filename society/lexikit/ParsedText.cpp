#include <lexikit/ParsedText.h>

void CParsedText::clear()
{
    text_kind = KIND_UNKNOWN;
    arena.clear();
    fields.clear();
    http_parts = HttpParts();
}

void CParsedText::reserve(std::size_t bytes, std::size_t field_count)
{
    arena.reserve(bytes);
    fields.reserve(field_count);
}

std::size_t CParsedText::capacity() const
{
    return arena.capacity() + fields.capacity() * sizeof(Field);
}

int CParsedText::kind() const
{
    return text_kind;
}

void CParsedText::set_kind(int kind)
{
    text_kind = kind;
}

std::size_t CParsedText::store(const char* text, std::size_t len)
{
    const std::size_t offset = arena.size();
    arena.insert(arena.end(), text, text + len);
    arena.push_back('\0');
    return offset;
}

std::size_t CParsedText::store(const std::string& text)
{
    return store(text.data(), text.size());
}

void CParsedText::add_field(std::size_t token, std::size_t value)
{
    fields.push_back(Field{token, value});
}

std::size_t CParsedText::field_count() const
{
    return fields.size();
}

char* CParsedText::field_token(std::size_t index)
{
    return index < fields.size() ? text_at(fields[index].token) : nullptr;
}

char* CParsedText::field_value(std::size_t index)
{
    return index < fields.size() ? text_at(fields[index].value) : nullptr;
}

char* CParsedText::text_at(std::size_t offset)
{
    return offset < arena.size() ? arena.data() + offset : nullptr;
}

CParsedText::HttpParts& CParsedText::http()
{
    return http_parts;
}

const CParsedText::HttpParts& CParsedText::http() const
{
    return http_parts;
}
