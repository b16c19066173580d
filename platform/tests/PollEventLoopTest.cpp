#include <platform/PollEventLoop.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Ends every run after a generous limit so that a broken loop fails the test
// instead of hanging it.
class CWatchdog {
public:
    explicit CWatchdog(CEventLoop& loop, unsigned ms = 5000) : loop(loop)
    {
        id = loop.AddTimer(ms, false, [this](CEventLoop::TimerId) {
            fired = true;
            this->loop.QuitAll(-1);
        });
    }
    ~CWatchdog() { loop.KillTimer(id); }
    bool Fired() const { return fired; }

private:
    CEventLoop& loop;
    CEventLoop::TimerId id;
    bool fired = false;
};

class CPipe {
public:
    CPipe()
    {
        if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
            fds[0] = fds[1] = -1;
    }
    ~CPipe()
    {
        CloseRead();
        if (fds[1] >= 0)
            close(fds[1]);
    }
    int ReadEnd() const { return fds[0]; }
    void Write(char c) const { ASSERT_EQ(1, write(fds[1], &c, 1)); }
    std::string ReadAll() const
    {
        std::string text;
        char buffer[64];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<size_t>(n));
        return text;
    }
    void CloseRead()
    {
        if (fds[0] >= 0)
            close(fds[0]);
        fds[0] = -1;
    }

private:
    int fds[2] = {-1, -1};
};

using Clock = std::chrono::steady_clock;

} // namespace

TEST(PollEventLoopTasks, RunInPostingOrder)
{
    CPollEventLoop loop;
    std::vector<int> order;
    for (int i = 0; i < 5; ++i)
        loop.Post([&order, i] { order.push_back(i); });
    loop.Post([&] { loop.Quit(); });
    EXPECT_EQ(0, loop.Run());
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), order);
}

TEST(PollEventLoopTasks, TaskPostedByTaskRunsAfterThoseAlreadyQueued)
{
    CPollEventLoop loop;
    std::vector<std::string> order;
    loop.Post([&] {
        order.push_back("a");
        loop.Post([&] {
            order.push_back("c");
            loop.Quit();
        });
    });
    loop.Post([&] { order.push_back("b"); });
    loop.Run();
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), order);
}

TEST(PollEventLoopTasks, SelfRepostingTaskDoesNotStarveTimers)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    int spins = 0;
    std::function<void()> spin = [&] {
        ++spins;
        loop.Post(spin);
    };
    loop.Post(spin);
    loop.AddTimer(5, false, [&](CEventLoop::TimerId) { loop.Quit(1); });
    EXPECT_EQ(1, loop.Run());
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_GT(spins, 0);
}

TEST(PollEventLoopTasks, EmptyTaskIsIgnored)
{
    CPollEventLoop loop;
    loop.Post(nullptr);
    loop.Post([&] { loop.Quit(4); });
    EXPECT_EQ(4, loop.Run());
}

TEST(PollEventLoopRuns, RunReturnsTheQuitCode)
{
    CPollEventLoop loop;
    loop.Post([&] { loop.Quit(42); });
    EXPECT_EQ(42, loop.Run());
    EXPECT_EQ(0, loop.RunDepth());
}

TEST(PollEventLoopRuns, QuitBeforeRunEndsTheNextRunAtOnce)
{
    CPollEventLoop loop;
    loop.Quit(9);
    EXPECT_EQ(9, loop.Run());
    // The pending quit is used up: the next run waits for its own.
    loop.Post([&] { loop.Quit(2); });
    EXPECT_EQ(2, loop.Run());
}

TEST(PollEventLoopRuns, QuitEndsOnlyTheInnermostRun)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    std::vector<std::string> steps;
    int inner_result = 0;
    loop.Post([&] {
        steps.push_back("outer task");
        EXPECT_EQ(1, loop.RunDepth());
        loop.Post([&] {
            steps.push_back("inner task");
            EXPECT_EQ(2, loop.RunDepth());
            loop.Quit(7);
        });
        inner_result = loop.Run();
        steps.push_back("inner ended");
        loop.Post([&] {
            steps.push_back("outer again");
            loop.Quit(3);
        });
    });
    EXPECT_EQ(3, loop.Run());
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(7, inner_result);
    EXPECT_EQ((std::vector<std::string>{"outer task", "inner task", "inner ended", "outer again"}), steps);
}

