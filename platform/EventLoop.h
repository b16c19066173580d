#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// The reactor everything in the process runs on: file-descriptor watchers,
// timers and posted tasks, all dispatched one at a time on the one thread.
//
// Runs nest: a callback may call Run() again (a modal dialog does), and the
// nested run keeps serving every watcher, timer and task until Quit() ends
// it. Quit() always ends the innermost run that is active.
//
// Callbacks may add, change or remove any watcher or timer, including their
// own, and may destroy the object that registered them: a removed watcher or
// killed timer is never called again, and the callback being run stays alive
// until it returns.
//
// The loop must outlive every object registered with it. Nothing here is
// thread-safe, by design: the process has one thread.
class CEventLoop {
public:
    using TimerId = std::uint64_t;
    using WatchCallback = std::function<void(int fd, unsigned events)>;
    using TimerCallback = std::function<void(TimerId id)>;
    using Task = std::function<void()>;
    using SignalCallback = std::function<void(int signal_number)>;
    using HookId = std::uint64_t;

    // Event bits of a watcher. An error or hang-up on the descriptor is
    // reported as every event the watcher asked for, so that the owner's
    // next read or write sees the error.
    static constexpr unsigned kReadable = 1;
    static constexpr unsigned kWritable = 2;

    // 0 is never a valid timer id.
    static constexpr TimerId kNoTimer = 0;
    // 0 is never a valid hook id either.
    static constexpr HookId kNoHook = 0;

    CEventLoop();
    virtual ~CEventLoop();

    CEventLoop(const CEventLoop&) = delete;
    CEventLoop& operator=(const CEventLoop&) = delete;

    // The loop that message targets and sockets attach to. A new loop makes
    // itself current when there is none, Run() makes its loop current, and a
    // destroyed loop stops being current.
    static CEventLoop* Current();
    static void SetCurrent(CEventLoop* loop);

    // Starts calling `callback` for the given events on `fd`. False when fd is
    // negative, already watched, or the callback is empty. Events 0 keeps the
    // watcher but calls nothing until ModifyWatch asks for events again.
    virtual bool AddWatch(int fd, unsigned events, WatchCallback callback) = 0;
    // Replaces the events a watcher asks for; false when fd is not watched.
    virtual bool ModifyWatch(int fd, unsigned events) = 0;
    // Stops watching fd; false when it was not watched.
    virtual bool RemoveWatch(int fd) = 0;
    virtual bool IsWatched(int fd) const = 0;

    // Calls `callback` after period_ms milliseconds of the monotonic clock,
    // again every period_ms when repeating (a period of 0 counts as 1 ms).
    // A repeating timer that falls behind fires once, not once per missed
    // period. Returns the timer's id, kNoTimer for an empty callback.
    virtual TimerId AddTimer(unsigned period_ms, bool repeating, TimerCallback callback) = 0;
    // Stops a timer; false when it does not exist (any more).
    virtual bool KillTimer(TimerId id) = 0;

    // Queues a task to run on the loop after those already queued. Tasks run
    // in the order they were posted. Not for signal handlers: see
    // HandleSignals.
    virtual void Post(Task task) = 0;

    // Dispatches until the matching Quit() and returns the code it was given.
    // A Quit() while no run is active makes the next Run() return at once.
    virtual int Run() = 0;
    // Ends the innermost active run with `code`.
    virtual void Quit(int code = 0) = 0;
    // Ends every active run; the outermost returns `code`, inner ones too.
    virtual void QuitAll(int code = 0) = 0;
    // Number of active Run() calls (0 when not running).
    virtual int RunDepth() const = 0;

    // Calls `hook` every time a pass of the loop is about to wait for events
    // (in nested runs too), before the wait is computed, so that what the
    // hook posts or arms is served in that pass; and when a run ends, since
    // the code that called Run() may then look at what the hook keeps up to
    // date. The place for work gathered up while busy and done once per
    // wake-up, such as writing out buffered logs.
    HookId AddBeforeSleep(Task hook);
    // Calls `hook` every time a wait is over, before anything is dispatched,
    // and when a nested run ends while the outer one goes on dispatching.
    HookId AddAfterSleep(Task hook);
    // Hooks of either kind run in the order they were added; one may add or
    // remove hooks, itself included, and one added by a hook first runs the
    // next time. Adding an empty hook gives kNoHook.
    // Stops calling a hook; false when it does not exist (any more).
    bool RemoveSleepHook(HookId id);
    // Expires when the loop is destroyed, so that an object which may
    // outlive the loop knows whether it can still remove its hooks.
    std::weak_ptr<const void> Lifetime() const;

    // Delivers the given signals (SIGINT, SIGTERM, ...) to `callback` on the
    // loop instead of their default action, through a self-pipe so that
    // nothing unsafe runs in the signal handler. Only one loop of the process
    // may do this at a time; false when another already does, or for an
    // empty callback or list. Calling it again on the same loop replaces the
    // set of signals and the callback.
    bool HandleSignals(const std::vector<int>& signal_numbers, SignalCallback callback);
    // Whether a handled signal came and the loop has not yet told its
    // callback: work that runs long without returning to the loop (a large
    // document's parse) asks this between its steps and stops early, so
    // that SIGTERM is honoured within moments whatever the agent is doing.
    static bool SignalArrived();
    // Puts the signals' previous handlers back and stops watching the pipe.
    // Back-ends call it in their destructor, while their watchers still exist.
    void StopHandlingSignals();

protected:
    // Back-ends call these right before they block waiting for events (and
    // when a run ends), and right after the wait, before they dispatch.
    void RunBeforeSleep();
    void RunAfterSleep();

private:
    void RestoreSignalActions();
    void DrainSignalPipe();

    bool handlingSignals = false;
    SignalCallback signalCallback;
    using HookMap = std::map<HookId, std::shared_ptr<Task>>;
    HookId AddHook(HookMap& hooks, Task hook);
    void RunHooks(const HookMap& hooks);

    // Shared so that a hook removed from its own call stays alive until it
    // returns.
    HookMap beforeSleepHooks;
    HookMap afterSleepHooks;
    HookId nextHookId = 1;
    std::shared_ptr<const void> lifetime = std::make_shared<int>(0);
};
