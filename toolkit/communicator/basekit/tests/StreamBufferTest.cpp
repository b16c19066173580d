#include <basekit/StreamBuffer.h>

#include <gtest/gtest.h>

#include <string>

TEST(StreamBuffer, EmptyUntilSomethingIsAdded)
{
    CStreamBuffer buffer;
    EXPECT_EQ(buffer.get_buffer(), nullptr);
    buffer.add_to_buffer(nullptr);
    EXPECT_EQ(buffer.get_buffer(), nullptr);
    buffer.add_to_buffer("");
    ASSERT_NE(buffer.get_buffer(), nullptr);
    EXPECT_STREQ(buffer.get_buffer(), "");
}

TEST(StreamBuffer, AppendsCopies)
{
    CStreamBuffer buffer;
    char piece[] = "abc";
    buffer.add_to_buffer(piece);
    piece[0] = 'X';
    buffer.add_to_buffer(piece);
    buffer.add_to_buffer(nullptr);
    EXPECT_STREQ(buffer.get_buffer(), "abcXbc");
}

TEST(StreamBuffer, ResetEmpties)
{
    CStreamBuffer buffer("named");
    buffer.add_to_buffer("text");
    buffer.reset();
    EXPECT_EQ(buffer.get_buffer(), nullptr);
    buffer.add_to_buffer("again");
    EXPECT_STREQ(buffer.get_buffer(), "again");
    EXPECT_STREQ(buffer.get_name(), "named");
}

TEST(StreamBuffer, AppendingItsOwnText)
{
    CStreamBuffer buffer;
    buffer.add_to_buffer("ab");
    for (int i = 0; i < 10; ++i)
        buffer.add_to_buffer(buffer.get_buffer());
    EXPECT_EQ(std::string(buffer.get_buffer()).size(), 2u << 10);
}
