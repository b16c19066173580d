#pragma once

#include <platform/EventLoop.h>

#include <cstdint>
#include <map>
#include <memory>

// Message numbers, with their Windows values so that numbers written into
// the toolkit (WM_USER + 5, WM_APP + 2, ...) keep their meaning.
constexpr unsigned WM_NULL = 0x0000;
constexpr unsigned WM_DESTROY = 0x0002;
constexpr unsigned WM_CLOSE = 0x0010;
constexpr unsigned WM_TIMER = 0x0113;
constexpr unsigned WM_USER = 0x0400;
constexpr unsigned WM_APP = 0x8000;

// The notification a connection posts to the container window when a message
// is waiting: wparam the connection type, lparam its descriptor.
constexpr unsigned WM_SOCKET_NOTIFY = WM_USER + 5;

// A message target on the current event loop, the way a window receives the
// messages of its thread's message loop.
//
// A target is live from construction until DestroyWindow() or destruction.
// Messages posted to it and still queued when it stops being live are dropped
// without touching it, so a handler may destroy (even delete) its own target.
class CWnd {
public:
    // Attaches to `loop`, or to CEventLoop::Current() when null. Without any
    // loop the target still answers SendMessage but cannot post or time.
    explicit CWnd(CEventLoop* loop = nullptr);
    // Drops queued messages and kills the timers. WM_DESTROY is not sent from
    // here (a derived part no longer exists): call DestroyWindow() first
    // where that matters.
    virtual ~CWnd();

    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // Queues a message for WindowProc; messages arrive in the order posted.
    // False when the target is not live or has no loop.
    bool PostMessage(unsigned msg, uintptr_t wparam = 0, intptr_t lparam = 0);
    // Calls WindowProc now and returns its result; 0 when not live.
    intptr_t SendMessage(unsigned msg, uintptr_t wparam = 0, intptr_t lparam = 0);

    // Starts or restarts timer `id`: WM_TIMER with wparam = id every ms
    // milliseconds until KillTimer. False when not live or without a loop.
    bool SetTimer(unsigned id, unsigned ms);
    // False when no such timer runs.
    bool KillTimer(unsigned id);

    // Sends WM_DESTROY, then ends the target: timers stop, queued messages
    // are dropped, and posting fails from then on. False when already ended.
    bool DestroyWindow();
    bool IsWindow() const;

    CEventLoop* GetEventLoop() const;

protected:
    // The handler of every message. The default closes on WM_CLOSE (by
    // DestroyWindow) and returns 0 for everything.
    virtual intptr_t WindowProc(unsigned msg, uintptr_t wparam, intptr_t lparam);

private:
    void End();
    void KillAllTimers();

    CEventLoop* loop;
    // What queued messages and timers hold: null once the target has ended.
    std::shared_ptr<CWnd*> handle;
    bool destroying = false;
    std::map<unsigned, CEventLoop::TimerId> timers;
};
