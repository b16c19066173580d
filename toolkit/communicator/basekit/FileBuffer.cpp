#include <basekit/FileBuffer.h>

#include <cstdio>
#include <memory>
#include <utility>

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Reads the stream to its end; false on a read error (a directory, say).
bool read_all(FILE* f, std::vector<char>& out)
{
    char chunk[8192];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        out.insert(out.end(), chunk, chunk + n);
    }
    return !std::ferror(f);
}

} // namespace

CFileBuffer::CFileBuffer() = default;

CFileBuffer::~CFileBuffer() = default;

char* CFileBuffer::load_a_file(const char* path)
{
    data.clear();
    length = 0;
    cursor = 0;
    loaded = false;
    if (!path)
        return nullptr;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path, "r"));
    if (!file)
        return nullptr;
    std::vector<char> contents;
    if (!read_all(file.get(), contents))
        return nullptr;
    length = contents.size();
    contents.push_back('\0');
    data = std::move(contents);
    loaded = true;
    return data.data();
}

char* CFileBuffer::get_buffer()
{
    return loaded ? data.data() : nullptr;
}

size_t CFileBuffer::get_length()
{
    return length;
}

char* CFileBuffer::read_line()
{
    if (!loaded || cursor >= length)
        return nullptr;
    char* line = data.data() + cursor;
    size_t end = cursor;
    while (end < length && data[end] != '\n' && data[end] != '\r') {
        ++end;
    }
    // At end == length this overwrites the terminator that is always there.
    data[end] = '\0';
    cursor = end + 1;
    return line;
}