TEST(PollEventLoopRuns, QuitInsideTaskBatchLeavesLaterTasksToTheOuterRun)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    std::vector<std::string> steps;
    loop.Post([&] {
        loop.Post([&] {
            steps.push_back("ends inner");
            loop.Quit();
        });
        loop.Post([&] { steps.push_back("after inner"); });
        loop.Run();
        steps.push_back("inner returned");
        loop.Post([&] { loop.Quit(); });
    });
    loop.Run();
    EXPECT_EQ((std::vector<std::string>{"ends inner", "inner returned", "after inner"}), steps);
}

TEST(PollEventLoopRuns, QuitAllEndsEveryLevel)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    int inner = 0;
    bool after_inner = false;
    loop.Post([&] {
        loop.Post([&] { loop.QuitAll(5); });
        inner = loop.Run();
        after_inner = true;
    });
    EXPECT_EQ(5, loop.Run());
    EXPECT_EQ(5, inner);
    EXPECT_TRUE(after_inner);
    EXPECT_FALSE(watchdog.Fired());
}

TEST(PollEventLoopRuns, NestedRunServesDescriptorsAndTimers)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    CPipe pipe;
    bool read_in_inner = false;
    bool timer_in_inner = false;
    auto maybe_end = [&] {
        if (read_in_inner && timer_in_inner)
            loop.Quit(11);
    };
    ASSERT_TRUE(loop.AddWatch(pipe.ReadEnd(), CEventLoop::kReadable, [&](int, unsigned) {
        pipe.ReadAll();
        read_in_inner = loop.RunDepth() == 2;
        maybe_end();
    }));
    int inner = 0;
    loop.Post([&] {
        loop.AddTimer(5, false, [&](CEventLoop::TimerId) {
            timer_in_inner = loop.RunDepth() == 2;
            pipe.Write('x');
            maybe_end();
        });
        inner = loop.Run();
        loop.Quit();
    });
    loop.Run();
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(11, inner);
    EXPECT_TRUE(read_in_inner);
    EXPECT_TRUE(timer_in_inner);
}

TEST(PollEventLoopRuns, CurrentLoopIsSetByConstructionAndRun)
{
    ASSERT_EQ(nullptr, CEventLoop::Current());
    {
        CPollEventLoop first;
        EXPECT_EQ(&first, CEventLoop::Current());
        CPollEventLoop second;
        EXPECT_EQ(&first, CEventLoop::Current());
        CEventLoop* during_run = nullptr;
        second.Post([&] {
            during_run = CEventLoop::Current();
            second.Quit();
        });
        second.Run();
        EXPECT_EQ(&second, during_run);
        CEventLoop::SetCurrent(&first);
        EXPECT_EQ(&first, CEventLoop::Current());
    }
    EXPECT_EQ(nullptr, CEventLoop::Current());
}

TEST(PollEventLoopTimers, OneShotFiresOnceAfterItsPeriod)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    int fired = 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point fired_at;
    loop.AddTimer(20, false, [&](CEventLoop::TimerId) {
        ++fired;
        fired_at = Clock::now();
    });
    loop.AddTimer(60, false, [&](CEventLoop::TimerId) { loop.Quit(); });
    loop.Run();
    EXPECT_EQ(1, fired);
    EXPECT_GE(fired_at - start, std::chrono::milliseconds(20));
}

