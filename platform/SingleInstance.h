#pragma once

#include <cstdint>
#include <string>

class CEventLoop;

// One running instance of a program per user: an exclusive lock on a file
// named after the program's instance name, held until the object goes (or
// the process ends), plus a local socket beside it on which the running
// instance answers a probe, so that a second start can tell a live instance
// from a stale lock.
//
// The files live in $XDG_RUNTIME_DIR; without it, in the directory given to
// the constructor (the caller's per-user data directory). The socket's name
// is a hash of the instance name, short enough for the socket path limit.
class CSingleInstance {
public:
    enum class Result {
        Acquired,       // this process is the instance
        AlreadyRunning, // another process holds the lock
        Failed,         // the lock file could not be made; see GetErrorText()
    };

    // The probe a second start sends, and the answer of a running instance.
    static constexpr std::uint32_t kProbeMessage = 0x8002;

    // `fallbackDirectory` is used only when XDG_RUNTIME_DIR is not set.
    CSingleInstance(std::string name, const std::string& fallbackDirectory);
    ~CSingleInstance();

    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    // Takes the lock without waiting. Calling it again after success keeps
    // the lock and answers Acquired.
    Result Acquire();
    bool IsHeld() const { return m_lockFd >= 0; }

    // Answers probes on the loop until the object goes. Only the holder of
    // the lock serves; false when not held or the socket cannot be made.
    bool ServeProbes(CEventLoop& loop);

    // Sends the probe to the running instance and waits at most timeoutMs
    // for its answer: the answer, or 0 when nobody answered in time.
    std::uint32_t Probe(int timeoutMs) const;

    const std::string& GetDirectory() const { return m_directory; }
    std::string GetLockPath() const;
    std::string GetSocketPath() const;
    const std::string& GetErrorText() const { return m_error; }

private:
    bool PrepareDirectory();
    void StopServing();
    void AnswerProbe();

    std::string m_name;
    std::string m_directory;
    std::string m_error;
    int m_lockFd = -1;
    int m_listenFd = -1;
    CEventLoop* m_loop = nullptr;
};
