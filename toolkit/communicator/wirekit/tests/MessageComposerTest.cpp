#include <wirekit/MessageComposer.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CMessageComposer::Head HeadOf(const char* performative)
{
    return {performative, "Bob", "Alice", nullptr, nullptr, nullptr, nullptr, nullptr};
}

TEST(MessageComposer, PiecesFollowTheHeadAndTheTextEndsTheMessage)
{
    std::string error;
    const std::vector<const char*> pieces = {"tell", "", ":content x"};
    const std::optional<std::string> text = CMessageComposer::compose(HeadOf("tell"), pieces, error);
    ASSERT_TRUE(text) << error;
    EXPECT_EQ(text->back(), '\x04');
    EXPECT_NE(text->find("(tell :receiver Bob :sender Alice :content ( tell :content x ))"),
              std::string::npos)
        << *text;
    EXPECT_EQ(CMessageComposer::without_end(*text), text->substr(0, text->size() - 1));
    EXPECT_EQ(CMessageComposer::without_end("no end"), "no end");
}

TEST(MessageComposer, TextsThatWouldBreakTheWireAreRefused)
{
    struct Case {
        const char* performative;
        const char* piece;
    };
    const Case cases[] = {{"tell", "cut\x04here"}, {"not a word", "x"}};
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(CMessageComposer::compose(HeadOf(c.performative), {c.piece}, error)) << c.performative;
        EXPECT_EQ(error, "<CCommunicator> Error formatting ACL string !!");
    }
}

} // namespace
