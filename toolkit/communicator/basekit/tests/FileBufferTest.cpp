#include <basekit/FileBuffer.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A temporary file with the given bytes, removed at the end of the test.
class TempFile {
public:
    explicit TempFile(const std::string& bytes)
    {
        char pattern[] = "/tmp/filebuffer-XXXXXX";
        int fd = mkstemp(pattern);
        if (fd < 0)
            return;
        path = pattern;
        if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            path.clear();
        close(fd);
    }
    ~TempFile()
    {
        if (!path.empty())
            unlink(path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    std::string path;
};

std::vector<std::string> lines_of(const std::string& bytes)
{
    TempFile file(bytes);
    CFileBuffer buffer;
    std::vector<std::string> lines;
    if (file.path.empty() || !buffer.load_a_file(file.path.c_str()))
        return {"(not loaded)"};
    while (char* line = buffer.read_line())
        lines.emplace_back(line);
    if (buffer.read_line())
        lines.emplace_back("(line after the end)");
    return lines;
}

using Lines = std::vector<std::string>;

} // namespace

TEST(FileBufferLoad, MissingOrUnreadableGivesNull)
{
    CFileBuffer buffer;
    EXPECT_EQ(buffer.load_a_file("/nonexistent/dir/file.txt"), nullptr);
    EXPECT_EQ(buffer.load_a_file(nullptr), nullptr);
    EXPECT_EQ(buffer.load_a_file("/tmp"), nullptr);
    EXPECT_EQ(buffer.get_buffer(), nullptr);
    EXPECT_EQ(buffer.read_line(), nullptr);
}

TEST(FileBufferLoad, HoldsTheWholeFileAndReplacesIt)
{
    TempFile file("tcp://10.0.0.5:6677\ntcp://10.0.0.6:6677\n");
    CFileBuffer buffer;
    char* text = buffer.load_a_file(file.path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text, buffer.get_buffer());
    EXPECT_STREQ(text, "tcp://10.0.0.5:6677\ntcp://10.0.0.6:6677\n");
    EXPECT_EQ(buffer.get_length(), 40u);
    EXPECT_STREQ(buffer.read_line(), "tcp://10.0.0.5:6677");
    ASSERT_NE(buffer.load_a_file(file.path.c_str()), nullptr);
    EXPECT_STREQ(buffer.read_line(), "tcp://10.0.0.5:6677");
    EXPECT_EQ(buffer.load_a_file("/nonexistent/file"), nullptr);
    EXPECT_EQ(buffer.get_buffer(), nullptr);
    EXPECT_EQ(buffer.read_line(), nullptr);
}

TEST(FileBufferReadLine, LineEnds)
{
    EXPECT_EQ(lines_of(""), Lines{});
    EXPECT_EQ(lines_of("one\ntwo\n"), (Lines{"one", "two"}));
    EXPECT_EQ(lines_of("one\r\ntwo"), (Lines{"one", "", "two"}));
    EXPECT_EQ(lines_of("only"), Lines{"only"});
    EXPECT_EQ(lines_of("\n\n"), (Lines{"", ""}));
}

TEST(FileBufferReadLine, LinesLiveInTheBuffer)
{
    TempFile file("ab\ncd");
    CFileBuffer buffer;
    char* text = buffer.load_a_file(file.path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(buffer.read_line(), text);
    EXPECT_EQ(buffer.read_line(), text + 3);
    EXPECT_EQ(text[2], '\0');
}

TEST(FileBufferReadLine, NulInsideDoesNotEndTheFile)
{
    EXPECT_EQ(lines_of(std::string("ab\0cd\nef\n", 9)), (Lines{"ab", "ef"}));
    EXPECT_EQ(lines_of(std::string("x\0", 2)), Lines{"x"});
}