TEST(PollEventLoopTimers, ShorterPeriodFiresFirstAndRepeats)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    std::vector<char> order;
    CEventLoop::TimerId fast = loop.AddTimer(5, true, [&](CEventLoop::TimerId) { order.push_back('f'); });
    loop.AddTimer(40, false, [&](CEventLoop::TimerId) {
        order.push_back('s');
        loop.KillTimer(fast);
        loop.Quit();
    });
    loop.Run();
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ('f', order.front());
    EXPECT_EQ('s', order.back());
    EXPECT_GE(std::count(order.begin(), order.end(), 'f'), 2);
}

TEST(PollEventLoopTimers, RepeatingTimerStopsWhenKilled)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    int ticks = 0;
    CEventLoop::TimerId id = CEventLoop::kNoTimer;
    id = loop.AddTimer(2, true, [&](CEventLoop::TimerId fired) {
        EXPECT_EQ(id, fired);
        if (++ticks == 3) {
            EXPECT_TRUE(loop.KillTimer(fired));
            loop.AddTimer(30, false, [&](CEventLoop::TimerId) { loop.Quit(); });
        }
    });
    loop.Run();
    EXPECT_EQ(3, ticks);
    EXPECT_FALSE(loop.KillTimer(id));
}

TEST(PollEventLoopTimers, KillFromOwnCallbackKeepsTheCallbackAlive)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    auto owned = std::make_shared<std::string>("still here");
    std::string seen;
    int calls = 0;
    loop.AddTimer(1, true, [&, owned](CEventLoop::TimerId self) {
        ++calls;
        loop.KillTimer(self);
        // The closure, and what it captured, must outlive the kill.
        seen = *owned;
        loop.AddTimer(20, false, [&](CEventLoop::TimerId) { loop.Quit(); });
    });
    owned.reset();
    loop.Run();
    EXPECT_EQ(1, calls);
    EXPECT_EQ("still here", seen);
}

TEST(PollEventLoopTimers, TimerKilledByAnEarlierCallbackOfThePassDoesNotFire)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    bool second_fired = false;
    CEventLoop::TimerId second = CEventLoop::kNoTimer;
    loop.AddTimer(5, false, [&](CEventLoop::TimerId) { loop.KillTimer(second); });
    second = loop.AddTimer(5, false, [&](CEventLoop::TimerId) { second_fired = true; });
    // Both are due in the same pass once this task has slept past them.
    loop.Post([] { usleep(10000); });
    loop.AddTimer(30, false, [&](CEventLoop::TimerId) { loop.Quit(); });
    loop.Run();
    EXPECT_FALSE(second_fired);
}

TEST(PollEventLoopTimers, TimerAddedFromCallbackFires)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    std::vector<int> order;
    loop.AddTimer(1, false, [&](CEventLoop::TimerId) {
        order.push_back(1);
        loop.AddTimer(1, false, [&](CEventLoop::TimerId) {
            order.push_back(2);
            loop.Quit();
        });
    });
    loop.Run();
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ((std::vector<int>{1, 2}), order);
}

TEST(PollEventLoopTimers, BadArgumentsAreRefused)
{
    CPollEventLoop loop;
    EXPECT_EQ(CEventLoop::kNoTimer, loop.AddTimer(10, true, nullptr));
    EXPECT_FALSE(loop.KillTimer(CEventLoop::kNoTimer));
    EXPECT_FALSE(loop.KillTimer(12345));
    const CEventLoop::TimerId a = loop.AddTimer(10, false, [](CEventLoop::TimerId) {});
    const CEventLoop::TimerId b = loop.AddTimer(10, false, [](CEventLoop::TimerId) {});
    EXPECT_NE(CEventLoop::kNoTimer, a);
    EXPECT_NE(a, b);
}

TEST(PollEventLoopWatchers, ReadableDescriptorCallsItsCallback)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    CPipe pipe;
    std::string got;
    ASSERT_TRUE(loop.AddWatch(pipe.ReadEnd(), CEventLoop::kReadable, [&](int fd, unsigned events) {
        EXPECT_EQ(pipe.ReadEnd(), fd);
        EXPECT_EQ(CEventLoop::kReadable, events);
        got += pipe.ReadAll();
        if (got == "ab")
            loop.Quit();
    }));
    EXPECT_TRUE(loop.IsWatched(pipe.ReadEnd()));
    pipe.Write('a');
    loop.AddTimer(5, false, [&](CEventLoop::TimerId) { pipe.Write('b'); });
    loop.Run();
    EXPECT_EQ("ab", got);
}

