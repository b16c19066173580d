#include <platform/AtomicFile.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

CAtomicFile::StageHook& Hook()
{
    static CAtomicFile::StageHook hook;
    return hook;
}

void RunHook(CAtomicFile::Stage stage)
{
    if (Hook())
        Hook()(stage);
}

std::string ErrnoText(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    int Release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool ReadAll(int fd, std::string& content, std::size_t maxSize)
{
    // Room for the whole file at once: growing a string of megabytes chunk
    // by chunk copies it again at every step.
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_size > 0)
        content.reserve(std::min(static_cast<std::size_t>(info.st_size), maxSize));
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (content.size() + static_cast<std::size_t>(got) > maxSize) {
            errno = EFBIG;
            return false;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
}

bool WriteAll(int fd, const std::string& content)
{
    std::size_t done = 0;
    while (done < content.size()) {
        ssize_t put = ::write(fd, content.data() + done, content.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

void SyncDirectory(const std::string& directory)
{
    CFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0)
        ::fsync(fd.Get());
}

} // namespace

CAtomicFile::CLock::CLock(CLock&& other) noexcept : m_fd(other.m_fd)
{
    other.m_fd = -1;
}

CAtomicFile::CLock::~CLock()
{
    // Closing the descriptor releases the flock.
    if (m_fd >= 0)
        ::close(m_fd);
}

CAtomicFile::CAtomicFile(std::string path, std::size_t maxSize) : m_path(std::move(path)), m_maxSize(maxSize)
{
}

std::string CAtomicFile::GetDirectory() const
{
    const std::size_t slash = m_path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : m_path.substr(0, slash);
}

CAtomicFile::CLock CAtomicFile::Lock(std::string& error) const
{
    const std::string lockPath = GetLockPath();
    CFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.Get() < 0) {
        error = ErrnoText("cannot lock", lockPath);
        return CLock(-1);
    }
    while (::flock(fd.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            error = ErrnoText("cannot lock", lockPath);
            return CLock(-1);
        }
    }
    return CLock(fd.Release());
}

bool CAtomicFile::ReadLocked(std::string& content, bool& exists, std::string& error) const
{
    content.clear();
    exists = false;
    CFd fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT)
            return true;
        error = ErrnoText("cannot open", m_path);
        return false;
    }
    if (!ReadAll(fd.Get(), content, m_maxSize)) {
        error = ErrnoText("cannot read", m_path);
        content.clear();
        return false;
    }
    exists = true;
    return true;
}

bool CAtomicFile::WriteTemporary(const std::string& temporary, const std::string& content,
                                 std::string& error) const
{
    // A temporary left by a writer that died is simply truncated: the lock
    // makes this process its only user now.
    CFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.Get() < 0) {
        error = ErrnoText("cannot create", temporary);
        return false;
    }
    // The replacement keeps the permissions the user gave the file; a new
    // file is private to the user.
    struct stat current {};
    if (::stat(m_path.c_str(), &current) == 0 && ::fchmod(fd.Get(), current.st_mode & 07777) != 0) {
        error = ErrnoText("cannot set the permissions of", temporary);
        return false;
    }
    const bool written = WriteAll(fd.Get(), content) && ::fsync(fd.Get()) == 0;
    const int closed = ::close(fd.Release());
    if (!written || closed != 0) {
        error = ErrnoText("cannot write", temporary);
        return false;
    }
    return true;
}

bool CAtomicFile::ReplaceLocked(const std::string& content, std::string& error) const
{
    // A file the reader would refuse is never written: the old one stays.
    if (content.size() > m_maxSize) {
        error = m_path + " is left as it is: the new content (" + std::to_string(content.size() >> 20) +
                " MiB) is larger than the " + std::to_string(m_maxSize >> 20) + " MiB it may be read back at";
        return false;
    }
    const std::string temporary = GetTemporaryPath();
    if (!WriteTemporary(temporary, content, error)) {
        ::unlink(temporary.c_str());
        return false;
    }
    RunHook(Stage::TemporaryWritten);
    if (::rename(temporary.c_str(), m_path.c_str()) != 0) {
        error = ErrnoText("cannot write", m_path);
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectory(GetDirectory());
    RunHook(Stage::Renamed);
    return true;
}

bool CAtomicFile::Read(std::string& content, bool& exists, std::string& error) const
{
    std::string lockError;
    const CLock lock = Lock(lockError);
    if (!lock.IsHeld() && errno == ENOENT) {
        // No directory, so no file either.
        content.clear();
        exists = false;
        return true;
    }
    // Without the lock (a directory we may not write to) the read still sees
    // one whole version, since writers only ever rename complete files in.
    return ReadLocked(content, exists, error);
}

bool CAtomicFile::Replace(const std::string& content, std::string& error) const
{
    const CLock lock = Lock(error);
    if (!lock.IsHeld())
        return false;
    return ReplaceLocked(content, error);
}

bool CAtomicFile::MakeDirectories(const std::string& directory, std::string& error)
{
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = directory.find('/', pos + 1);
        const std::string part = directory.substr(0, pos);
        if (part.empty())
            continue;
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = ErrnoText("cannot create the directory", directory);
            return false;
        }
    }
    struct stat info;
    if (::stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        error = ErrnoText("cannot create the directory", directory);
        return false;
    }
    return true;
}

void CAtomicFile::SetStageHook(StageHook hook)
{
    Hook() = std::move(hook);
}

bool CAtomicFile::RemoveLeftoverTemporary(std::string& error) const
{
    const std::string temporary = GetTemporaryPath();
    struct stat info;
    if (::lstat(temporary.c_str(), &info) != 0 && errno == ENOENT)
        return true;
    const CLock lock = Lock(error);
    if (!lock.IsHeld())
        return false;
    if (::lstat(temporary.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return true;
        error = ErrnoText("cannot look at", temporary);
        return false;
    }
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        error = temporary + " is not a temporary file of this user's; left as it is";
        return false;
    }
    if (::unlink(temporary.c_str()) != 0) {
        error = ErrnoText("cannot remove", temporary);
        return false;
    }
    return true;
}
