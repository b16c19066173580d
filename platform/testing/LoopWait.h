#pragma once

#include <platform/EventLoop.h>

#include <chrono>
#include <functional>

// Test helpers that drive an event loop until something has happened, so
// that tests wait on events, never on fixed sleeps.
namespace loopwait {

// Long enough for a loaded machine; a broken test still ends.
constexpr std::chrono::milliseconds kDeadline{20000};

// Runs the loop until `done` holds or the deadline passes; the final verdict.
inline bool RunUntil(CEventLoop& loop, const std::function<bool()>& done,
                     std::chrono::milliseconds limit = kDeadline)
{
    if (done())
        return true;
    const CEventLoop::TimerId check = loop.AddTimer(1, true, [&](CEventLoop::TimerId) {
        if (done())
            loop.Quit();
    });
    const CEventLoop::TimerId give_up =
        loop.AddTimer(static_cast<unsigned>(limit.count()), false, [&](CEventLoop::TimerId) { loop.Quit(); });
    loop.Run();
    loop.KillTimer(check);
    loop.KillTimer(give_up);
    return done();
}

// Runs the loop until everything posted so far has been delivered.
inline bool DeliverPosted(CEventLoop& loop)
{
    bool reached = false;
    loop.Post([&reached] { reached = true; });
    return RunUntil(loop, [&reached] { return reached; });
}

} // namespace loopwait
