#include <ansd/StateFile.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class StateFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/ansd-state-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        path = (dir / "state.txt").string();
    }
    void TearDown() override { fs::remove_all(dir); }

    static std::string Read(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

    fs::path dir;
    std::string path;
    std::int64_t now = 2000;
    CAgentRegistry::Clock clock = [this] { return now; };
};

} // namespace

TEST_F(StateFileTest, SaveAndLoadKeepEntriesAndOwners)
{
    CAgentRegistry saved(100, 10, clock);
    saved.Register("b", "tcp://h:2", "10.0.0.2");
    saved.Register("a", "tcp://h:1", "10.0.0.1");
    CStateFile file(path);
    std::string error;
    ASSERT_TRUE(file.Save(saved, error)) << error;
    EXPECT_EQ(Read(path), "ansd-state 1\na tcp://h:1 10.0.0.1 2000\nb tcp://h:2 10.0.0.2 2000\n");
    EXPECT_FALSE(fs::exists(path + ".tmp"));

    now += 50;
    CAgentRegistry loaded(100, 10, clock);
    CStateFile reader(path);
    ASSERT_TRUE(reader.Load(loaded, error)) << error;
    EXPECT_EQ(CStateFile::Format(loaded), CStateFile::Format(saved));
    EXPECT_EQ(loaded.Register("a", "tcp://h:9", "10.0.0.2"), CAgentRegistry::RegisterResult::InUse);
    // Still expires on the original schedule.
    now += 50;
    EXPECT_EQ(loaded.Lookup("a"), nullptr);
}

// Keys and their newest signatures survive a restart; a registry without
// keys is written as older servers read it.
TEST_F(StateFileTest, KeysAreKeptAcrossARestart)
{
    const std::string key = "ed25519:MCowBQYDK2VwAyEA" + std::string(43, 'A') + "=";
    CAgentRegistry saved(100, 10, clock);
    saved.Register("a", "tcp://h:1", "10.0.0.1", {key, 1990});
    saved.Register("b", "tcp://h:2", "10.0.0.2");
    CStateFile file(path);
    std::string error;
    ASSERT_TRUE(file.Save(saved, error)) << error;
    EXPECT_EQ(Read(path),
              "ansd-state 2\na tcp://h:1 10.0.0.1 2000 " + key + " 1990\nb tcp://h:2 10.0.0.2 2000 - 0\n");
    CAgentRegistry loaded(100, 10, clock);
    ASSERT_TRUE(CStateFile(path).Load(loaded, error)) << error;
    EXPECT_EQ(CStateFile::Format(loaded), CStateFile::Format(saved));
    EXPECT_EQ(loaded.Register("a", "tcp://h:3", "10.0.0.1"), CAgentRegistry::RegisterResult::HeldByKey);
    EXPECT_EQ(loaded.Register("a", "tcp://h:3", "10.0.0.1", {key, 1990}),
              CAgentRegistry::RegisterResult::Replayed);
}

TEST_F(StateFileTest, SavesOnlyWhenChanged)
{
    CAgentRegistry registry(100, 10, clock);
    CStateFile file(path);
    std::string error;
    ASSERT_TRUE(file.Load(registry, error)) << error;
    EXPECT_TRUE(file.SaveIfChanged(registry, error));
    EXPECT_FALSE(fs::exists(path)) << "nothing changed since the (missing) file was read";
    registry.Register("a", "tcp://h:1", "10.0.0.1");
    EXPECT_TRUE(file.SaveIfChanged(registry, error));
    EXPECT_TRUE(fs::exists(path));
    fs::remove(path);
    EXPECT_TRUE(file.SaveIfChanged(registry, error));
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(StateFileTest, MalformedFilesAreRefusedAndLeftAlone)
{
    const std::string bad[] = {
        "",
        "ansd-state 3\n",
        "a tcp://h:1 10.0.0.1 2000\n",
        "ansd-state 1\na tcp://h:1 10.0.0.1\n",
        "ansd-state 1\na tcp://h:1 10.0.0.1 2000 x\n",
        "ansd-state 1\na  tcp://h:1 10.0.0.1 2000\n",
        "ansd-state 1\na tcp://h:0 10.0.0.1 2000\n",
        "ansd-state 1\nnull tcp://h:1 10.0.0.1 2000\n",
        "ansd-state 1\na tcp://h:1 host 2000\n",
        "ansd-state 1\na tcp://h:1 10.0.0.1 -5\n",
        "ansd-state 1\na tcp://h:1 10.0.0.1 99999999999999999999\n",
        "ansd-state 1\na tcp://h:1 10.0.0.1 2000\r\n",
        "ansd-state 1\na tcp://h:1 10.0.0.1 2000\na tcp://h:2 10.0.0.1 2000\n",
        "ansd-state 1\na tcp://h:1 10.0.0.1 2000\n\n",
        "ansd-state 2\na tcp://h:1 10.0.0.1 2000\n",
        "ansd-state 2\na tcp://h:1 10.0.0.1 2000 ed25519:@@ 1\n",
        "ansd-state 2\na tcp://h:1 10.0.0.1 2000 - x\n",
    };
    for (const std::string& text : bad) {
        Write(text);
        CAgentRegistry registry(100, 10, clock);
        CStateFile file(path);
        std::string error;
        EXPECT_FALSE(file.Load(registry, error)) << text;
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_EQ(Read(path), text);
    }
}

TEST_F(StateFileTest, LoadDropsExpiredEntries)
{
    Write("ansd-state 1\nold tcp://h:1 10.0.0.1 1000\nnew tcp://h:2 10.0.0.1 1990\n");
    CAgentRegistry registry(100, 10, clock);
    CStateFile file(path);
    std::string error;
    ASSERT_TRUE(file.Load(registry, error)) << error;
    EXPECT_EQ(registry.Size(), 1u);
    ASSERT_NE(registry.Lookup("new"), nullptr);
}
