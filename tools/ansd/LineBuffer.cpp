#include <ansd/LineBuffer.h>

CLineBuffer::CLineBuffer(std::size_t maxLine) : maxLine(maxLine) {}

void CLineBuffer::Append(const char* data, std::size_t length)
{
    Compact();
    buffer.append(data, length);
}

CLineBuffer::Next CLineBuffer::Take(std::string_view& line)
{
    const std::size_t end = buffer.find('\n', scanned);
    if (end == std::string::npos) {
        scanned = buffer.size();
        // One byte more than the limit may be the '\r' of a line end still
        // to come.
        if (buffer.size() - start > maxLine + 1)
            return Next::TooLong;
        return Next::NeedMore;
    }
    std::size_t length = end - start;
    if (length > 0 && buffer[end - 1] == '\r')
        --length;
    if (length > maxLine)
        return Next::TooLong;
    line = std::string_view(buffer).substr(start, length);
    start = end + 1;
    scanned = start;
    return Next::Line;
}

CLineBuffer::Next CLineBuffer::TakeRest(std::string_view& line)
{
    if (!HasPartial())
        return Next::NeedMore;
    std::size_t length = buffer.size() - start;
    if (buffer.back() == '\r')
        --length;
    if (length > maxLine)
        return Next::TooLong;
    line = std::string_view(buffer).substr(start, length);
    start = buffer.size();
    scanned = start;
    return Next::Line;
}

bool CLineBuffer::HasPartial() const
{
    return start < buffer.size();
}

void CLineBuffer::Compact()
{
    if (start == 0)
        return;
    buffer.erase(0, start);
    scanned -= start;
    start = 0;
}
