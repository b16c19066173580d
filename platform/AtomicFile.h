#pragma once

#include <cstddef>
#include <functional>
#include <string>

// A user file that is only ever replaced whole: a new content goes to a
// temporary file beside it, is synced, and is renamed over the old one, so a
// reader or a crash sees the old content or the new one, never a torn mix.
// Writers (and readers that want to order themselves against them) hold an
// exclusive flock on "<path>.lock" for the whole read-change-write, so two
// processes never lose each other's change.
//
// Nothing here throws; failures return false with the reason in `error`.
class CAtomicFile {
public:
    // Files larger than this are refused on reading rather than loaded.
    static constexpr std::size_t DefaultMaxSize = 64u * 1024u * 1024u;

    // The exclusive lock on a file's lock file, held for the guard's lifetime.
    class CLock {
    public:
        CLock(CLock&& other) noexcept;
        CLock& operator=(CLock&& other) = delete;
        CLock(const CLock&) = delete;
        CLock& operator=(const CLock&) = delete;
        ~CLock();

        bool IsHeld() const { return m_fd >= 0; }

    private:
        friend class CAtomicFile;
        explicit CLock(int fd) : m_fd(fd) {}
        int m_fd;
    };

    // Places in Replace() where a test may stop or kill the writer.
    enum class Stage {
        TemporaryWritten, // the whole content is in the temporary file, synced
        Renamed,          // the new content has replaced the old
    };
    using StageHook = std::function<void(Stage)>;

    explicit CAtomicFile(std::string path, std::size_t maxSize = DefaultMaxSize);

    const std::string& GetPath() const { return m_path; }
    std::string GetLockPath() const { return m_path + ".lock"; }
    std::string GetDirectory() const;

    // Waits for and takes the exclusive lock; the lock file is made when
    // missing, but its directory must exist. Not held on failure.
    CLock Lock(std::string& error) const;

    // The whole content. A missing file is not an error: `exists` is false
    // and the content empty. The caller holds the lock (or accepts that a
    // writer may replace the file right after the read).
    bool ReadLocked(std::string& content, bool& exists, std::string& error) const;
    // Replaces the whole content; the caller holds the lock. Content larger
    // than the file may be read back at is refused, the file left as it was.
    bool ReplaceLocked(const std::string& content, std::string& error) const;

    // Lock, read, unlock. A directory that does not exist means no file.
    bool Read(std::string& content, bool& exists, std::string& error) const;
    // Lock, replace, unlock. The directory must exist.
    bool Replace(const std::string& content, std::string& error) const;

    // Removes the temporary a writer killed before its rename left beside
    // the file: under the lock, so no live writer's is taken, and only a
    // plain file of this user's, never what a link points to. True when
    // nothing is left (or there was nothing).
    bool RemoveLeftoverTemporary(std::string& error) const;

    // Makes the directory and its missing parents (mode 0700).
    static bool MakeDirectories(const std::string& directory, std::string& error);

    // For tests only: called at each stage of every Replace in this process.
    static void SetStageHook(StageHook hook);

private:
    std::string GetTemporaryPath() const { return m_path + ".tmp"; }
    bool WriteTemporary(const std::string& temporary, const std::string& content, std::string& error) const;

    std::string m_path;
    std::size_t m_maxSize;
};
