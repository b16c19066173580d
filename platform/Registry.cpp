#include <platform/Registry.h>

#include <platform/AtomicFile.h>
#include <platform/FileStamp.h>
#include <platform/RegFile.h>

#include <cstddef>
#include <cstdlib>
#include <map>
#include <memory>

namespace {

// A hive is a few kilobytes; anything this large is not one of ours.
constexpr std::size_t MaxHiveSize = 16 * 1024 * 1024;

std::string EnvOrEmpty(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

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
    std::string content;
    bool exists = false;
    if (!CAtomicFile(path, MaxHiveSize).ReadLocked(content, exists, error))
        return CRegistry::IoError;
    if (!exists)
        return CRegistry::Ok;
    std::string parseError;
    if (!file.Parse(content, parseError)) {
        error = path + ": " + parseError + " (the file is left as it is until it is mended)";
        return CRegistry::HiveBroken;
    }
    return CRegistry::Ok;
}

// Runs `change` on the current contents under the hive lock and writes the
// result back when the change succeeded.
CRegistry::Result UpdateHive(const std::string& directory, const std::string& path, const char* root,
                             const std::function<CRegistry::Result(CRegFile&)>& change, std::string& error)
{
    if (!CAtomicFile::MakeDirectories(directory, error))
        return CRegistry::IoError;
    const CAtomicFile hiveFile(path, MaxHiveSize);
    const CAtomicFile::CLock lock = hiveFile.Lock(error);
    if (!lock.IsHeld())
        return CRegistry::IoError;
    CRegFile file(root);
    CRegistry::Result result = LoadHive(path, file, error);
    if (result != CRegistry::Ok)
        return result;
    result = change(file);
    if (result != CRegistry::Ok)
        return result;
    return hiveFile.ReplaceLocked(file.Serialize(), error) ? CRegistry::Ok : CRegistry::IoError;
}

// What reads see of a hive: parsed once per version of its file, so that
// a large hive costs one parse, not one per value read. The file's stamp
// (inode, size, modification time) tells a new version; a stamp taken
// before the read can only make a later read parse again.
struct SParsedHive {
    CFileStamp stamp;
    std::shared_ptr<const CRegFile> file;
};

CRegistry::Result ReadHive(const std::string& path, const char* root, std::shared_ptr<const CRegFile>& file,
                           std::string& error)
{
    static std::map<std::string, SParsedHive> parsed;
    const CFileStamp stamp = CFileStamp::Of(path);
    const auto known = parsed.find(path);
    if (known != parsed.end() && known->second.stamp == stamp && stamp.IsSettled()) {
        file = known->second.file;
        return CRegistry::Ok;
    }
    auto fresh = std::make_shared<CRegFile>(root);
    const CRegistry::Result result = LoadHive(path, *fresh, error);
    if (result != CRegistry::Ok) {
        parsed.erase(path);
        return result;
    }
    parsed[path] = SParsedHive{stamp, fresh};
    file = std::move(fresh);
    return CRegistry::Ok;
}

} // namespace

CRegistry::Result CRegistry::Read(std::shared_ptr<const CRegFile>& file) const
{
    std::string error;
    const Result result = ReadHive(GetFilePath(), HiveName(m_hive), file, error);
    return result == Ok ? Ok : Fail(result, error);
}

bool CRegistry::CheckHive() const
{
    std::shared_ptr<const CRegFile> file;
    if (Read(file) != Ok)
        return false;
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
        return Fail(TooLong, "the value " + name + " of " + key + " is longer than " +
                                 std::to_string(bufferSize == 0 ? 0 : bufferSize - 1) + " bytes");
    value = text;
    return Ok;
}

CRegistry::Result CRegistry::ReadValueUnbounded(const std::string& key, const std::string& name,
                                                std::string& value) const
{
    std::shared_ptr<const CRegFile> file;
    const Result result = Read(file);
    if (result != Ok)
        return result;
    if (!file->HasKey(key))
        return Fail(NotFound, std::string("no key ") + HiveName(m_hive) + "\\" + key);
    const CRegFile::Value* found = file->FindValue(key, name);
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
    Result result = UpdateHive(
        m_directory, GetFilePath(), HiveName(m_hive),
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
    Result result = UpdateHive(
        m_directory, GetFilePath(), HiveName(m_hive),
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
    Result result = UpdateHive(
        m_directory, GetFilePath(), HiveName(m_hive),
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
    Result result = UpdateHive(
        m_directory, GetFilePath(), HiveName(m_hive),
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
    std::shared_ptr<const CRegFile> loaded;
    const Result result = Read(loaded);
    if (result != Ok)
        return result;
    file = *loaded;
    return Succeed();
}

bool CRegistry::KeyExists(const std::string& key) const
{
    std::shared_ptr<const CRegFile> file;
    if (Read(file) != Ok)
        return false;
    Succeed();
    return file->HasKey(key);
}

CRegistry::Result CRegistry::ListValues(const std::string& key, std::vector<NamedValue>& values) const
{
    std::shared_ptr<const CRegFile> file;
    const Result result = Read(file);
    if (result != Ok)
        return result;
    if (!file->HasKey(key))
        return Fail(NotFound, "no key " + key);
    values.clear();
    for (const CRegFile::Value& value : file->ValuesOf(key))
        values.emplace_back(value.name, value.text);
    return Succeed();
}

CRegistry::Result CRegistry::ListSubkeys(const std::string& key, std::vector<std::string>& subkeys) const
{
    std::shared_ptr<const CRegFile> file;
    const Result result = Read(file);
    if (result != Ok)
        return result;
    if (!file->HasKey(key))
        return Fail(NotFound, "no key " + key);
    subkeys = file->SubkeysOf(key);
    return Succeed();
}
