#include <platform/Wnd.h>

#include <platform/PollEventLoop.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

struct SMessage {
    unsigned msg;
    uintptr_t wparam;
    intptr_t lparam;
    bool operator==(const SMessage& other) const
    {
        return msg == other.msg && wparam == other.wparam && lparam == other.lparam;
    }
};

// Records every message and lets a test hook in per message number.
class CRecordingWnd : public CWnd {
public:
    using Hook = std::function<intptr_t(CRecordingWnd&, const SMessage&)>;

    explicit CRecordingWnd(std::vector<SMessage>& log, CEventLoop* loop = nullptr) : CWnd(loop), log(log) {}

    void On(unsigned msg, Hook hook) { hooks.emplace_back(msg, std::move(hook)); }

protected:
    intptr_t WindowProc(unsigned msg, uintptr_t wparam, intptr_t lparam) override
    {
        const SMessage message{msg, wparam, lparam};
        log.push_back(message);
        for (auto& entry : hooks) {
            if (entry.first == msg)
                return entry.second(*this, message);
        }
        return CWnd::WindowProc(msg, wparam, lparam);
    }

private:
    std::vector<SMessage>& log;
    std::vector<std::pair<unsigned, Hook>> hooks;
};

constexpr unsigned kQuit = WM_APP + 99;

class WndTest : public ::testing::Test {
protected:
    WndTest()
    {
        watchdog = loop.AddTimer(5000, false, [this](CEventLoop::TimerId) {
            timedOut = true;
            loop.QuitAll(-1);
        });
    }
    ~WndTest() override { loop.KillTimer(watchdog); }

    // Posts the quitting message last, so everything posted before it has
    // been delivered when Run returns.
    void RunUntilQueueEmpty()
    {
        loop.Post([this] { loop.Quit(); });
        loop.Run();
        EXPECT_FALSE(timedOut);
    }

    CPollEventLoop loop;
    CEventLoop::TimerId watchdog;
    bool timedOut = false;
    std::vector<SMessage> log;
};

} // namespace

TEST_F(WndTest, ConstantsKeepTheirWindowsValues)
{
    EXPECT_EQ(0x400u, WM_USER);
    EXPECT_EQ(0x8000u, WM_APP);
    EXPECT_EQ(0x113u, WM_TIMER);
    EXPECT_EQ(0x10u, WM_CLOSE);
    EXPECT_EQ(0x2u, WM_DESTROY);
    EXPECT_EQ(1029u, WM_SOCKET_NOTIFY);
}

TEST_F(WndTest, PostedMessagesArriveInOrder)
{
    CRecordingWnd wnd(log);
    EXPECT_TRUE(wnd.PostMessage(WM_USER + 1, 10, -1));
    EXPECT_TRUE(wnd.PostMessage(WM_USER + 2, 20, -2));
    EXPECT_TRUE(wnd.PostMessage(WM_USER + 3, 30, -3));
    EXPECT_TRUE(log.empty()) << "posting must not deliver synchronously";
    RunUntilQueueEmpty();
    EXPECT_EQ((std::vector<SMessage>{{WM_USER + 1, 10, -1}, {WM_USER + 2, 20, -2}, {WM_USER + 3, 30, -3}}),
              log);
}

TEST_F(WndTest, SendMessageIsSynchronousAndReturnsTheResult)
{
    CRecordingWnd wnd(log);
    wnd.On(WM_APP + 2, [](CRecordingWnd&, const SMessage&) -> intptr_t { return WM_APP + 2; });
    EXPECT_EQ(static_cast<intptr_t>(WM_APP + 2), wnd.SendMessage(WM_APP + 2, 0, 0));
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(0, wnd.SendMessage(WM_USER));
}