TEST(PollEventLoopWatchers, BadRegistrationsAreRefused)
{
    CPollEventLoop loop;
    CPipe pipe;
    auto noop = [](int, unsigned) {};
    EXPECT_FALSE(loop.AddWatch(-1, CEventLoop::kReadable, noop));
    EXPECT_FALSE(loop.AddWatch(pipe.ReadEnd(), CEventLoop::kReadable, nullptr));
    EXPECT_TRUE(loop.AddWatch(pipe.ReadEnd(), CEventLoop::kReadable, noop));
    EXPECT_FALSE(loop.AddWatch(pipe.ReadEnd(), CEventLoop::kReadable, noop));
    EXPECT_FALSE(loop.ModifyWatch(pipe.ReadEnd() + 1000, CEventLoop::kReadable));
    EXPECT_TRUE(loop.RemoveWatch(pipe.ReadEnd()));
    EXPECT_FALSE(loop.RemoveWatch(pipe.ReadEnd()));
    EXPECT_FALSE(loop.IsWatched(pipe.ReadEnd()));
}

TEST(PollEventLoopWatchers, WatcherWithoutEventsIsNotCalled)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    CPipe pipe;
    int calls = 0;
    ASSERT_TRUE(loop.AddWatch(pipe.ReadEnd(), CEventLoop::kReadable, [&](int, unsigned) {
        ++calls;
        pipe.ReadAll();
        loop.Quit();
    }));
    ASSERT_TRUE(loop.ModifyWatch(pipe.ReadEnd(), 0));
    pipe.Write('z');
    loop.AddTimer(20, false, [&](CEventLoop::TimerId) {
        EXPECT_EQ(0, calls);
        loop.ModifyWatch(pipe.ReadEnd(), CEventLoop::kReadable);
    });
    loop.Run();
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(1, calls);
}

TEST(PollEventLoopWatchers, CallbackMayRemoveItselfAndItsNeighbour)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    CPipe first;
    CPipe second;
    int calls = 0;
    auto owned = std::make_shared<int>(5);
    auto remove_both = [&, owned](int, unsigned) {
        ++calls;
        loop.RemoveWatch(first.ReadEnd());
        loop.RemoveWatch(second.ReadEnd());
        EXPECT_EQ(5, *owned);
        loop.AddTimer(20, false, [&](CEventLoop::TimerId) { loop.Quit(); });
    };
    ASSERT_TRUE(loop.AddWatch(first.ReadEnd(), CEventLoop::kReadable, remove_both));
    ASSERT_TRUE(loop.AddWatch(second.ReadEnd(), CEventLoop::kReadable, remove_both));
    owned.reset();
    first.Write('1');
    second.Write('2');
    loop.Run();
    EXPECT_EQ(1, calls);
}

TEST(PollEventLoopWatchers, OwnerDestroyedFromItsOwnCallback)
{
    struct COwner {
        COwner(CEventLoop& loop, int fd, std::unique_ptr<COwner>& slot) : loop(loop), fd(fd)
        {
            loop.AddWatch(fd, CEventLoop::kReadable, [this, &slot](int, unsigned) {
                name = "deleting";
                slot.reset();
            });
        }
        ~COwner() { loop.RemoveWatch(fd); }
        CEventLoop& loop;
        int fd;
        std::string name;
    };
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    CPipe pipe;
    std::unique_ptr<COwner> owner;
    owner = std::make_unique<COwner>(loop, pipe.ReadEnd(), owner);
    pipe.Write('!');
    loop.AddTimer(20, false, [&](CEventLoop::TimerId) { loop.Quit(); });
    loop.Run();
    EXPECT_EQ(nullptr, owner);
    EXPECT_FALSE(loop.IsWatched(pipe.ReadEnd()));
}

