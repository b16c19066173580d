#include <platform/Registry.h>

#include <platform/RegFile.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A hive is a few kilobytes; anything this large is not one of ours.
constexpr off_t MaxHiveSize = 16 * 1024 * 1024;

std::string ErrnoText(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

std::string EnvOrEmpty(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

class CFd
{
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

bool ReadAll(int fd, std::string& content)
{
    char buffer[8192];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        content.append(buffer, static_cast<std::size_t>(got));
        if (content.size() > static_cast<std::size_t>(MaxHiveSize)) {
            errno = EFBIG;
            return false;
        }
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

bool MakeDirectories(const std::string& directory)
{
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = directory.find('/', pos + 1);
        std::string part = directory.substr(0, pos);
        if (part.empty())
            continue;
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

void SyncDirectory(const std::string& directory)
{
    CFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0)
        ::fsync(fd.Get());
}

// Holds an exclusive flock on the hive's lock file for its lifetime.
class CHiveLock
{
public:
    explicit CHiveLock(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600))
    {
        if (m_fd.Get() < 0)
            return;
        while (::flock(m_fd.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(m_fd.Release());
                return;
            }
        }
    }
    bool IsHeld() const { return m_fd.Get() >= 0; }

private:
    CFd m_fd;
};

} // namespace

CRegistry::CRegistry(Hive hive) : CRegistry(hive, DefaultDirectory()) {}

CRegistry::CRegistry(Hive hive, const std::string& directory) : m_hive(hive), m_directory(directory)
{
    while (m_directory.size() > 1 && m_directory.back() == '/')
        m_directory.pop_back();
}

const char* CRegistry::HiveName(Hive hive)
{
    return hive == ClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

std::string CRegistry::DefaultDirectory()
{
    std::string directory = EnvOrEmpty("ORVANTE_REGISTRY_DIR");
    if (!directory.empty())
        return directory;
    std::string config = EnvOrEmpty("XDG_CONFIG_HOME");
    if (config.empty())
        config = EnvOrEmpty("HOME") + "/.config";
    return config + "/orvante/registry";
}

std::string CRegistry::GetFilePath() const
{
    return m_directory + "/" + HiveName(m_hive) + ".reg";
}

CRegistry::Result CRegistry::Fail(Result result, const std::string& text) const
{
    m_error = text;
    return result;
}

CRegistry::Result CRegistry::Succeed() const
{
    m_error.clear();
    return Ok;
}

namespace {

// Reads and parses a hive file; a missing file is an empty hive.
CRegistry::Result LoadHive(const std::string& path, CRegFile& file, std::string& error)
{
    CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT)
            return CRegistry::Ok;
        error = ErrnoText("cannot open", path);
        return CRegistry::IoError;
    }
    std::string content;
    if (!ReadAll(fd.Get(), content)) {
        error = ErrnoText("cannot read", path);
        return CRegistry::IoError;
    }
    std::string parseError;
    if (!file.Parse(content, parseError)) {
        error = path + ": " + parseError + " (the file is left as it is until it is mended)";
        return CRegistry::HiveBroken;
    }
    return CRegistry::Ok;
}

bool ReplaceFile(const std::string& directory, const std::string& path, const std::string& content,
                 std::string& error)
{
    std::string temporary = path + ".tmp";
    CFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.Get() < 0) {
        error = ErrnoText("cannot create", temporary);
        return false;
    }
    bool written = WriteAll(fd.Get(), content) && ::fsync(fd.Get()) == 0;
    int closed = ::close(fd.Release());
    if (!written || closed != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = ErrnoText("cannot write", path);
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectory(directory);
    return true;
}

// Runs `change` on the current contents under the hive lock and writes the
// result back when the change succeeded.
CRegistry::Result UpdateHive(const std::string& directory, const std::string& path, const char* root,
                             const std::function<CRegistry::Result(CRegFile&)>& change, std::string& error)
{
    if (!MakeDirectories(directory)) {
        error = ErrnoText("cannot create the directory", directory);
        return CRegistry::IoError;
    }
    CHiveLock lock(path + ".lock");
    if (!lock.IsHeld()) {
        error = ErrnoText("cannot lock", path + ".lock");
        return CRegistry::IoError;
    }
    CRegFile file(root);
    CRegistry::Result result = LoadHive(path, file, error);
    if (result != CRegistry::Ok)
        return result;
    result = change(file);
    if (result != CRegistry::Ok)
        return result;
    return ReplaceFile(directory, path, file.Serialize(), error) ? CRegistry::Ok : CRegistry::IoError;
}

} // namespace

bool CRegistry::CheckHive() const
{
    CRegFile file(HiveName(m_hive));
    std::string error;
    if (LoadHive(GetFilePath(), file, error) != Ok) {
        Fail(HiveBroken, error);
        return false;
    }
    Succeed();
    return true;
}

CRegistry::Result CRegistry::ReadValue(const std::string& key, const std::string& name, std::string& value,
                                       std::size_t bufferSize) const
{
    std::string text;
    Result result = ReadValueUnbounded(key, name, text);
    if (result != Ok)
        return result;
    if (text.size() >= bufferSize)
        return Fail(TooLong, "the value " + name + " of " + key + " is longer than "
                                 + std::to_string(bufferSize == 0 ? 0 : bufferSize - 1) + " bytes");
    value = text;
    return Ok;
}

CRegistry::Result CRegistry::ReadValueUnbounded(const std::string& key, const std::string& name,
                                                std::string& value) const
{
    CRegFile file(HiveName(m_hive));
    std::string error;
    Result result = LoadHive(GetFilePath(), file, error);
    if (result != Ok)
        return Fail(result, error);
    if (!file.HasKey(key))
        return Fail(NotFound, std::string("no key ") + HiveName(m_hive) + "\\" + key);
    const CRegFile::Value* found = file.FindValue(key, name);
    if (found == nullptr)
        return Fail(NotFound, "no value " + name + " in " + key);
    value = found->text;
    return Succeed();
}

CRegistry::Result CRegistry::WriteValue(const std::string& key, const std::string& name,
                                        const std::string& value)
{
    if (!CRegFile::IsValidKeyPath(key))
        return Fail(InvalidInput, "not a key name: " + key);
    if (!CRegFile::IsLineSafe(name) || !CRegFile::IsLineSafe(value))
        return Fail(InvalidInput, "a value name or value may not hold a line break or a NUL");
    std::string error;
    Result result = UpdateHive(m_directory, GetFilePath(), HiveName(m_hive),
                               [&](CRegFile& file) {
                                   file.SetValue(key, name, value);
                                   return Ok;
                               },
                               error);
    return result == Ok ? Succeed() : Fail(result, error);
}

CRegistry::Result CRegistry::CreateKey(const std::string& key)
{
    if (!CRegFile::IsValidKeyPath(key))
        return Fail(InvalidInput, "not a key name: " + key);
    std::string error;
    Result result = UpdateHive(m_directory, GetFilePath(), HiveName(m_hive),
                               [&](CRegFile& file) {
                                   file.CreateKey(key);
                                   return Ok;
                               },
                               error);
    return result == Ok ? Succeed() : Fail(result, error);
}

CRegistry::Result CRegistry::DeleteValue(const std::string& key, const std::string& name)
{
    std::string error;
    Result result = UpdateHive(m_directory, GetFilePath(), HiveName(m_hive),
                               [&](CRegFile& file) {
                                   if (file.DeleteValue(key, name))
                                       return Ok;
                                   error = "no value " + name + " in " + key;
                                   return NotFound;
                               },
                               error);
    return result == Ok ? Succeed() : Fail(result, error);
}

CRegistry::Result CRegistry::DeleteKey(const std::string& key)
{
    if (key.empty())
        return Fail(InvalidInput, "the hive itself cannot be deleted");
    std::string error;
    Result result = UpdateHive(m_directory, GetFilePath(), HiveName(m_hive),
                               [&](CRegFile& file) {
                                   if (file.DeleteKey(key))
                                       return Ok;
                                   error = "no key " + key;
                                   return NotFound;
                               },
                               error);
    return result == Ok ? Succeed() : Fail(result, error);
}

CRegistry::Result CRegistry::Update(const std::function<Result(CRegFile& file)>& change)
{
    std::string error;
    Result result = UpdateHive(m_directory, GetFilePath(), HiveName(m_hive), change, error);
    return result == Ok ? Succeed() : Fail(result, error.empty() ? "the change was refused" : error);
}

CRegistry::Result CRegistry::Snapshot(CRegFile& file) const
{
    CRegFile loaded(HiveName(m_hive));
    std::string error;
    Result result = LoadHive(GetFilePath(), loaded, error);
    if (result != Ok)
        return Fail(result, error);
    file = loaded;
    return Succeed();
}

bool CRegistry::KeyExists(const std::string& key) const
{
    CRegFile file(HiveName(m_hive));
    std::string error;
    Result result = LoadHive(GetFilePath(), file, error);
    if (result != Ok) {
        Fail(result, error);
        return false;
    }
    Succeed();
    return file.HasKey(key);
}

CRegistry::Result CRegistry::ListValues(const std::string& key, std::vector<NamedValue>& values) const
{
    CRegFile file(HiveName(m_hive));
    std::string error;
    Result result = LoadHive(GetFilePath(), file, error);
    if (result != Ok)
        return Fail(result, error);
    if (!file.HasKey(key))
        return Fail(NotFound, "no key " + key);
    values.clear();
    for (const CRegFile::Value& value : file.ValuesOf(key))
        values.emplace_back(value.name, value.text);
    return Succeed();
}

CRegistry::Result CRegistry::ListSubkeys(const std::string& key, std::vector<std::string>& subkeys) const
{
    CRegFile file(HiveName(m_hive));
    std::string error;
    Result result = LoadHive(GetFilePath(), file, error);
    if (result != Ok)
        return Fail(result, error);
    if (!file.HasKey(key))
        return Fail(NotFound, "no key " + key);
    subkeys = file.SubkeysOf(key);
    return Succeed();
}
