#include <platform/Registry.h>

#include <platform/RegFile.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string Key = "Software\\ORVANTE\\CalendarAgent";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/registry-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ::setenv("ORVANTE_REGISTRY_DIR", dir.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("ORVANTE_REGISTRY_DIR");
        fs::remove_all(dir);
    }

    std::string HivePath() const { return dir + "/HKEY_CURRENT_USER.reg"; }

    void WriteHive(const std::string& content) const
    {
        std::ofstream(HivePath(), std::ios::binary) << content;
    }

    std::string ReadHive() const
    {
        std::ifstream in(HivePath(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string Read(const CRegistry& registry, const std::string& name, const std::string& key = Key) const
    {
        std::string value = "<unread>";
        registry.ReadValue(key, name, value);
        return value;
    }

    std::string dir;
};

TEST_F(RegistryTest, WrittenValueReadsBackAndLandsInTheEnvironmentsDirectory)
{
    CRegistry registry;
    EXPECT_EQ(registry.GetDirectory(), dir);
    ASSERT_EQ(registry.WriteValue(Key, "Email", "someone@example.org"), CRegistry::Ok);
    EXPECT_EQ(Read(registry, "Email"), "someone@example.org");
    EXPECT_EQ(ReadHive(), "Windows Registry Editor Version 5.00\n\n"
                          "[HKEY_CURRENT_USER\\Software]\n\n"
                          "[HKEY_CURRENT_USER\\Software\\ORVANTE]\n\n"
                          "[HKEY_CURRENT_USER\\Software\\ORVANTE\\CalendarAgent]\n"
                          "\"Email\"=\"someone@example.org\"\n");
    ASSERT_EQ(registry.WriteValue(Key, "Email", "other@example.org"), CRegistry::Ok);
    EXPECT_EQ(Read(registry, "Email"), "other@example.org");
}

TEST_F(RegistryTest, DirectoryFallsBackToTheConfigurationHome)
{
    ::unsetenv("ORVANTE_REGISTRY_DIR");
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    std::string savedConfig = oldConfig ? oldConfig : "";
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    EXPECT_EQ(CRegistry::DefaultDirectory(), dir + "/config/orvante/registry");
    CRegistry registry(CRegistry::ClassesRoot);
    EXPECT_EQ(registry.WriteValue("http\\shell", "", "x"), CRegistry::Ok);
    EXPECT_TRUE(fs::exists(dir + "/config/orvante/registry/HKEY_CLASSES_ROOT.reg"));
    ::unsetenv("XDG_CONFIG_HOME");
    std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    EXPECT_EQ(CRegistry::DefaultDirectory(), home + "/.config/orvante/registry");
    if (oldConfig)
        ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
}

TEST_F(RegistryTest, HivesAreSeparateFiles)
{
    CRegistry user;
    CRegistry classes(CRegistry::ClassesRoot);
    ASSERT_EQ(user.WriteValue(Key, "A", "user"), CRegistry::Ok);
    ASSERT_EQ(classes.WriteValue(Key, "A", "classes"), CRegistry::Ok);
    EXPECT_EQ(Read(user, "A"), "user");
    EXPECT_EQ(Read(classes, "A"), "classes");
    EXPECT_TRUE(fs::exists(dir + "/HKEY_CLASSES_ROOT.reg"));
}

TEST_F(RegistryTest, MissingKeyOrValueFailsAndLeavesTheOutputAlone)
{
    CRegistry registry;
    std::string value = "kept";
    EXPECT_EQ(registry.ReadValue(Key, "Email", value), CRegistry::NotFound);
    ASSERT_EQ(registry.WriteValue(Key, "Email", "x"), CRegistry::Ok);
    EXPECT_EQ(registry.ReadValue(Key, "Other", value), CRegistry::NotFound);
    EXPECT_EQ(registry.ReadValue("Software\\Nobody", "Email", value), CRegistry::NotFound);
    EXPECT_FALSE(registry.ErrorText().empty());
    EXPECT_EQ(value, "kept");
    EXPECT_FALSE(fs::exists(dir + "/HKEY_CLASSES_ROOT.reg"));
}

TEST_F(RegistryTest, ValueMustFitTheReadersBufferWithItsNul)
{
    CRegistry registry;
    ASSERT_EQ(registry.WriteValue(Key, "Fits", std::string(254, 'a')), CRegistry::Ok);
    ASSERT_EQ(registry.WriteValue(Key, "TooLong", std::string(255, 'b')), CRegistry::Ok);
    std::string value = "kept";
    EXPECT_EQ(registry.ReadValue(Key, "TooLong", value), CRegistry::TooLong);
    EXPECT_EQ(value, "kept");
    EXPECT_EQ(registry.ReadValue(Key, "Fits", value), CRegistry::Ok);
    EXPECT_EQ(value, std::string(254, 'a'));
    EXPECT_EQ(registry.ReadValue(Key, "Fits", value, 254), CRegistry::TooLong);
    EXPECT_EQ(registry.ReadValueUnbounded(Key, "TooLong", value), CRegistry::Ok);
    EXPECT_EQ(value.size(), 255u);
}

TEST_F(RegistryTest, EscapesRoundTripAndStayReadableInTheFile)
{
    CRegistry registry;
    const std::string tricky = "C:\\Program Files\\\"Agent\" \\\\ end\\";
    ASSERT_EQ(registry.WriteValue(Key, "Na\"me\\", tricky), CRegistry::Ok);
    EXPECT_EQ(Read(registry, "Na\"me\\"), tricky);
    EXPECT_NE(ReadHive().find("\"Na\\\"me\\\\\"=\"C:\\\\Program Files\\\\\\\"Agent\\\" \\\\\\\\ end\\\\\""),
              std::string::npos)
        << ReadHive();
}

TEST_F(RegistryTest, LineBreaksAndNulsAreRefusedOnWrite)
{
    CRegistry registry;
    EXPECT_EQ(registry.WriteValue(Key, "A", "two\nlines"), CRegistry::InvalidInput);
    EXPECT_EQ(registry.WriteValue(Key, "A", "cr\r"), CRegistry::InvalidInput);
    EXPECT_EQ(registry.WriteValue(Key, "A", std::string("nul\0x", 5)), CRegistry::InvalidInput);
    EXPECT_EQ(registry.WriteValue(Key, "A\n", "v"), CRegistry::InvalidInput);
    EXPECT_EQ(registry.WriteValue("Software\\\\Twice", "A", "v"), CRegistry::InvalidInput);
    EXPECT_EQ(registry.WriteValue("\\Software", "A", "v"), CRegistry::InvalidInput);
    EXPECT_EQ(registry.WriteValue("Soft\nware", "A", "v"), CRegistry::InvalidInput);
    EXPECT_FALSE(registry.ErrorText().empty());
    EXPECT_FALSE(fs::exists(HivePath()));
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirFirstSpelling)
{
    CRegistry registry;
    ASSERT_EQ(registry.WriteValue(Key, "AgentName", "one"), CRegistry::Ok);
    ASSERT_EQ(registry.WriteValue("SOFTWARE\\orvante\\calendaragent", "AGENTNAME", "two"), CRegistry::Ok);
    EXPECT_EQ(Read(registry, "agentname", "software\\Orvante\\CALENDARAGENT"), "two");
    std::vector<CRegistry::NamedValue> values;
    ASSERT_EQ(registry.ListValues(Key, values), CRegistry::Ok);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0], CRegistry::NamedValue("AgentName", "two"));
    EXPECT_NE(ReadHive().find("[HKEY_CURRENT_USER\\Software\\ORVANTE\\CalendarAgent]"), std::string::npos);
}