TEST_F(WndTest, HandlerMayPostAndSendToOtherTargets)
{
    std::vector<SMessage> other_log;
    CRecordingWnd other(other_log);
    CRecordingWnd wnd(log);
    wnd.On(WM_USER + 1, [&](CRecordingWnd& self, const SMessage&) -> intptr_t {
        self.PostMessage(WM_USER + 3);
        EXPECT_EQ(5, other.SendMessage(WM_USER + 2));
        return 0;
    });
    other.On(WM_USER + 2, [&](CRecordingWnd&, const SMessage&) -> intptr_t {
        wnd.PostMessage(WM_USER + 4);
        return 5;
    });
    wnd.On(WM_USER + 4, [&](CRecordingWnd&, const SMessage&) -> intptr_t {
        loop.Quit();
        return 0;
    });
    wnd.PostMessage(WM_USER + 1);
    loop.Run();
    EXPECT_FALSE(timedOut);
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ(WM_USER + 1, log[0].msg);
    EXPECT_EQ(WM_USER + 3, log[1].msg);
    EXPECT_EQ(WM_USER + 4, log[2].msg);
    ASSERT_EQ(1u, other_log.size());
}

TEST_F(WndTest, DestroyWindowSendsDestroyAndDropsQueuedMessages)
{
    CRecordingWnd wnd(log);
    wnd.PostMessage(WM_USER + 1);
    wnd.PostMessage(WM_USER + 2);
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_FALSE(wnd.IsWindow());
    EXPECT_FALSE(wnd.DestroyWindow());
    EXPECT_FALSE(wnd.PostMessage(WM_USER + 3));
    EXPECT_EQ(0, wnd.SendMessage(WM_USER + 4));
    RunUntilQueueEmpty();
    EXPECT_EQ((std::vector<SMessage>{{WM_DESTROY, 0, 0}}), log);
}

TEST_F(WndTest, MessagesQueuedForADeletedTargetAreDropped)
{
    auto wnd = std::make_unique<CRecordingWnd>(log);
    wnd->PostMessage(WM_USER + 1);
    wnd->PostMessage(WM_USER + 2);
    wnd.reset();
    RunUntilQueueEmpty();
    EXPECT_TRUE(log.empty());
}

TEST_F(WndTest, HandlerMayDeleteItsOwnTarget)
{
    auto owned = std::make_unique<CRecordingWnd>(log);
    owned->On(WM_USER + 1, [&](CRecordingWnd&, const SMessage&) -> intptr_t {
        owned.reset();
        return 0;
    });
    owned->PostMessage(WM_USER + 1);
    owned->PostMessage(WM_USER + 2);
    RunUntilQueueEmpty();
    EXPECT_EQ(nullptr, owned);
    EXPECT_EQ((std::vector<SMessage>{{WM_USER + 1, 0, 0}}), log);
}

TEST_F(WndTest, TargetDeletedWhileHandlingItsDestroy)
{
    auto owned = std::make_unique<CRecordingWnd>(log);
    owned->On(WM_DESTROY, [&](CRecordingWnd&, const SMessage&) -> intptr_t {
        owned.reset();
        return 0;
    });
    owned->PostMessage(WM_USER + 1);
    CRecordingWnd* raw = owned.get();
    EXPECT_TRUE(raw->DestroyWindow());
    RunUntilQueueEmpty();
    EXPECT_EQ(nullptr, owned);
    EXPECT_EQ((std::vector<SMessage>{{WM_DESTROY, 0, 0}}), log);
}

TEST_F(WndTest, CloseDestroysByDefault)
{
    CRecordingWnd wnd(log);
    wnd.PostMessage(WM_CLOSE);
    wnd.PostMessage(WM_USER + 1);
    RunUntilQueueEmpty();
    EXPECT_FALSE(wnd.IsWindow());
    EXPECT_EQ((std::vector<SMessage>{{WM_CLOSE, 0, 0}, {WM_DESTROY, 0, 0}}), log);
}

TEST_F(WndTest, TimerDeliversItsIdUntilKilled)
{
    CRecordingWnd wnd(log);
    int ticks = 0;
    wnd.On(WM_TIMER, [&](CRecordingWnd& self, const SMessage& message) -> intptr_t {
        EXPECT_EQ(7u, message.wparam);
        if (++ticks == 3) {
            EXPECT_TRUE(self.KillTimer(7));
            loop.AddTimer(30, false, [&](CEventLoop::TimerId) { loop.Quit(); });
        }
        return 0;
    });
    ASSERT_TRUE(wnd.SetTimer(7, 2));
    loop.Run();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(3, ticks);
    EXPECT_FALSE(wnd.KillTimer(7));
}

