#include <platform/FileStamp.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A stamp settles once a later write in place must show another time: soon
// where times keep fractions of a second, after the next second but one
// where they are whole seconds.
TEST(FileStamp, SettlesByTheFileSystemsTick)
{
    char pattern[] = "/tmp/filestamp-XXXXXX";
    const int fd = ::mkstemp(pattern);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const std::string path = pattern;
    const auto modifiedAgo = [&](long long ms, bool wholeSeconds) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        long long at = static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000 - ms;
        timespec times[2] = {};
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(at / 1000);
        times[1].tv_nsec = wholeSeconds ? 0 : static_cast<long>(at % 1000) * 1000000 + 1;
        EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        return CFileStamp::Of(path);
    };
    const struct {
        long long ms;
        bool wholeSeconds;
        bool settled;
    } cases[] = {
        {0, false, false},  {CFileStamp::SettleFineMs + 500, false, true},
        {500, true, false}, {1000, true, false},
        {3000, true, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(modifiedAgo(c.ms, c.wholeSeconds).IsSettled(), c.settled)
            << c.ms << " ms, whole " << c.wholeSeconds;
    const CFileStamp before = CFileStamp::Of(path);
    EXPECT_EQ(before, CFileStamp::Of(path));
    modifiedAgo(0, false);
    EXPECT_NE(before, CFileStamp::Of(path));
    ::unlink(path.c_str());
    EXPECT_FALSE(CFileStamp::Of(path).Exists());
}

} // namespace
