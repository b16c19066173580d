#include <platform/PollEventLoop.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <utility>

namespace {

constexpr short kReadMask = POLLIN | POLLPRI | POLLHUP | POLLERR | POLLRDHUP;
constexpr short kWriteMask = POLLOUT | POLLHUP | POLLERR;

short PollEventsFor(unsigned events)
{
    short wanted = 0;
    if (events & CEventLoop::kReadable)
        wanted |= POLLIN | POLLRDHUP;
    if (events & CEventLoop::kWritable)
        wanted |= POLLOUT;
    return wanted;
}

unsigned EventsFromPoll(short revents)
{
    unsigned events = 0;
    if (revents & kReadMask)
        events |= CEventLoop::kReadable;
    if (revents & kWriteMask)
        events |= CEventLoop::kWritable;
    return events;
}

} // namespace

CPollEventLoop::CPollEventLoop() = default;

CPollEventLoop::~CPollEventLoop()
{
    StopHandlingSignals();
}

bool CPollEventLoop::AddWatch(int fd, unsigned events, WatchCallback callback)
{
    if (fd < 0 || !callback || watchers.count(fd))
        return false;
    auto watcher = std::make_shared<Watcher>();
    watcher->events = events & (kReadable | kWritable);
    watcher->generation = nextGeneration++;
    watcher->callback = std::move(callback);
    watchers.emplace(fd, std::move(watcher));
    return true;
}

bool CPollEventLoop::ModifyWatch(int fd, unsigned events)
{
    auto it = watchers.find(fd);
    if (it == watchers.end())
        return false;
    it->second->events = events & (kReadable | kWritable);
    return true;
}

bool CPollEventLoop::RemoveWatch(int fd)
{
    return watchers.erase(fd) > 0;
}

bool CPollEventLoop::IsWatched(int fd) const
{
    return watchers.count(fd) > 0;
}

CEventLoop::TimerId CPollEventLoop::AddTimer(unsigned period_ms, bool repeating, TimerCallback callback)
{
    if (!callback)
        return kNoTimer;
    Timer timer;
    timer.period = std::chrono::milliseconds(std::max(period_ms, 1u));
    timer.due = Clock::now() + timer.period;
    timer.repeating = repeating;
    timer.callback = std::make_shared<TimerCallback>(std::move(callback));
    const TimerId id = nextTimerId++;
    timers.emplace(id, std::move(timer));
    return id;
}

bool CPollEventLoop::KillTimer(TimerId id)
{
    return timers.erase(id) > 0;
}

void CPollEventLoop::Post(Task task)
{
    if (task)
        tasks.push_back(std::move(task));
}

int CPollEventLoop::Run()
{
    if (quitPending) {
        quitPending = false;
        return pendingCode;
    }
    SetCurrent(this);
    runs.push_back(RunLevel{});
    const size_t level = runs.size() - 1;
    while (!runs[level].quit)
        RunPass(level);
    const int code = runs[level].code;
    runs.pop_back();
    RunBeforeSleep();
    // The pass of the outer run that started this one goes on dispatching.
    if (!runs.empty())
        RunAfterSleep();
    return code;
}

void CPollEventLoop::Quit(int code)
{
    if (runs.empty()) {
        quitPending = true;
        pendingCode = code;
        return;
    }
    runs.back().quit = true;
    runs.back().code = code;
}

void CPollEventLoop::QuitAll(int code)
{
    if (runs.empty()) {
        quitPending = true;
        pendingCode = code;
        return;
    }
    for (RunLevel& run : runs) {
        run.quit = true;
        run.code = code;
    }
}

int CPollEventLoop::RunDepth() const
{
    return static_cast<int>(runs.size());
}

bool CPollEventLoop::Ending(size_t level) const
{
    return runs[level].quit;
}

void CPollEventLoop::RunPass(size_t level)
{
    RunBeforeSleep();
    if (Ending(level))
        return;
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> generations;
    BuildPollSet(fds, generations);
    const int ready = ::poll(fds.data(), fds.size(), PollTimeout());
    RunAfterSleep();
    // EINTR and the like just end the wait early; timers and tasks still run.
    if (ready > 0)
        DispatchDescriptors(fds, generations, level);
    if (Ending(level))
        return;
    DispatchTimers(level);
    if (Ending(level))
        return;
    DispatchTasks(level);
}

int CPollEventLoop::PollTimeout() const
{
    if (!tasks.empty())
        return 0;
    if (timers.empty())
        return -1;
    Clock::time_point nearest = Clock::time_point::max();
    for (const auto& entry : timers)
        nearest = std::min(nearest, entry.second.due);
    const Clock::time_point now = Clock::now();
    if (nearest <= now)
        return 0;
    // Rounded up: waking a little early would only spin until the timer is due.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nearest - now).count();
    return static_cast<int>(std::min<decltype(wait)>(wait, INT_MAX));
}

void CPollEventLoop::BuildPollSet(std::vector<pollfd>& fds, std::vector<std::uint64_t>& generations) const
{
    fds.reserve(watchers.size());
    generations.reserve(watchers.size());
    for (const auto& entry : watchers) {
        if (entry.second->events == 0)
            continue;
        pollfd item{};
        item.fd = entry.first;
        item.events = PollEventsFor(entry.second->events);
        fds.push_back(item);
        generations.push_back(entry.second->generation);
    }
}

void CPollEventLoop::DispatchDescriptors(const std::vector<pollfd>& fds,
                                         const std::vector<std::uint64_t>& generations, size_t level)
{
    for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0)
            continue;
        auto it = watchers.find(fds[i].fd);
        if (it == watchers.end() || it->second->generation != generations[i])
            continue;
        if (fds[i].revents & POLLNVAL) {
            // Closed while still watched: polling it again would spin.
            watchers.erase(it);
            continue;
        }
        // Held here so the callback may remove its own watcher.
        const std::shared_ptr<Watcher> watcher = it->second;
        const unsigned events = EventsFromPoll(fds[i].revents) & watcher->events;
        if (events == 0)
            continue;
        watcher->callback(fds[i].fd, events);
        if (Ending(level))
            return;
    }
}

void CPollEventLoop::DispatchTimers(size_t level)
{
    const Clock::time_point now = Clock::now();
    std::vector<std::pair<Clock::time_point, TimerId>> due;
    for (const auto& entry : timers) {
        if (entry.second.due <= now)
            due.emplace_back(entry.second.due, entry.first);
    }
    std::sort(due.begin(), due.end());
    for (const auto& item : due) {
        FireTimer(item.second, now);
        if (Ending(level))
            return;
    }
}

void CPollEventLoop::FireTimer(TimerId id, Clock::time_point now)
{
    auto it = timers.find(id);
    // Killed or restarted by an earlier callback of this pass.
    if (it == timers.end() || it->second.due > now)
        return;
    const std::shared_ptr<TimerCallback> callback = it->second.callback;
    if (it->second.repeating) {
        it->second.due += it->second.period;
        if (it->second.due <= now)
            it->second.due = now + it->second.period;
    } else {
        timers.erase(it);
    }
    (*callback)(id);
}

void CPollEventLoop::DispatchTasks(size_t level)
{
    // Only what was queued before this pass: a task that keeps posting itself
    // must not starve descriptors and timers.
    size_t count = tasks.size();
    while (count-- > 0 && !tasks.empty()) {
        Task task = std::move(tasks.front());
        tasks.pop_front();
        task();
        if (Ending(level))
            return;
    }
}
