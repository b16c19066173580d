#include <vespera/ui/QtEventLoop.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

struct CQtEventLoop::Watcher {
    unsigned events = 0;
    WatchCallback callback;
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
};

struct CQtEventLoop::Timer {
    QTimer* timer = nullptr;
    bool repeating = false;
    TimerCallback callback;
};

CQtEventLoop::CQtEventLoop()
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (dispatcher) {
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { RunBeforeSleep(); });
        connect(dispatcher, &QAbstractEventDispatcher::awake, this, [this] { RunAfterSleep(); });
    }
}

CQtEventLoop::~CQtEventLoop()
{
    StopHandlingSignals();
    for (auto& entry : watchers) {
        delete entry.second->read;
        delete entry.second->write;
    }
    for (auto& entry : timers)
        delete entry.second->timer;
}

// A notifier or timer may be retired from its own signal: it is switched off
// at once and deleted once control is back in the event loop.
void CQtEventLoop::Retire(QObject* object)
{
    if (!object)
        return;
    if (auto* notifier = qobject_cast<QSocketNotifier*>(object))
        notifier->setEnabled(false);
    if (auto* timer = qobject_cast<QTimer*>(object))
        timer->stop();
    object->disconnect();
    object->deleteLater();
}

bool CQtEventLoop::AddWatch(int fd, unsigned events, WatchCallback callback)
{
    if (fd < 0 || !callback || watchers.count(fd))
        return false;
    auto watcher = std::make_shared<Watcher>();
    watcher->callback = std::move(callback);
    watcher->read = new QSocketNotifier(fd, QSocketNotifier::Read);
    watcher->write = new QSocketNotifier(fd, QSocketNotifier::Write);
    connect(watcher->read, &QSocketNotifier::activated, this, [this, fd] { OnNotifier(fd, kReadable); });
    connect(watcher->write, &QSocketNotifier::activated, this, [this, fd] { OnNotifier(fd, kWritable); });
    watchers.emplace(fd, watcher);
    ModifyWatch(fd, events);
    return true;
}

bool CQtEventLoop::ModifyWatch(int fd, unsigned events)
{
    auto it = watchers.find(fd);
    if (it == watchers.end())
        return false;
    Watcher& watcher = *it->second;
    watcher.events = events & (kReadable | kWritable);
    watcher.read->setEnabled(watcher.events & kReadable);
    watcher.write->setEnabled(watcher.events & kWritable);
    return true;
}

bool CQtEventLoop::RemoveWatch(int fd)
{
    auto it = watchers.find(fd);
    if (it == watchers.end())
        return false;
    Retire(it->second->read);
    Retire(it->second->write);
    watchers.erase(it);
    return true;
}

bool CQtEventLoop::IsWatched(int fd) const
{
    return watchers.count(fd) > 0;
}

void CQtEventLoop::OnNotifier(int fd, unsigned event)
{
    auto it = watchers.find(fd);
    if (it == watchers.end() || !(it->second->events & event))
        return;
    // Held here so the callback may remove its own watcher.
    const std::shared_ptr<Watcher> watcher = it->second;
    watcher->callback(fd, event);
}

CEventLoop::TimerId CQtEventLoop::AddTimer(unsigned period_ms, bool repeating, TimerCallback callback)
{
    if (!callback)
        return kNoTimer;
    const TimerId id = nextTimerId++;
    auto timer = std::make_shared<Timer>();
    timer->repeating = repeating;
    timer->callback = std::move(callback);
    timer->timer = new QTimer;
    timer->timer->setTimerType(Qt::PreciseTimer);
    timer->timer->setSingleShot(!repeating);
    connect(timer->timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    timer->timer->start(static_cast<int>(std::clamp(period_ms, 1u, 0x7fffffffu)));
    timers.emplace(id, std::move(timer));
    return id;
}

bool CQtEventLoop::KillTimer(TimerId id)
{
    auto it = timers.find(id);
    if (it == timers.end())
        return false;
    Retire(it->second->timer);
    timers.erase(it);
    return true;
}

void CQtEventLoop::OnTimer(TimerId id)
{
    auto it = timers.find(id);
    if (it == timers.end())
        return;
    const std::shared_ptr<Timer> timer = it->second;
    if (!timer->repeating) {
        Retire(timer->timer);
        timers.erase(it);
    }
    timer->callback(id);
}

void CQtEventLoop::Post(Task task)
{
    if (!task)
        return;
    QMetaObject::invokeMethod(
        this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

int CQtEventLoop::Run()
{
    if (quitPending) {
        quitPending = false;
        return pendingCode;
    }
    SetCurrent(this);
    QEventLoop run;
    runs.push_back(&run);
    const int code = run.exec();
    runs.pop_back();
    RunBeforeSleep();
    if (!runs.empty())
        RunAfterSleep();
    return code;
}

void CQtEventLoop::Quit(int code)
{
    if (runs.empty()) {
        quitPending = true;
        pendingCode = code;
        return;
    }
    runs.back()->exit(code);
}

void CQtEventLoop::QuitAll(int code)
{
    if (runs.empty()) {
        quitPending = true;
        pendingCode = code;
        return;
    }
    for (QEventLoop* run : runs)
        run->exit(code);
}

int CQtEventLoop::RunDepth() const
{
    return static_cast<int>(runs.size());
}
