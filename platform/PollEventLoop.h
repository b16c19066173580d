#pragma once

#include <platform/EventLoop.h>

#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <vector>

struct pollfd;

// The poll() back-end of CEventLoop, for the headless agent, the tools and
// the tests. One pass of the loop runs the before-sleep hooks, waits in poll()
// until a descriptor is ready, the nearest timer is due or a task is queued,
// runs the after-sleep hooks, then dispatches ready descriptors, due timers
// and the tasks that were queued when the pass began.
class CPollEventLoop : public CEventLoop {
public:
    CPollEventLoop();
    ~CPollEventLoop() override;

    bool AddWatch(int fd, unsigned events, WatchCallback callback) override;
    bool ModifyWatch(int fd, unsigned events) override;
    bool RemoveWatch(int fd) override;
    bool IsWatched(int fd) const override;

    TimerId AddTimer(unsigned period_ms, bool repeating, TimerCallback callback) override;
    bool KillTimer(TimerId id) override;

    void Post(Task task) override;

    int Run() override;
    void Quit(int code = 0) override;
    void QuitAll(int code = 0) override;
    int RunDepth() const override;

private:
    using Clock = std::chrono::steady_clock;

    struct Watcher {
        unsigned events = 0;
        // Tells a watcher apart from a later one on the same descriptor
        // number, so events polled for the old one never reach the new one.
        std::uint64_t generation = 0;
        WatchCallback callback;
    };

    struct Timer {
        Clock::time_point due;
        Clock::duration period;
        bool repeating = false;
        // Shared so that a timer killed from its own callback stays callable
        // until that callback returns.
        std::shared_ptr<TimerCallback> callback;
    };

    struct RunLevel {
        bool quit = false;
        int code = 0;
    };

    void RunPass(size_t level);
    int PollTimeout() const;
    void BuildPollSet(std::vector<pollfd>& fds, std::vector<std::uint64_t>& generations) const;
    void DispatchDescriptors(const std::vector<pollfd>& fds, const std::vector<std::uint64_t>& generations,
                             size_t level);
    void DispatchTimers(size_t level);
    void FireTimer(TimerId id, Clock::time_point now);
    void DispatchTasks(size_t level);
    bool Ending(size_t level) const;

    std::map<int, std::shared_ptr<Watcher>> watchers;
    std::map<TimerId, Timer> timers;
    std::deque<Task> tasks;
    std::vector<RunLevel> runs;
    std::uint64_t nextGeneration = 1;
    TimerId nextTimerId = 1;
    bool quitPending = false;
    int pendingCode = 0;
};