TEST_F(RegistryTest, DeleteValueAndKeyWithItsSubkeysOnly)
{
    CRegistry registry;
    ASSERT_EQ(registry.WriteValue(Key, "A", "1"), CRegistry::Ok);
    ASSERT_EQ(registry.WriteValue(Key + "\\TConsts\\TimeConstraint0", "Days", "62"), CRegistry::Ok);
    ASSERT_EQ(registry.WriteValue(Key + "\\TConstsOther", "B", "2"), CRegistry::Ok);

    EXPECT_EQ(registry.DeleteValue(Key, "a"), CRegistry::Ok);
    EXPECT_EQ(registry.DeleteValue(Key, "A"), CRegistry::NotFound);
    EXPECT_TRUE(registry.KeyExists(Key));

    EXPECT_EQ(registry.DeleteKey(Key + "\\tconsts"), CRegistry::Ok);
    EXPECT_FALSE(registry.KeyExists(Key + "\\TConsts\\TimeConstraint0"));
    EXPECT_FALSE(registry.KeyExists(Key + "\\TConsts"));
    EXPECT_EQ(Read(registry, "B", Key + "\\TConstsOther"), "2");
    EXPECT_EQ(registry.DeleteKey(Key + "\\TConsts"), CRegistry::NotFound);
    EXPECT_EQ(registry.DeleteKey(""), CRegistry::InvalidInput);
}

