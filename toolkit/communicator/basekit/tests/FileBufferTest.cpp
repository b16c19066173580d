#include <basekit/FileBuffer.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// A temporary file with the given bytes, removed at the end of the test.
class TempFile {
public:
    explicit TempFile(const std::string& bytes) {
        char pattern[] = "/tmp/filebuffer-XXXXXX";
        int fd = mkstemp(pattern);
        if (fd >= 0) {
            path = pattern;
            if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
                path.clear();
            }
            close(fd);
        }
    }
    ~TempFile() {
        if (!path.empty()) unlink(path.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    std::string path;
};

}  // namespace

TEST(FileBufferLoad, MissingFileGivesNull) {
    CFileBuffer buffer;
    EXPECT_EQ(buffer.load_a_file("/nonexistent/dir/file.txt"), nullptr);
    EXPECT_EQ(buffer.get_buffer(), nullptr);
    EXPECT_EQ(buffer.read_line(), nullptr);
    EXPECT_EQ(buffer.load_a_file(nullptr), nullptr);
}

TEST(FileBufferLoad, ADirectoryIsNotAFile) {
    CFileBuffer buffer;
    EXPECT_EQ(buffer.load_a_file("/tmp"), nullptr);
    EXPECT_EQ(buffer.read_line(), nullptr);
}

TEST(FileBufferLoad, HoldsTheWholeFile) {
    TempFile file("tcp://10.0.0.5:6677\ntcp://10.0.0.6:6677\n");
    ASSERT_FALSE(file.path.empty());
    CFileBuffer buffer;
    char* text = buffer.load_a_file(file.path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text, buffer.get_buffer());
    EXPECT_STREQ(text, "tcp://10.0.0.5:6677\ntcp://10.0.0.6:6677\n");
    EXPECT_EQ(buffer.get_length(), 40u);
}

TEST(FileBufferLoad, AFailedLoadDropsTheOldText) {
    TempFile file("a\n");
    CFileBuffer buffer;
    ASSERT_NE(buffer.load_a_file(file.path.c_str()), nullptr);
    EXPECT_EQ(buffer.load_a_file("/nonexistent/file"), nullptr);
    EXPECT_EQ(buffer.get_buffer(), nullptr);
    EXPECT_EQ(buffer.read_line(), nullptr);
}

TEST(FileBufferLoad, EmptyFileHasNoLines) {
    TempFile file("");
    CFileBuffer buffer;
    char* text = buffer.load_a_file(file.path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(buffer.read_line(), nullptr);
}

TEST(FileBufferReadLine, SplitsAtLineFeeds) {
    TempFile file("one\ntwo\n");
    CFileBuffer buffer;
    ASSERT_NE(buffer.load_a_file(file.path.c_str()), nullptr);
    EXPECT_STREQ(buffer.read_line(), "one");
    EXPECT_STREQ(buffer.read_line(), "two");
    EXPECT_EQ(buffer.read_line(), nullptr);
    EXPECT_EQ(buffer.read_line(), nullptr);
}

TEST(FileBufferReadLine, CarriageReturnLineFeedGivesAnEmptyLineBetween) {
    TempFile file("one\r\ntwo");
    CFileBuffer buffer;
    ASSERT_NE(buffer.load_a_file(file.path.c_str()), nullptr);
    EXPECT_STREQ(buffer.read_line(), "one");
    EXPECT_STREQ(buffer.read_line(), "");
    EXPECT_STREQ(buffer.read_line(), "two");
    EXPECT_EQ(buffer.read_line(), nullptr);
}

TEST(FileBufferReadLine, LastLineWithoutLineEnd) {
    TempFile file("only");
    CFileBuffer buffer;
    ASSERT_NE(buffer.load_a_file(file.path.c_str()), nullptr);
    EXPECT_STREQ(buffer.read_line(), "only");
    EXPECT_EQ(buffer.read_line(), nullptr);
}

TEST(FileBufferReadLine, LinesLiveInTheBuffer) {
    TempFile file("ab\ncd");
    CFileBuffer buffer;
    char* text = buffer.load_a_file(file.path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(buffer.read_line(), text);
    EXPECT_EQ(buffer.read_line(), text + 3);
    EXPECT_EQ(text[2], '\0');
}

TEST(FileBufferReadLine, NulInsideDoesNotEndTheFile) {
    TempFile file(std::string("ab\0cd\nef\n", 9));
    CFileBuffer buffer;
    ASSERT_NE(buffer.load_a_file(file.path.c_str()), nullptr);
    EXPECT_EQ(buffer.get_length(), 9u);
    EXPECT_STREQ(buffer.read_line(), "ab");
    EXPECT_STREQ(buffer.read_line(), "ef");
    EXPECT_EQ(buffer.read_line(), nullptr);
}

TEST(FileBufferReadLine, ReloadStartsAgain) {
    TempFile file("x\ny");
    CFileBuffer buffer;
    ASSERT_NE(buffer.load_a_file(file.path.c_str()), nullptr);
    EXPECT_STREQ(buffer.read_line(), "x");
    ASSERT_NE(buffer.load_a_file(file.path.c_str()), nullptr);
    EXPECT_STREQ(buffer.read_line(), "x");
    EXPECT_STREQ(buffer.read_line(), "y");
}
