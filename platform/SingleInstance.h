#pragma once

#include <cstdint>
#include <functional>
#include <string>

class CEventLoop;

// One running instance of a program per user: an exclusive lock on a file
// named after the program's instance name, held until the object goes (or
// the process ends), plus a local socket beside it on which the running
// instance answers a probe, so that a second start can tell a live instance
// from a stale lock.
//
// Besides the probe, a later start may send the running instance a request:
// a word naming it and a text (a file to open, say). Whatever arrives is
// bounded and timed: a request longer than kMaxRequestText, or one that
// does not arrive whole within a short time, is dropped, and only processes
// of the same user are answered at all. What the text means, and whether it
// is acceptable, is the handler's to judge.
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
    // The longest text a request may carry; a longer one is refused unread.
    static constexpr std::uint32_t kMaxRequestText = 4096;

    // Decides a request that arrived whole from a process of this user:
    // true takes it. It runs on the loop and must not run one of its own
    // (no modal dialog): what takes long is posted.
    using RequestHandler = std::function<bool(std::uint32_t message, const std::string& text)>;

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

    // Requests other than the probe go to `handler`; without one, each is
    // refused.
    void SetRequestHandler(RequestHandler handler) { m_handler = std::move(handler); }

    // Sends the probe to the running instance and waits at most timeoutMs
    // for its answer: the answer, or 0 when nobody answered in time.
    std::uint32_t Probe(int timeoutMs) const;
    // Sends a request (any message but the probe) with its text and waits
    // at most timeoutMs in all: the message back when the running instance
    // took it, 0 when it refused it, did not answer in time, or the text is
    // longer than kMaxRequestText (then nothing is sent).
    std::uint32_t Request(std::uint32_t message, const std::string& text, int timeoutMs) const;

    const std::string& GetDirectory() const { return m_directory; }
    std::string GetLockPath() const;
    std::string GetSocketPath() const;
    const std::string& GetErrorText() const { return m_error; }

private:
    bool PrepareDirectory();
    void StopServing();
    void AnswerPeer();
    // Sends `message` (and `text` unless it is the probe) to the running
    // instance; its answer, 0 for none.
    std::uint32_t Send(std::uint32_t message, const std::string* text, int timeoutMs) const;

    std::string m_name;
    std::string m_directory;
    std::string m_error;
    int m_lockFd = -1;
    int m_listenFd = -1;
    CEventLoop* m_loop = nullptr;
    RequestHandler m_handler;
};