TEST(PollEventLoopWatchers, ClosedDescriptorIsDroppedInsteadOfSpinning)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    CPipe pipe;
    const int fd = pipe.ReadEnd();
    int calls = 0;
    ASSERT_TRUE(loop.AddWatch(fd, CEventLoop::kReadable, [&](int, unsigned) { ++calls; }));
    pipe.CloseRead();
    loop.AddTimer(20, false, [&](CEventLoop::TimerId) { loop.Quit(); });
    loop.Run();
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_FALSE(loop.IsWatched(fd));
    EXPECT_EQ(0, calls);
}

TEST(PollEventLoopWatchers, WritableDescriptorReportsWritable)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    int fds[2];
    ASSERT_EQ(0, pipe2(fds, O_NONBLOCK | O_CLOEXEC));
    unsigned seen = 0;
    ASSERT_TRUE(loop.AddWatch(fds[1], CEventLoop::kWritable, [&](int, unsigned events) {
        seen = events;
        loop.RemoveWatch(fds[1]);
        loop.Quit();
    }));
    loop.Run();
    close(fds[0]);
    close(fds[1]);
    EXPECT_EQ(CEventLoop::kWritable, seen);
}

TEST(PollEventLoopSignals, SignalEndsTheRunThroughTheSelfPipe)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    struct sigaction before {};
    sigaction(SIGUSR1, nullptr, &before);
    std::vector<int> seen;
    ASSERT_TRUE(loop.HandleSignals({SIGUSR1}, [&](int signal_number) {
        seen.push_back(signal_number);
        loop.QuitAll(signal_number);
    }));
    loop.Post([] { raise(SIGUSR1); });
    EXPECT_EQ(SIGUSR1, loop.Run());
    EXPECT_EQ(std::vector<int>{SIGUSR1}, seen);
    loop.StopHandlingSignals();
    struct sigaction after {};
    sigaction(SIGUSR1, nullptr, &after);
    EXPECT_EQ(before.sa_handler, after.sa_handler);
}

TEST(PollEventLoopSignals, OnlyOneLoopHandlesSignals)
{
    CPollEventLoop first;
    CPollEventLoop second;
    auto noop = [](int) {};
    EXPECT_FALSE(first.HandleSignals({}, noop));
    EXPECT_FALSE(first.HandleSignals({SIGUSR2}, nullptr));
    ASSERT_TRUE(first.HandleSignals({SIGUSR2}, noop));
    EXPECT_FALSE(second.HandleSignals({SIGUSR2}, noop));
    first.StopHandlingSignals();
    EXPECT_TRUE(second.HandleSignals({SIGUSR2}, noop));
    second.StopHandlingSignals();
}

TEST(PollEventLoopSignals, UncatchableSignalIsRefused)
{
    CPollEventLoop loop;
    struct sigaction before {};
    sigaction(SIGUSR1, nullptr, &before);
    EXPECT_FALSE(loop.HandleSignals({SIGUSR1, SIGKILL}, [](int) {}));
    struct sigaction after {};
    sigaction(SIGUSR1, nullptr, &after);
    EXPECT_EQ(before.sa_handler, after.sa_handler);
    EXPECT_TRUE(loop.HandleSignals({SIGUSR1}, [](int) {}));
}

TEST(PollEventLoopSleepHooks, RunAroundEveryWaitAndWhenTheRunEnds)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    std::vector<std::string> seen;
    loop.AddBeforeSleep([&] { seen.push_back("before"); });
    loop.AddAfterSleep([&] { seen.push_back("after"); });
    loop.Post([&] {
        seen.push_back("task 1");
        loop.Post([&] {
            seen.push_back("task 2");
            loop.Quit(3);
        });
    });
    EXPECT_EQ(loop.Run(), 3);
    EXPECT_FALSE(watchdog.Fired());
    const std::vector<std::string> expected = {"before", "after",  "task 1", "before",
                                               "after",  "task 2", "before"};
    EXPECT_EQ(seen, expected);
}

