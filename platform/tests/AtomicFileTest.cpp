#include <platform/AtomicFile.h>

#include <gtest/gtest.h>

#include <fstream>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/atomicfile-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        path = dir + "/data.txt";
    }
    void TearDown() override
    {
        CAtomicFile::SetStageHook(nullptr);
        const std::string command = "rm -rf '" + dir + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    std::string ReadBack(bool* exists = nullptr) const
    {
        std::string content, error;
        bool found = false;
        EXPECT_TRUE(CAtomicFile(path).Read(content, found, error)) << error;
        if (exists)
            *exists = found;
        return content;
    }

    static bool Exists(const std::string& file)
    {
        struct stat info;
        return ::stat(file.c_str(), &info) == 0;
    }

    std::string dir;
    std::string path;
};

int WaitForExit(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

TEST_F(AtomicFileTest, ReplaceAndReadRoundTripAndMissingFiles)
{
    bool exists = true;
    EXPECT_EQ(ReadBack(&exists), "");
    EXPECT_FALSE(exists);

    std::string error;
    const CAtomicFile file(path);
    ASSERT_TRUE(file.Replace("first\n", error)) << error;
    EXPECT_EQ(ReadBack(&exists), "first\n");
    EXPECT_TRUE(exists);
    ASSERT_TRUE(file.Replace(std::string("second\0with NUL", 15), error)) << error;
    EXPECT_EQ(ReadBack(), std::string("second\0with NUL", 15));
    EXPECT_FALSE(Exists(path + ".tmp"));
    EXPECT_TRUE(Exists(file.GetLockPath()));
    EXPECT_EQ(file.GetDirectory(), dir);

    // The hook sees the temporary whole before the rename and the new
    // content in place after it.
    std::vector<std::string> seen;
    CAtomicFile::SetStageHook([&](CAtomicFile::Stage stage) {
        const std::string which = stage == CAtomicFile::Stage::TemporaryWritten ? path + ".tmp" : path;
        std::string content, hookError;
        bool found = false;
        CAtomicFile(which).ReadLocked(content, found, hookError);
        seen.push_back(content);
    });
    ASSERT_TRUE(file.Replace("third", error)) << error;
    CAtomicFile::SetStageHook(nullptr);
    EXPECT_EQ(seen, (std::vector<std::string>{"third", "third"}));
    EXPECT_EQ(ReadBack(), "third");

    // A directory that does not exist holds no file, and cannot be written.
    const CAtomicFile nowhere(dir + "/no/such/file");
    std::string content = "stale";
    exists = true;
    EXPECT_TRUE(nowhere.Read(content, exists, error));
    EXPECT_FALSE(exists);
    EXPECT_EQ(content, "");
    error.clear();
    EXPECT_FALSE(nowhere.Replace("x", error));
    EXPECT_NE(error.find("no/such/file.lock"), std::string::npos) << error;
}

// Every file of the user's (calendar, contacts, registry hives) goes
// through here, so a rewrite must keep what the user set on it.
TEST_F(AtomicFileTest, ARewriteKeepsThePermissionsAndANewFileIsPrivate)
{
    std::string error;
    const CAtomicFile file(path);
    ASSERT_TRUE(file.Replace("new", error)) << error;
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    for (const mode_t mode : {0644u, 0640u, 0604u}) {
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ASSERT_TRUE(file.Replace("again", error)) << error;
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode);
    }
}

