#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One hive in memory, as read from and written to a ".reg" text file. Keys
// are kept flat, in file order, by their path below the hive root; a key
// that only appears as the parent of another exists implicitly. Names are
// compared without regard to ASCII case.
//
// Each value keeps the right-hand side of its line as written, so that a
// value nobody changed is written back exactly as it was (a hand-written
// dword stays a dword); values set through SetValue are strings.
class CRegFile {
public:
    struct Value {
        std::string name; // empty for the default value ("@")
        std::string text; // the value read as text
        std::string data; // the right-hand side as it stands in the file
    };

    struct Key {
        std::string path; // below the root, "" for the root itself
        std::vector<Value> values;
    };

    // `rootName` is the hive's name as it heads every section
    // ("HKEY_CURRENT_USER").
    explicit CRegFile(const std::string& rootName);

    // Replaces the contents with those of a file's text. On failure the
    // contents are unspecified and `error` says which line is wrong and why.
    bool Parse(const std::string& content, std::string& error);
    std::string Serialize() const;

    bool HasKey(const std::string& path) const;
    const Value* FindValue(const std::string& path, const std::string& name) const;
    // The values of an explicit key; empty for an implied or missing one.
    std::vector<Value> ValuesOf(const std::string& path) const;
    std::vector<std::string> SubkeysOf(const std::string& path) const;

    // Creates the key and every missing parent as explicit keys.
    void CreateKey(const std::string& path);
    void SetValue(const std::string& path, const std::string& name, const std::string& text);
    // False when the key or the value does not exist.
    bool DeleteValue(const std::string& path, const std::string& name);
    // Removes the key and everything below it; false when it did not exist.
    bool DeleteKey(const std::string& path);

    // A path of non-empty components joined by single backslashes, without
    // line breaks or NULs; the empty path is the root.
    static bool IsValidKeyPath(const std::string& path);
    // Text that fits one line: no CR, LF or NUL.
    static bool IsLineSafe(const std::string& text);
    static bool SameName(const std::string& a, const std::string& b);

    // The header line this file is written with.
    static const char* const Header;

private:
    Key* FindKey(const std::string& path);
    const Key* FindKey(const std::string& path) const;
    Key& AddKey(const std::string& path);
    bool IsBelow(const std::string& path, const std::string& ancestor) const;

    bool ParseLine(const std::string& line, Key*& current, std::string& error);
    bool ParseSection(const std::string& line, Key*& current, std::string& error);
    bool ParseValueLine(const std::string& line, Key* current, std::string& error);

    std::string m_root;
    std::vector<Key> m_keys;
};
