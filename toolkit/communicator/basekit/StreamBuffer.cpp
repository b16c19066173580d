#include <basekit/StreamBuffer.h>

CStreamBuffer::CStreamBuffer() = default;

CStreamBuffer::CStreamBuffer(const char* name) : CListElement(name) {}

CStreamBuffer::~CStreamBuffer() = default;

void CStreamBuffer::add_to_buffer(const char* text)
{
    if (!text)
        return;
    if (!buffer)
        buffer.emplace();
    buffer->append(text);
}

char* CStreamBuffer::get_buffer()
{
    return buffer ? buffer->data() : nullptr;
}

void CStreamBuffer::reset()
{
    buffer.reset();
}
