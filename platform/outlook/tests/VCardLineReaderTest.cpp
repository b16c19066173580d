#include <outlook/VCardLineReader.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using outlook::CVCardLineReader;

namespace {
using Lines = std::vector<std::pair<std::size_t, std::string>>;

Lines ReadAll(const std::string& text)
{
    CVCardLineReader reader(text);
    Lines lines;
    std::string line;
    std::size_t number = 0;
    while (reader.Next(line, number))
        lines.emplace_back(number, line);
    return lines;
}
} // namespace

TEST(VCardLineReader, EveryKindOfLineEnd)
{
    EXPECT_EQ((Lines{{1, "a"}, {2, "b"}, {3, "c"}, {4, ""}, {5, "d"}}), ReadAll("a\r\nb\nc\r\rd"));
    EXPECT_EQ((Lines{{1, "x"}}), ReadAll("\xEF\xBB\xBFx\r\n"));
    EXPECT_TRUE(ReadAll("").empty());
}

TEST(VCardLineReader, FoldedLinesAreJoined)
{
    EXPECT_EQ((Lines{{1, "NOTE:one two"}, {4, "FN:x"}}), ReadAll("NOTE:one\r\n  two\r\n\t\r\nFN:x\r\n"));
    // A blank first line has nothing to continue.
    EXPECT_EQ((Lines{{1, " lead"}, {2, "a"}}), ReadAll(" lead\na"));
}

TEST(VCardLineReader, QuotedPrintableSoftBreaksAreJoined)
{
    EXPECT_EQ((Lines{{1, "NOTE;ENCODING=QUOTED-PRINTABLE:abc=0D=0Adef"}, {3, "FN:x"}}),
              ReadAll("NOTE;ENCODING=QUOTED-PRINTABLE:abc=0D=0A=\ndef\nFN:x\n"));
    // Without quoted-printable a trailing '=' is just text.
    EXPECT_EQ((Lines{{1, "NOTE:abc="}, {2, "def"}}), ReadAll("NOTE:abc=\ndef"));
    // The end of the card is never swallowed.
    EXPECT_EQ((Lines{{1, "NOTE;QUOTED-PRINTABLE:abc="}, {2, "end:vcard\t"}}),
              ReadAll("NOTE;QUOTED-PRINTABLE:abc=\nend:vcard\t\n"));
    EXPECT_EQ((Lines{{1, "NOTE;QUOTED-PRINTABLE:abc="}, {2, "END:VCARD"}}),
              ReadAll("NOTE;QUOTED-PRINTABLE:abc=\nEND:VCARD"));
}

TEST(VCardLineReader, HeaderFoldedBeforeItsColonStillCounts)
{
    EXPECT_EQ((Lines{{1, "NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db"}}),
              ReadAll("NOTE;ENCODING=QUOTED-\r\n PRINTABLE:a=\r\n=3Db"));
}
