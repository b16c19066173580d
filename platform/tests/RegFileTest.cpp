#include <platform/RegFile.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string ParseError(const std::string& content)
{
    CRegFile file("HKEY_CURRENT_USER");
    std::string error;
    return file.Parse(content, error) ? std::string("parsed") : error;
}

TEST(RegFileTest, SerializedFileParsesBackToTheSameText)
{
    CRegFile file("HKEY_CURRENT_USER");
    file.SetValue("Software\\A", "Name", "va\\l\"ue");
    file.SetValue("Software\\A", "", "default");
    file.SetValue("", "AtRoot", "r");
    const std::string text = file.Serialize();
    EXPECT_EQ(text, "Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_CURRENT_USER\\Software]\n\n"
                    "[HKEY_CURRENT_USER\\Software\\A]\n"
                    "\"Name\"=\"va\\\\l\\\"ue\"\n"
                    "@=\"default\"\n\n"
                    "[HKEY_CURRENT_USER]\n"
                    "\"AtRoot\"=\"r\"\n");
    CRegFile again("HKEY_CURRENT_USER");
    std::string error;
    ASSERT_TRUE(again.Parse(text, error)) << error;
    EXPECT_EQ(again.Serialize(), text);
    ASSERT_NE(again.FindValue("software\\a", "name"), nullptr);
    EXPECT_EQ(again.FindValue("software\\a", "name")->text, "va\\l\"ue");
}

TEST(RegFileTest, ParentsOfAKeyExistWithoutTheirOwnSection)
{
    CRegFile file("HKEY_CURRENT_USER");
    std::string error;
    ASSERT_TRUE(file.Parse("REGEDIT4\n[HKEY_CURRENT_USER\\A\\B\\C]\n\"x\"=\"1\"\n", error)) << error;
    EXPECT_TRUE(file.HasKey("A"));
    EXPECT_TRUE(file.HasKey("a\\b"));
    EXPECT_FALSE(file.HasKey("A\\B\\C\\D"));
    EXPECT_FALSE(file.HasKey("A\\BB"));
    EXPECT_EQ(file.SubkeysOf("A"), std::vector<std::string>{"B"});
    EXPECT_TRUE(file.ValuesOf("A").empty());
    EXPECT_TRUE(file.DeleteKey("A"));
    EXPECT_FALSE(file.HasKey("A\\B\\C"));
}

TEST(RegFileTest, RepeatedSectionsAndValuesMergeWithTheLastValueWinning)
{
    CRegFile file("HKEY_CURRENT_USER");
    std::string error;
    ASSERT_TRUE(file.Parse("Windows Registry Editor Version 5.00\n"
                           "[HKEY_CURRENT_USER\\K]\n\"a\"=\"1\"\n"
                           "[HKEY_CURRENT_USER\\k]\n\"A\"=\"2\"\n\"b\"=\"3\"\n",
                           error))
        << error;
    ASSERT_EQ(file.ValuesOf("K").size(), 2u);
    EXPECT_EQ(file.FindValue("K", "a")->text, "2");
}

TEST(RegFileTest, WrongLinesAreNamed)
{
    EXPECT_EQ(ParseError(""), "parsed");
    EXPECT_EQ(ParseError("\n; only a comment\n"), "parsed");
    EXPECT_NE(
        ParseError("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n\"a\"\n").find("line 3"),
        std::string::npos);
    EXPECT_NE(ParseError("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n\"a\"=\"1\" x\n"),
              "parsed");
    EXPECT_NE(ParseError("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USERX]\n"), "parsed");
    EXPECT_NE(ParseError("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n\"a\"=hex(zz):00\n"),
              "parsed");
    EXPECT_NE(ParseError("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n\"a\"=hex:41,\n"),
              "parsed");
}

TEST(RegFileTest, NumbersOfEveryKindReadAsDecimalText)
{
    CRegFile file("HKEY_CURRENT_USER");
    std::string error;
    ASSERT_TRUE(file.Parse("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n"
                           "\"d\"=dword:ffffffff\n"
                           "\"h4\"=hex(4):02,01,00,00\n"
                           "\"q\"=hex(b):00,00,00,00,01,00,00,00\n"
                           "\"sz\"=hex(1):41,00,ac,20,42,00\n",
                           error))
        << error;
    EXPECT_EQ(file.FindValue("K", "d")->text, "4294967295");
    EXPECT_EQ(file.FindValue("K", "h4")->text, "258");
    EXPECT_EQ(file.FindValue("K", "q")->text, "4294967296");
    EXPECT_EQ(file.FindValue("K", "sz")->text, "A?B");
}

} // namespace
