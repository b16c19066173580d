#pragma once

#include <platform/EventLoop.h>

#include <QObject>

#include <map>
#include <memory>
#include <vector>

class QEventLoop;
class QSocketNotifier;
class QTimer;

// The Qt back-end of CEventLoop, for the windowed program: descriptors are
// QSocketNotifiers, timers QTimers and tasks queued calls, so that the agent's
// sockets, its one-second tick and its posted messages are served by Qt's own
// event loop, in every nested loop a modal dialog (exec()) runs as well as in
// Run(). The sleep hooks follow the event dispatcher's aboutToBlock and awake.
//
// A QCoreApplication must exist before the loop is made and outlive it.
class CQtEventLoop : public QObject, public CEventLoop {
    Q_OBJECT
public:
    CQtEventLoop();
    ~CQtEventLoop() override;

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
    struct Watcher;
    struct Timer;

    void OnNotifier(int fd, unsigned event);
    void OnTimer(TimerId id);
    static void Retire(QObject* object);

    std::map<int, std::shared_ptr<Watcher>> watchers;
    std::map<TimerId, std::shared_ptr<Timer>> timers;
    std::vector<QEventLoop*> runs;
    TimerId nextTimerId = 1;
    bool quitPending = false;
    int pendingCode = 0;
};