TEST_F(RegistryTest, ListsValuesAndDirectSubkeysInFileOrder)
{
    CRegistry registry;
    ASSERT_EQ(registry.WriteValue(Key, "Z", "last"), CRegistry::Ok);
    ASSERT_EQ(registry.WriteValue(Key, "A", "first"), CRegistry::Ok);
    ASSERT_EQ(registry.WriteValue(Key + "\\TConsts\\TimeConstraint1", "Days", "1"), CRegistry::Ok);
    ASSERT_EQ(registry.WriteValue(Key + "\\TConsts\\TimeConstraint0", "Days", "2"), CRegistry::Ok);
    ASSERT_EQ(registry.CreateKey(Key + "\\Empty"), CRegistry::Ok);

    std::vector<CRegistry::NamedValue> values;
    ASSERT_EQ(registry.ListValues(Key, values), CRegistry::Ok);
    EXPECT_EQ(values, (std::vector<CRegistry::NamedValue>{{"Z", "last"}, {"A", "first"}}));

    std::vector<std::string> subkeys;
    ASSERT_EQ(registry.ListSubkeys(Key, subkeys), CRegistry::Ok);
    EXPECT_EQ(subkeys, (std::vector<std::string>{"TConsts", "Empty"}));
    ASSERT_EQ(registry.ListSubkeys(Key + "\\TConsts", subkeys), CRegistry::Ok);
    EXPECT_EQ(subkeys, (std::vector<std::string>{"TimeConstraint1", "TimeConstraint0"}));
    ASSERT_EQ(registry.ListSubkeys("", subkeys), CRegistry::Ok);
    EXPECT_EQ(subkeys, std::vector<std::string>{"Software"});
    EXPECT_EQ(registry.ListSubkeys("Software\\Nobody", subkeys), CRegistry::NotFound);
    EXPECT_EQ(registry.ListValues("Software\\Nobody", values), CRegistry::NotFound);
}

TEST_F(RegistryTest, HandWrittenFileIsReadWithAnyTypeAsText)
{
    WriteHive("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
              "\r\n"
              "; written by hand\r\n"
              "[HKEY_CURRENT_USER\\Software\\ORVANTE\\CalendarAgent]\r\n"
              "@=\"the default\"\r\n"
              "\"MeetingSchedulingType\"=dword:00000002\r\n"
              "\"Big\"=DWORD:0000001a\r\n"
              "  \"Spaced\" = \"with blanks\"  \r\n"
              "\"Wide\"=hex(2):48,00,69,00,00,00\r\n"
              "\"Bytes\"=hex:41,42,\\\r\n"
              "  43,00,44\r\n");
    CRegistry registry;
    EXPECT_EQ(Read(registry, ""), "the default");
    EXPECT_EQ(Read(registry, "MeetingSchedulingType"), "2");
    EXPECT_EQ(Read(registry, "Big"), "26");
    EXPECT_EQ(Read(registry, "Spaced"), "with blanks");
    EXPECT_EQ(Read(registry, "Wide"), "Hi");
    EXPECT_EQ(Read(registry, "Bytes"), "ABC");
    EXPECT_TRUE(registry.KeyExists("Software\\ORVANTE"));

    // A change elsewhere keeps every other line's type as written.
    ASSERT_EQ(registry.WriteValue(Key, "Email", "e"), CRegistry::Ok);
    EXPECT_NE(ReadHive().find("\"MeetingSchedulingType\"=dword:00000002\n"), std::string::npos);
    EXPECT_EQ(Read(registry, "Bytes"), "ABC");
}

TEST_F(RegistryTest, BrokenHiveIsReportedAndNeverOverwritten)
{
    const std::vector<std::string> broken = {
        "not a registry file\n",
        "Windows Registry Editor Version 5.00\n\"A\"=\"before any key\"\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CLASSES_ROOT\\x]\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\x]\n\"A\"=\"open\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\x]\n\"A\"=\"bad \\n escape\"\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\x\n",
        "Windows Registry Editor Version 5.00\n[-HKEY_CURRENT_USER\\x]\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\x]\n\"A\"=-\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\x]\n\"A\"=dword:123456789\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\x]\n\"A\"=hex:4g\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\x\\\\y]\n",
        std::string("\xFF\xFEW\0i\0", 6),
    };
    for (const std::string& content : broken) {
        WriteHive(content);
        CRegistry registry;
        EXPECT_FALSE(registry.CheckHive()) << content;
        EXPECT_NE(registry.ErrorText().find(HivePath()), std::string::npos) << registry.ErrorText();
        std::string value;
        EXPECT_EQ(registry.ReadValue("x", "A", value), CRegistry::HiveBroken) << content;
        EXPECT_EQ(registry.WriteValue("x", "A", "v"), CRegistry::HiveBroken) << content;
        EXPECT_EQ(registry.DeleteKey("x"), CRegistry::HiveBroken) << content;
        EXPECT_EQ(ReadHive(), content);
    }
}