TEST(PollEventLoopSleepHooks, BeforeSleepPrecedesABlockingWait)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    CPipe pipe;
    bool flushed = false;
    bool flushedBeforeEvent = false;
    loop.AddBeforeSleep([&] { flushed = true; });
    ASSERT_TRUE(loop.AddWatch(pipe.ReadEnd(), CEventLoop::kReadable, [&](int, unsigned) {
        flushedBeforeEvent = flushed;
        pipe.ReadAll();
        loop.Quit();
    }));
    loop.Post([&] {
        flushed = false;
        pipe.Write('x');
    });
    loop.Run();
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(flushedBeforeEvent);
}

TEST(PollEventLoopSleepHooks, NestedRunsCallThemAndTheOuterPassGoesOnAfterwards)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    std::vector<std::string> seen;
    loop.AddBeforeSleep([&] { seen.push_back("before"); });
    loop.AddAfterSleep([&] { seen.push_back("after"); });
    loop.Post([&] {
        seen.push_back("outer");
        loop.Post([&] {
            seen.push_back("inner");
            loop.Quit();
        });
        loop.Run();
        seen.push_back("outer again");
        loop.Quit();
    });
    loop.Run();
    EXPECT_FALSE(watchdog.Fired());
    const std::vector<std::string> expected = {"before", "after",  "outer", "before",      "after",
                                               "inner",  "before", "after", "outer again", "before"};
    EXPECT_EQ(seen, expected);
}

TEST(PollEventLoopSleepHooks, HooksMayRemoveThemselvesAndAddOthers)
{
    CPollEventLoop loop;
    CWatchdog watchdog(loop);
    int once = 0;
    int added = 0;
    int passes = 0;
    CEventLoop::HookId self = CEventLoop::kNoHook;
    self = loop.AddBeforeSleep([&] {
        ++once;
        EXPECT_TRUE(loop.RemoveSleepHook(self));
    });
    // A hook that adds another every time must not keep one wait from coming.
    loop.AddBeforeSleep([&] { loop.AddBeforeSleep([&] { ++added; }); });
    loop.AddAfterSleep([&] {
        if (++passes == 3)
            loop.Quit();
    });
    // Keeps one task queued so that no pass waits.
    std::function<void()> again = [&] { loop.Post(again); };
    loop.Post(again);
    loop.Run();
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(once, 1);
    EXPECT_EQ(passes, 3);
    // Pass 1 runs none of the added hooks, pass 2 one, pass 3 two, and the
    // end of the run three.
    EXPECT_EQ(added, 0 + 1 + 2 + 3);
}

TEST(PollEventLoopSleepHooks, BadArgumentsAndUnknownIdsAreRefused)
{
    CPollEventLoop loop;
    EXPECT_EQ(loop.AddBeforeSleep(nullptr), CEventLoop::kNoHook);
    EXPECT_EQ(loop.AddAfterSleep(CEventLoop::Task()), CEventLoop::kNoHook);
    EXPECT_FALSE(loop.RemoveSleepHook(CEventLoop::kNoHook));
    EXPECT_FALSE(loop.RemoveSleepHook(12345));
    const CEventLoop::HookId before = loop.AddBeforeSleep([] {});
    const CEventLoop::HookId after = loop.AddAfterSleep([] {});
    EXPECT_NE(before, after);
    EXPECT_TRUE(loop.RemoveSleepHook(after));
    EXPECT_FALSE(loop.RemoveSleepHook(after));
    EXPECT_TRUE(loop.RemoveSleepHook(before));
}

TEST(PollEventLoopSleepHooks, LifetimeExpiresWithTheLoop)
{
    std::weak_ptr<const void> alive;
    {
        CPollEventLoop loop;
        alive = loop.Lifetime();
        EXPECT_FALSE(alive.expired());
    }
    EXPECT_TRUE(alive.expired());
}
