#include <ansd/LineBuffer.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Next = CLineBuffer::Next;

// Feeds `input` in pieces of `step` bytes and collects the lines, with
// "<long>" for a too-long one (after which nothing more is read).
std::vector<std::string> Lines(const std::string& input, std::size_t step, std::size_t max = 8)
{
    CLineBuffer buffer(max);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < input.size(); i += step) {
        buffer.Append(input.data() + i, std::min(step, input.size() - i));
        std::string_view line;
        Next next;
        while ((next = buffer.Take(line)) == Next::Line)
            lines.emplace_back(line);
        if (next == Next::TooLong) {
            lines.emplace_back("<long>");
            return lines;
        }
    }
    return lines;
}

} // namespace

TEST(LineBuffer, SplitsAtLineFeedsWithOrWithoutCarriageReturn)
{
    const std::string input = "a\r\nbb\n\nccc\r\n\r\nd\re\n";
    const std::vector<std::string> expected = {"a", "bb", "", "ccc", "", "d\re"};
    for (std::size_t step : {1u, 2u, 3u, 7u, 100u})
        EXPECT_EQ(Lines(input, step), expected) << step;
}

TEST(LineBuffer, LimitCountsTheLineWithoutItsEnd)
{
    EXPECT_EQ(Lines("12345678\r\n", 1), std::vector<std::string>{"12345678"});
    EXPECT_EQ(Lines("12345678\n", 3), std::vector<std::string>{"12345678"});
    EXPECT_EQ(Lines("ok\n123456789\nx\n", 1), (std::vector<std::string>{"ok", "<long>"}));
    EXPECT_EQ(Lines("ok\n123456789\nx\n", 100), (std::vector<std::string>{"ok", "<long>"}));
    // Known too long before any line end arrives.
    EXPECT_EQ(Lines("1234567890", 10), std::vector<std::string>{"<long>"});
    EXPECT_EQ(Lines("123456789", 9), std::vector<std::string>{});
}

TEST(LineBuffer, RestIsTheLastUnfinishedLine)
{
    CLineBuffer buffer(8);
    std::string_view line;
    EXPECT_EQ(buffer.TakeRest(line), Next::NeedMore);
    buffer.Append("a\nlast\r", 7);
    EXPECT_EQ(buffer.Take(line), Next::Line);
    EXPECT_EQ(buffer.Take(line), Next::NeedMore);
    EXPECT_TRUE(buffer.HasPartial());
    ASSERT_EQ(buffer.TakeRest(line), Next::Line);
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(buffer.HasPartial());
    EXPECT_EQ(buffer.TakeRest(line), Next::NeedMore);
    buffer.Append("123456789", 9);
    EXPECT_EQ(buffer.TakeRest(line), Next::TooLong);
}
