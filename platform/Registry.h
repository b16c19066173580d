#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The per-user registry: two hives, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT,
// each kept as one text file in the ".reg" export form
//
//     Windows Registry Editor Version 5.00
//
//     [HKEY_CURRENT_USER\Software\ORVANTE\CalendarAgent]
//     "Email"="someone@example.org"
//
// so that a user can read and edit it by hand. The files are
// "HKEY_CURRENT_USER.reg" and "HKEY_CLASSES_ROOT.reg" in
// $ORVANTE_REGISTRY_DIR, or else in $XDG_CONFIG_HOME/orvante/registry
// (~/.config/orvante/registry when XDG_CONFIG_HOME is unset).
//
// Key paths are relative to the hive and separated by backslashes
// ("Software\ORVANTE\CalendarAgent"); the empty path is the hive itself. Key
// names and value names compare without regard to ASCII case, as Windows
// does; the spelling first written is the one kept in the file.
//
// Every value is read as text whatever its stored type: a string value as
// itself, a dword as its number in decimal ("dword:0000001a" reads "26"), a
// hex value as its bytes (UTF-16 for the string kinds) up to the first NUL.
// Values are always written as strings. A value, value name or key name
// holding a line break (CR or LF) or a NUL cannot be kept in a line of the
// file and is refused.
//
// Every call looks at the file afresh, so a reader always sees the last
// complete write of any process; a version of the file already parsed (the
// same inode, size and modification time) is not parsed again. Every change is made under an exclusive
// flock() on "<hive file>.lock": the file is read again, changed, written to
// a temporary file, fsync'ed and renamed over the hive, so concurrent writers
// never lose each other's changes and a crash never leaves a torn file. A
// hive file that cannot be parsed is reported through ErrorText() and is
// never overwritten: every change fails until the file is mended by hand.
//
// No call throws.
class CRegFile;

class CRegistry {
public:
    enum Hive { CurrentUser, ClassesRoot };

    enum Result {
        Ok,
        NotFound,     // no such key or value
        TooLong,      // the value does not fit the reader's buffer
        InvalidInput, // a name or value the file cannot hold
        HiveBroken,   // the hive file cannot be parsed
        IoError       // the file system refused
    };

    // The buffer the settings reader uses: 255 bytes with the terminating
    // NUL, so at most 254 characters of text.
    static constexpr std::size_t ValueBufferSize = 255;

    using NamedValue = std::pair<std::string, std::string>;

    // The hive in the directory named by the environment at this call.
    explicit CRegistry(Hive hive = CurrentUser);
    // The hive in a given directory.
    CRegistry(Hive hive, const std::string& directory);

    Hive GetHive() const { return m_hive; }
    const std::string& GetDirectory() const { return m_directory; }
    std::string GetFilePath() const;

    // "HKEY_CURRENT_USER" or "HKEY_CLASSES_ROOT".
    static const char* HiveName(Hive hive);
    // $ORVANTE_REGISTRY_DIR, else $XDG_CONFIG_HOME/orvante/registry, else
    // $HOME/.config/orvante/registry (no trailing slash).
    static std::string DefaultDirectory();

    // Reads a value as a C reader with a buffer of `bufferSize` bytes would:
    // it fails (TooLong) when the text and its NUL do not fit. `value` is
    // only changed on success.
    Result ReadValue(const std::string& key, const std::string& name, std::string& value,
                     std::size_t bufferSize = ValueBufferSize) const;
    // The same without a size limit.
    Result ReadValueUnbounded(const std::string& key, const std::string& name, std::string& value) const;

    // Sets a string value, creating the key and any missing parent keys.
    Result WriteValue(const std::string& key, const std::string& name, const std::string& value);
    // Creates the key and its missing parents; an existing key is no error.
    Result CreateKey(const std::string& key);
    Result DeleteValue(const std::string& key, const std::string& name);
    // Deletes the key with all its subkeys; the hive itself cannot be deleted.
    Result DeleteKey(const std::string& key);

    // Several changes made as one: `change` edits the hive's current
    // contents under the lock, and what it leaves is written back when it
    // returns Ok (nothing is written otherwise). `change` must not call this
    // registry: the lock is held.
    Result Update(const std::function<Result(CRegFile& file)>& change);

    // The hive's current contents, for reading several values at once.
    Result Snapshot(CRegFile& file) const;

    bool KeyExists(const std::string& key) const;
    // The values of a key in file order, as text.
    Result ListValues(const std::string& key, std::vector<NamedValue>& values) const;
    // The names of the direct subkeys of a key in file order.
    Result ListSubkeys(const std::string& key, std::vector<std::string>& subkeys) const;

    // What went wrong in the last call that failed (empty after a success).
    const std::string& ErrorText() const { return m_error; }
    // Parses the hive file; false (with ErrorText) when it is broken or
    // unreadable. A missing file is an empty, sound hive.
    bool CheckHive() const;

private:
    Result Fail(Result result, const std::string& text) const;
    Result Succeed() const;
    // The hive as parsed from its file's current version (shared with
    // other readers); on failure the reason is in ErrorText().
    Result Read(std::shared_ptr<const CRegFile>& file) const;

    Hive m_hive;
    std::string m_directory;
    mutable std::string m_error;
};