TEST_F(RegistryTest, BrokenLineIsNamedInTheError)
{
    WriteHive("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\x]\nrubbish\n");
    CRegistry registry;
    EXPECT_FALSE(registry.CheckHive());
    EXPECT_NE(registry.ErrorText().find("line 4"), std::string::npos) << registry.ErrorText();
}

TEST_F(RegistryTest, EmptyOrMissingFileIsAnEmptyHive)
{
    CRegistry registry;
    EXPECT_TRUE(registry.CheckHive());
    WriteHive("");
    EXPECT_TRUE(registry.CheckHive());
    EXPECT_FALSE(registry.KeyExists(Key));
    EXPECT_TRUE(registry.KeyExists(""));
}

TEST_F(RegistryTest, BatchUpdateWritesAllOrNothing)
{
    CRegistry registry;
    ASSERT_EQ(registry.WriteValue(Key, "Kept", "1"), CRegistry::Ok);
    EXPECT_EQ(registry.Update([](CRegFile& file) {
        file.SetValue(Key, "Lost", "x");
        file.DeleteKey(Key);
        return CRegistry::NotFound;
    }),
              CRegistry::NotFound);
    EXPECT_EQ(Read(registry, "Kept"), "1");
    EXPECT_EQ(Read(registry, "Lost"), "<unread>");

    EXPECT_EQ(registry.Update([](CRegFile& file) {
        file.SetValue(Key + "\\A", "One", "1");
        file.SetValue(Key + "\\B", "Two", "2");
        return CRegistry::Ok;
    }),
              CRegistry::Ok);
    CRegFile snapshot("HKEY_CURRENT_USER");
    ASSERT_EQ(registry.Snapshot(snapshot), CRegistry::Ok);
    ASSERT_NE(snapshot.FindValue(Key + "\\B", "two"), nullptr);
    EXPECT_EQ(snapshot.FindValue(Key + "\\B", "two")->text, "2");
    EXPECT_EQ(snapshot.SubkeysOf(Key), (std::vector<std::string>{"A", "B"}));
}

TEST_F(RegistryTest, ReaderSeesAnotherProcesssLastWrite)
{
    CRegistry registry;
    ASSERT_EQ(registry.WriteValue(Key, "State", "before"), CRegistry::Ok);
    EXPECT_EQ(Read(registry, "State"), "before");
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CRegistry other;
        ::_exit(other.WriteValue(Key, "State", "after") == CRegistry::Ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(Read(registry, "State"), "after");
}

// Parsed hives are reused only while their file is unchanged: an edit in
// place by hand, even of the same length, and a file broken and mended
// again are all seen at the next read.
TEST_F(RegistryTest, ReadsFollowEveryVersionOfTheFile)
{
    CRegistry registry;
    ASSERT_EQ(registry.WriteValue(Key, "State", "one"), CRegistry::Ok);
    EXPECT_EQ(Read(registry, "State"), "one");
    const std::string path = registry.GetFilePath();
    const std::string versions[] = {"two", "six", "BROKEN", "ten"};
    for (const std::string& version : versions) {
        std::string text;
        {
            std::ifstream in(path);
            std::stringstream all;
            all << in.rdbuf();
            text = all.str();
        }
        const std::size_t at = text.find("\"State\"=");
        ASSERT_NE(at, std::string::npos);
        const std::string edited = version == "BROKEN"
                                       ? text + "nonsense\n"
                                       : text.substr(0, at) + "\"State\"=\"" + version + "\"\n";
        std::ofstream(path, std::ios::trunc) << edited;
        if (version == "BROKEN") {
            std::string value;
            EXPECT_EQ(registry.ReadValueUnbounded(Key, "State", value), CRegistry::HiveBroken);
            EXPECT_FALSE(registry.CheckHive());
        } else {
            EXPECT_EQ(Read(registry, "State"), version);
        }
    }
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int Writes = 200;
    auto writeMany = [](const std::string& prefix) {
        CRegistry registry;
        int failures = 0;
        for (int i = 0; i < Writes; ++i)
            failures +=
                registry.WriteValue(Key, prefix + std::to_string(i), std::to_string(i)) != CRegistry::Ok;
        return failures;
    };
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(writeMany("Child") == 0 ? 0 : 1);
    EXPECT_EQ(writeMany("Parent"), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    CRegistry registry;
    std::vector<CRegistry::NamedValue> values;
    ASSERT_EQ(registry.ListValues(Key, values), CRegistry::Ok);
    EXPECT_EQ(values.size(), 2u * Writes);
    for (int i = 0; i < Writes; ++i) {
        EXPECT_EQ(Read(registry, "Child" + std::to_string(i)), std::to_string(i));
        EXPECT_EQ(Read(registry, "Parent" + std::to_string(i)), std::to_string(i));
    }
    EXPECT_FALSE(fs::exists(HivePath() + ".tmp"));
}

} // namespace