TEST_F(WndTest, SettingATimerAgainReplacesIt)
{
    CRecordingWnd wnd(log);
    int ticks = 0;
    wnd.On(WM_TIMER, [&](CRecordingWnd& self, const SMessage&) -> intptr_t {
        ++ticks;
        self.KillTimer(1);
        return 0;
    });
    ASSERT_TRUE(wnd.SetTimer(1, 5));
    ASSERT_TRUE(wnd.SetTimer(1, 5));
    loop.AddTimer(40, false, [&](CEventLoop::TimerId) { loop.Quit(); });
    loop.Run();
    EXPECT_EQ(1, ticks);
}

TEST_F(WndTest, DestroyingTheTargetStopsItsTimers)
{
    auto wnd = std::make_unique<CRecordingWnd>(log);
    ASSERT_TRUE(wnd->SetTimer(1, 1));
    ASSERT_TRUE(wnd->SetTimer(2, 1));
    wnd->DestroyWindow();
    EXPECT_FALSE(wnd->SetTimer(3, 1));
    loop.AddTimer(20, false, [&](CEventLoop::TimerId) { loop.Quit(); });
    loop.Run();
    EXPECT_EQ((std::vector<SMessage>{{WM_DESTROY, 0, 0}}), log);
    auto deleted = std::make_unique<CRecordingWnd>(log);
    ASSERT_TRUE(deleted->SetTimer(1, 1));
    deleted.reset();
    loop.AddTimer(20, false, [&](CEventLoop::TimerId) { loop.Quit(); });
    loop.Run();
    EXPECT_EQ(1u, log.size());
}

TEST_F(WndTest, ModalRunInsideAHandlerKeepsDeliveringInOrder)
{
    CRecordingWnd wnd(log);
    int modal_result = 0;
    wnd.On(WM_USER + 1, [&](CRecordingWnd& self, const SMessage&) -> intptr_t {
        self.PostMessage(WM_USER + 2);
        self.PostMessage(kQuit, 0, 8);
        modal_result = loop.Run();
        loop.Post([&] { loop.Quit(); });
        return 0;
    });
    wnd.On(kQuit, [&](CRecordingWnd&, const SMessage& message) -> intptr_t {
        loop.Quit(static_cast<int>(message.lparam));
        return 0;
    });
    wnd.PostMessage(WM_USER + 1);
    wnd.PostMessage(WM_USER + 3);
    loop.Run();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(8, modal_result);
    std::vector<unsigned> order;
    for (const SMessage& message : log)
        order.push_back(message.msg);
    // WM_USER + 3 was queued first, so the modal run delivers it first.
    EXPECT_EQ((std::vector<unsigned>{WM_USER + 1, WM_USER + 3, WM_USER + 2, kQuit}), order);
}

TEST(WndWithoutLoop, SendsButCannotPostOrTime)
{
    ASSERT_EQ(nullptr, CEventLoop::Current());
    std::vector<SMessage> log;
    CRecordingWnd wnd(log);
    EXPECT_EQ(nullptr, wnd.GetEventLoop());
    EXPECT_FALSE(wnd.PostMessage(WM_USER));
    EXPECT_FALSE(wnd.SetTimer(1, 10));
    wnd.SendMessage(WM_USER + 1);
    EXPECT_EQ(1u, log.size());
}

TEST(WndWithoutLoop, ExplicitLoopIsUsedOverTheCurrentOne)
{
    CPollEventLoop current;
    CPollEventLoop other;
    std::vector<SMessage> log;
    CRecordingWnd wnd(log, &other);
    EXPECT_EQ(&other, wnd.GetEventLoop());
    wnd.PostMessage(WM_USER);
    other.Post([&] { other.Quit(); });
    other.Run();
    EXPECT_EQ(1u, log.size());
}
