#include <platform/EventLoop.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace {

CEventLoop* g_current = nullptr;

// The self-pipe is process-wide because signal dispositions are.
int g_signalPipe[2] = {-1, -1};
volatile sig_atomic_t g_signalWriteFd = -1;
// Set by the handler, cleared once the loop has told its callback.
volatile sig_atomic_t g_signalArrived = 0;
CEventLoop* g_signalOwner = nullptr;
std::vector<std::pair<int, struct sigaction>> g_savedActions;

void WriteSignalByte(int signal_number)
{
    const int saved_errno = errno;
    g_signalArrived = 1;
    const unsigned char byte = static_cast<unsigned char>(signal_number);
    const int fd = g_signalWriteFd;
    if (fd >= 0) {
        // A full pipe already holds a wake-up; losing this byte is harmless.
        ssize_t written = write(fd, &byte, 1);
        (void)written;
    }
    errno = saved_errno;
}

bool EnsureSignalPipe()
{
    if (g_signalPipe[0] >= 0)
        return true;
    if (pipe2(g_signalPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        g_signalPipe[0] = g_signalPipe[1] = -1;
        return false;
    }
    g_signalWriteFd = g_signalPipe[1];
    return true;
}

bool InstallHandler(int signal_number)
{
    if (signal_number <= 0 || signal_number > 255)
        return false;
    struct sigaction action {};
    action.sa_handler = WriteSignalByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    struct sigaction previous {};
    if (sigaction(signal_number, &action, &previous) != 0)
        return false;
    g_savedActions.emplace_back(signal_number, previous);
    return true;
}

} // namespace

CEventLoop::CEventLoop()
{
    if (!g_current)
        g_current = this;
}

CEventLoop::~CEventLoop()
{
    if (handlingSignals) {
        RestoreSignalActions();
        g_signalOwner = nullptr;
    }
    if (g_current == this)
        g_current = nullptr;
}

CEventLoop* CEventLoop::Current()
{
    return g_current;
}

void CEventLoop::SetCurrent(CEventLoop* loop)
{
    g_current = loop;
}

bool CEventLoop::HandleSignals(const std::vector<int>& signals, SignalCallback callback)
{
    if (signals.empty() || !callback)
        return false;
    if (g_signalOwner && g_signalOwner != this)
        return false;
    if (!EnsureSignalPipe())
        return false;
    if (handlingSignals)
        RestoreSignalActions();
    else if (!AddWatch(g_signalPipe[0], kReadable, [this](int, unsigned) { DrainSignalPipe(); }))
        return false;
    handlingSignals = true;
    g_signalOwner = this;
    signalCallback = std::move(callback);
    for (int signal_number : signals) {
        if (!InstallHandler(signal_number)) {
            StopHandlingSignals();
            return false;
        }
    }
    return true;
}

void CEventLoop::StopHandlingSignals()
{
    if (!handlingSignals)
        return;
    RemoveWatch(g_signalPipe[0]);
    RestoreSignalActions();
    handlingSignals = false;
    g_signalOwner = nullptr;
    signalCallback = nullptr;
}

void CEventLoop::RestoreSignalActions()
{
    // Newest first, so a signal listed twice ends with its original action.
    for (auto it = g_savedActions.rbegin(); it != g_savedActions.rend(); ++it)
        sigaction(it->first, &it->second, nullptr);
    g_savedActions.clear();
}

bool CEventLoop::SignalArrived()
{
    return g_signalArrived != 0;
}

void CEventLoop::DrainSignalPipe()
{
    g_signalArrived = 0;
    unsigned char bytes[64];
    for (;;) {
        const ssize_t got = read(g_signalPipe[0], bytes, sizeof bytes);
        if (got <= 0)
            return;
        for (ssize_t i = 0; i < got && handlingSignals; ++i) {
            // A copy, so the callback may replace or stop the handling.
            SignalCallback callback = signalCallback;
            callback(bytes[i]);
        }
        if (!handlingSignals)
            return;
    }
}

CEventLoop::HookId CEventLoop::AddBeforeSleep(Task hook)
{
    return AddHook(beforeSleepHooks, std::move(hook));
}

CEventLoop::HookId CEventLoop::AddAfterSleep(Task hook)
{
    return AddHook(afterSleepHooks, std::move(hook));
}

CEventLoop::HookId CEventLoop::AddHook(HookMap& hooks, Task hook)
{
    if (!hook)
        return kNoHook;
    const HookId id = nextHookId++;
    hooks.emplace(id, std::make_shared<Task>(std::move(hook)));
    return id;
}

bool CEventLoop::RemoveSleepHook(HookId id)
{
    return beforeSleepHooks.erase(id) + afterSleepHooks.erase(id) > 0;
}

std::weak_ptr<const void> CEventLoop::Lifetime() const
{
    return lifetime;
}

void CEventLoop::RunBeforeSleep()
{
    RunHooks(beforeSleepHooks);
}

void CEventLoop::RunAfterSleep()
{
    RunHooks(afterSleepHooks);
}

// Ids only grow: walking upwards from the last id called visits every hook
// present at the start that is still there, and the bound keeps a hook that
// adds another from making the walk endless.
void CEventLoop::RunHooks(const HookMap& hooks)
{
    const HookId end = nextHookId;
    HookId last = kNoHook;
    for (auto it = hooks.upper_bound(last); it != hooks.end() && it->first < end;
         it = hooks.upper_bound(last)) {
        last = it->first;
        const std::shared_ptr<Task> hook = it->second;
        (*hook)();
    }
}