TEST_F(AtomicFileTest, OversizedFilesAreRefusedAndDirectoriesAreMade)
{
    std::string error;
    ASSERT_TRUE(CAtomicFile(path).Replace(std::string(1000, 'x'), error)) << error;
    std::string content;
    bool exists = false;
    EXPECT_FALSE(CAtomicFile(path, 999).Read(content, exists, error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
    EXPECT_TRUE(content.empty());
    EXPECT_TRUE(CAtomicFile(path, 1000).Read(content, exists, error));
    EXPECT_EQ(content.size(), 1000u);
    // Nor is a file written that would be refused on reading it back.
    EXPECT_FALSE(CAtomicFile(path, 1000).Replace(std::string(1001, 'y'), error));
    EXPECT_NE(error.find("is left as it is"), std::string::npos) << error;
    EXPECT_EQ(ReadBack(), std::string(1000, 'x'));
    EXPECT_FALSE(Exists(path + ".tmp"));

    const std::string deep = dir + "/a/b/c";
    EXPECT_TRUE(CAtomicFile::MakeDirectories(deep, error)) << error;
    EXPECT_TRUE(CAtomicFile::MakeDirectories(deep, error)) << error;
    EXPECT_TRUE(Exists(deep));
    // A plain file stands where a directory should be.
    EXPECT_FALSE(CAtomicFile::MakeDirectories(path, error));
    EXPECT_FALSE(CAtomicFile::MakeDirectories(path + "/below", error));
}

TEST_F(AtomicFileTest, ARelativePathIsReplacedInTheWorkingDirectoryAndAFolderIsNeverReplaced)
{
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(dir.c_str()), 0);
    std::string error;
    const bool replaced = CAtomicFile("relative.txt").Replace("x", error);
    ASSERT_EQ(::chdir(previous), 0);
    ASSERT_TRUE(replaced) << error;
    path = dir + "/relative.txt";
    EXPECT_EQ(ReadBack(), "x");

    const std::string folder = dir + "/folder";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    error.clear();
    EXPECT_FALSE(CAtomicFile(folder).Replace("x", error));
    EXPECT_FALSE(error.empty());
    struct stat info;
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_FALSE(Exists(folder + ".tmp"));
}

TEST_F(AtomicFileTest, TheLockExcludesOtherHoldersUntilReleased)
{
    std::string error;
    const CAtomicFile file(path);
    const int other = ::open(file.GetLockPath().c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(other, 0);
    {
        const CAtomicFile::CLock lock = file.Lock(error);
        ASSERT_TRUE(lock.IsHeld()) << error;
        EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
        EXPECT_EQ(errno, EWOULDBLOCK);
    }
    EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
}

TEST_F(AtomicFileTest, WritersInTwoProcessesNeverLoseAnUpdate)
{
    std::string error;
    ASSERT_TRUE(CAtomicFile(path).Replace("0", error));
    const int rounds = 40;
    pid_t children[2];
    for (pid_t& child : children) {
        child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const CAtomicFile file(path);
            for (int i = 0; i < rounds; ++i) {
                std::string childError, content;
                bool exists = false;
                const CAtomicFile::CLock lock = file.Lock(childError);
                if (!lock.IsHeld() || !file.ReadLocked(content, exists, childError) ||
                    !file.ReplaceLocked(std::to_string(std::atoi(content.c_str()) + 1), childError))
                    ::_exit(1);
            }
            ::_exit(0);
        }
    }
    for (pid_t child : children) {
        const int status = WaitForExit(child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(ReadBack(), std::to_string(2 * rounds));
}

TEST_F(AtomicFileTest, AWriterKilledBeforeTheRenameLeavesTheOldFileWhole)
{
    std::string error;
    const std::string before = "the previous content\n";
    ASSERT_TRUE(CAtomicFile(path).Replace(before, error));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        CAtomicFile::SetStageHook([&](CAtomicFile::Stage stage) {
            if (stage != CAtomicFile::Stage::TemporaryWritten)
                return;
            const char byte = 'w';
            if (::write(ready[1], &byte, 1) != 1)
                ::_exit(2);
            for (;;)
                ::pause();
        });
        std::string childError;
        CAtomicFile(path).Replace(std::string(100000, 'n'), childError);
        ::_exit(3);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    const int status = WaitForExit(child);
    ASSERT_TRUE(WIFSIGNALED(status));

    EXPECT_TRUE(Exists(path + ".tmp"));
    EXPECT_EQ(ReadBack(), before);
    // The dead writer's lock went with it and its leftover is overwritten.
    ASSERT_TRUE(CAtomicFile(path).Replace("after\n", error)) << error;
    EXPECT_EQ(ReadBack(), "after\n");
    EXPECT_FALSE(Exists(path + ".tmp"));
}

TEST_F(AtomicFileTest, ALeftoverTemporaryIsRemovedButNothingElseStandingInItsPlace)
{
    std::string error;
    const std::string temporary = path + ".tmp";
    EXPECT_TRUE(CAtomicFile(path).RemoveLeftoverTemporary(error)) << "nothing to remove";
    {
        std::ofstream(temporary) << "half a calendar";
    }
    EXPECT_TRUE(CAtomicFile(path).RemoveLeftoverTemporary(error)) << error;
    EXPECT_FALSE(Exists(temporary));
    const std::string target = dir + "/elsewhere";
    {
        std::ofstream(target) << "keep";
    }
    ASSERT_EQ(::symlink(target.c_str(), temporary.c_str()), 0);
    EXPECT_FALSE(CAtomicFile(path).RemoveLeftoverTemporary(error));
    EXPECT_TRUE(Exists(target));
    ASSERT_EQ(::mkdir((dir + "/d").c_str(), 0700), 0);
    ASSERT_EQ(::unlink(temporary.c_str()), 0);
    ASSERT_EQ(::rename((dir + "/d").c_str(), temporary.c_str()), 0);
    EXPECT_FALSE(CAtomicFile(path).RemoveLeftoverTemporary(error));
    EXPECT_TRUE(Exists(temporary));
}

TEST_F(AtomicFileTest, AWriterKilledMidWriteLeavesOneWholeVersion)
{
    std::string error;
    const std::string before = "old\n";
    ASSERT_TRUE(CAtomicFile(path).Replace(before, error));
    const std::string large(48u * 1024u * 1024u, 'L');
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::string childError;
        CAtomicFile(path).Replace(large, childError);
        ::_exit(0);
    }
    // Kill as soon as the temporary has some but not all of the bytes.
    const std::string temporary = path + ".tmp";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    struct stat info;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::stat(temporary.c_str(), &info) == 0 && info.st_size > 0)
            break;
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child)
            break;
    }
    ::kill(child, SIGKILL);
    WaitForExit(child);

    std::string content;
    bool exists = false;
    ASSERT_TRUE(CAtomicFile(path).Read(content, exists, error)) << error;
    EXPECT_TRUE(content == before || content == large) << content.size();
}

} // namespace
