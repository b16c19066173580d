#pragma once

// Test support shared by every library's tests: a temporary directory, a
// change of working directory for a scope, and reading a whole file.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

// A fresh directory below the system's temporary one, removed with
// everything in it when the object goes. Path() is empty when it could not
// be made.
class CTempDir {
public:
    explicit CTempDir(const std::string& prefix = "orvante")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~CTempDir()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Runs the rest of a scope inside another working directory.
class CScopedChdir {
public:
    explicit CScopedChdir(const std::string& dir) : m_previous(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~CScopedChdir()
    {
        std::error_code ignored;
        std::filesystem::current_path(m_previous, ignored);
    }
    CScopedChdir(const CScopedChdir&) = delete;
    CScopedChdir& operator=(const CScopedChdir&) = delete;

private:
    std::filesystem::path m_previous;
};

// The whole file, bytes as they are; empty when it cannot be read.
inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace testsupport
