#include <platform/FileStamp.h>

#include <sys/stat.h>
#include <time.h>

CFileStamp CFileStamp::Of(const std::string& path)
{
    CFileStamp stamp;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return stamp;
    stamp.m_exists = true;
    stamp.m_device = static_cast<std::uint64_t>(info.st_dev);
    stamp.m_inode = static_cast<std::uint64_t>(info.st_ino);
    stamp.m_size = static_cast<std::int64_t>(info.st_size);
    stamp.m_seconds = static_cast<std::int64_t>(info.st_mtim.tv_sec);
    stamp.m_nanoseconds = info.st_mtim.tv_nsec;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (info.st_mtim.tv_nsec == 0) {
        stamp.m_settled = now.tv_sec - info.st_mtim.tv_sec > 1;
    } else {
        const long long ageMs = (static_cast<long long>(now.tv_sec) - info.st_mtim.tv_sec) * 1000 +
                                (now.tv_nsec - info.st_mtim.tv_nsec) / 1000000;
        stamp.m_settled = ageMs > SettleFineMs;
    }
    return stamp;
}

bool CFileStamp::operator==(const CFileStamp& other) const
{
    return m_exists == other.m_exists && m_device == other.m_device && m_inode == other.m_inode &&
           m_size == other.m_size && m_seconds == other.m_seconds && m_nanoseconds == other.m_nanoseconds;
}
