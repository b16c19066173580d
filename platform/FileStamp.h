#pragma once

#include <cstdint>
#include <string>

// What identifies one version of a file without reading it: the inode it
// lives in, its size and its modification time to the nanosecond. An
// atomic replacement gives a new inode, an edit in place a new time, so two
// equal stamps mean nobody wrote the file in between. A missing file has a
// stamp of its own.
class CFileStamp {
public:
    // The stamp of the file at `path` now.
    static CFileStamp Of(const std::string& path);

    static constexpr long SettleFineMs = 50;

    bool Exists() const { return m_exists; }
    // Whether the file was last modified long enough before the stamp was
    // taken that a later change must give another time: modification times
    // are kept in clock ticks, so two writes in place within one tick can
    // leave equal stamps. A file system that keeps fractions of a second
    // ticks in milliseconds, and its stamps settle after SettleFineMs; one
    // whose times are whole seconds (the fraction is 0) needs the next
    // second but one. A stamp that is not settled proves nothing.
    bool IsSettled() const { return m_settled; }

    bool operator==(const CFileStamp& other) const;
    bool operator!=(const CFileStamp& other) const { return !(*this == other); }

private:
    bool m_exists = false;
    bool m_settled = true;
    std::uint64_t m_device = 0;
    std::uint64_t m_inode = 0;
    std::int64_t m_size = 0;
    std::int64_t m_seconds = 0;
    long m_nanoseconds = 0;
};
