#include <vespera/core/KqmlFields.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A content reads the same with or without its outer parentheses; missing
// keywords and texts that do not parse give nothing.
TEST(KqmlFields, ReadsWrappedAndBareContentsAlike)
{
    for (const char* text :
         {"(tell :subject (Plan) :negID N1 :body ())", "tell :subject (Plan) :negID N1 :body ()",
          "  (tell :subject (Plan) :negID N1 :body ())"}) {
        CKqmlFields fields(text);
        ASSERT_TRUE(fields.IsParsed()) << text;
        EXPECT_EQ(fields.Raw("subject"), std::optional<std::string>("(Plan)")) << text;
        EXPECT_EQ(fields.Value("subject"), "Plan") << text;
        EXPECT_EQ(fields.Value("negID"), "N1") << text;
        EXPECT_TRUE(fields.Has("body")) << text;
        EXPECT_EQ(fields.Value("body"), "") << text;
        EXPECT_FALSE(fields.Has("location")) << text;
        EXPECT_EQ(fields.Raw("location"), std::nullopt) << text;
        std::string kept = "untouched";
        EXPECT_FALSE(fields.Read("location", kept));
        EXPECT_EQ(kept, "untouched");
        EXPECT_EQ(fields.Tokens(), (std::vector<std::string>{"tell", ":subject", ":negID", ":body"})) << text;
    }
    CKqmlFields broken("tell :subject (unclosed");
    EXPECT_FALSE(broken.IsParsed());
    EXPECT_FALSE(broken.Has("subject"));
    EXPECT_TRUE(broken.Tokens().empty());
    EXPECT_EQ(CKqmlFields::WithoutQuotes("\"http://x\""), "http://x");
}
