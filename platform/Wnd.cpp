#include <platform/Wnd.h>

#include <utility>

CWnd::CWnd(CEventLoop* loop_to_use)
    : loop(loop_to_use ? loop_to_use : CEventLoop::Current()), handle(std::make_shared<CWnd*>(this))
{
}

CWnd::~CWnd()
{
    End();
}

bool CWnd::PostMessage(unsigned msg, uintptr_t wparam, intptr_t lparam)
{
    if (!IsWindow() || !loop)
        return false;
    loop->Post([target = handle, msg, wparam, lparam] {
        if (*target)
            (*target)->WindowProc(msg, wparam, lparam);
    });
    return true;
}

intptr_t CWnd::SendMessage(unsigned msg, uintptr_t wparam, intptr_t lparam)
{
    if (!IsWindow())
        return 0;
    return WindowProc(msg, wparam, lparam);
}

bool CWnd::SetTimer(unsigned id, unsigned ms)
{
    if (!IsWindow() || !loop)
        return false;
    KillTimer(id);
    const CEventLoop::TimerId timer = loop->AddTimer(ms, true, [target = handle, id](CEventLoop::TimerId) {
        if (*target)
            (*target)->WindowProc(WM_TIMER, id, 0);
    });
    if (timer == CEventLoop::kNoTimer)
        return false;
    timers[id] = timer;
    return true;
}

bool CWnd::KillTimer(unsigned id)
{
    auto it = timers.find(id);
    if (it == timers.end())
        return false;
    if (loop)
        loop->KillTimer(it->second);
    timers.erase(it);
    return true;
}

bool CWnd::DestroyWindow()
{
    if (!IsWindow() || destroying)
        return false;
    destroying = true;
    // The handler may delete this object: nothing here touches it afterwards
    // unless the handle says it is still there.
    std::shared_ptr<CWnd*> target = handle;
    WindowProc(WM_DESTROY, 0, 0);
    if (!*target)
        return true;
    End();
    return true;
}

bool CWnd::IsWindow() const
{
    return *handle != nullptr;
}

CEventLoop* CWnd::GetEventLoop() const
{
    return loop;
}

intptr_t CWnd::WindowProc(unsigned msg, uintptr_t, intptr_t)
{
    if (msg == WM_CLOSE)
        DestroyWindow();
    return 0;
}

void CWnd::End()
{
    KillAllTimers();
    *handle = nullptr;
    destroying = false;
}

void CWnd::KillAllTimers()
{
    if (loop) {
        for (const auto& entry : timers)
            loop->KillTimer(entry.second);
    }
    timers.clear();
}
