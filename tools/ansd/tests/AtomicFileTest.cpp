#include <ansd/AtomicFile.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/ansd-atomic-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
};

} // namespace

TEST_F(AtomicFileTest, ReplacesTheWholeContent)
{
    const std::string path = (dir / "f").string();
    std::string error;
    ASSERT_TRUE(CAtomicFile::Write(path, "a much longer old content\n", error)) << error;
    ASSERT_TRUE(CAtomicFile::Write(path, "new\n", error)) << error;
    EXPECT_EQ(Read(path), "new\n");
    EXPECT_FALSE(fs::exists(path + ".tmp"));
    ASSERT_TRUE(CAtomicFile::Write("relative-ansd-test-file", "x", error)) << error;
    EXPECT_EQ(Read("relative-ansd-test-file"), "x");
    fs::remove("relative-ansd-test-file");
}

TEST_F(AtomicFileTest, FailuresAreReportedAndLeaveNothingBehind)
{
    std::string error;
    EXPECT_FALSE(CAtomicFile::Write((dir / "missing" / "f").string(), "x", error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    // The target is a folder: the rename fails and the folder stays.
    fs::create_directory(dir / "folder");
    error.clear();
    EXPECT_FALSE(CAtomicFile::Write((dir / "folder").string(), "x", error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_FALSE(fs::exists(dir / "folder.tmp"));
}
