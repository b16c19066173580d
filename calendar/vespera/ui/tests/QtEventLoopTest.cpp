#include <vespera/ui/QtEventLoop.h>

#include <eventview/testing/QtTestApplication.h>

#include <QDialog>
#include <QTimer>

#include <gtest/gtest.h>

#include <unistd.h>
#include <vector>

namespace {

class QtEventLoopTest : public ::testing::Test {
protected:
    QtEventLoopTest() { testsupport::QtTestApplication(); }
    CQtEventLoop loop;
};

TEST_F(QtEventLoopTest, TasksRunInOrderAndQuitEndsTheRunWithItsCode)
{
    std::vector<int> order;
    loop.Post([&] { order.push_back(1); });
    loop.Post([&] {
        order.push_back(2);
        loop.Post([&] { loop.Quit(7); });
    });
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    loop.Quit(3);
    EXPECT_EQ(loop.Run(), 3) << "a Quit before Run ends the next run at once";
}

TEST_F(QtEventLoopTest, TimersRepeatUntilKilledAndMayKillThemselves)
{
    int oneShot = 0;
    int repeats = 0;
    loop.AddTimer(1, false, [&](CEventLoop::TimerId) { ++oneShot; });
    loop.AddTimer(2, true, [&](CEventLoop::TimerId id) {
        if (++repeats == 3) {
            EXPECT_TRUE(loop.KillTimer(id));
            loop.Quit();
        }
    });
    loop.Run();
    EXPECT_EQ(oneShot, 1);
    EXPECT_EQ(repeats, 3);
    EXPECT_EQ(loop.AddTimer(1, false, nullptr), CEventLoop::kNoTimer);
}

TEST_F(QtEventLoopTest, ModalDialogKeepsServingDescriptorsTimersAndTasks)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string received;
    ASSERT_TRUE(loop.AddWatch(fds[0], CEventLoop::kReadable, [&](int fd, unsigned events) {
        EXPECT_EQ(events, CEventLoop::kReadable);
        char c = 0;
        if (read(fd, &c, 1) == 1)
            received += c;
        // Removing its own watcher from its callback is allowed.
        if (received == "ab")
            loop.RemoveWatch(fd);
    }));
    EXPECT_FALSE(loop.AddWatch(fds[0], CEventLoop::kReadable, [](int, unsigned) {}));

    QDialog dialog;
    bool ticked = false;
    bool posted = false;
    int ticks = 0;
    QTimer::singleShot(0, [&] {
        ASSERT_EQ(write(fds[1], "ab", 2), 2);
        loop.Post([&] { posted = true; });
        // Each byte takes a turn of the loop, which a loaded machine may
        // give the timer first: it ends the dialog once both are in (or,
        // after two seconds, without them, for the checks below to fail).
        loop.AddTimer(5, true, [&](CEventLoop::TimerId id) {
            ticked = true;
            if ((received == "ab" && posted) || ++ticks == 400) {
                loop.KillTimer(id);
                dialog.accept();
            }
        });
    });
    dialog.exec();
    EXPECT_EQ(received, "ab");
    EXPECT_TRUE(posted);
    EXPECT_TRUE(ticked);
    EXPECT_FALSE(loop.IsWatched(fds[0]));
    close(fds[0]);
    close(fds[1]);
}

TEST_F(QtEventLoopTest, QuitEndsOnlyTheInnermostRunAndSleepHooksRun)
{
    int beforeSleep = 0;
    loop.AddBeforeSleep([&] { ++beforeSleep; });
    int inner = -1;
    loop.Post([&] {
        loop.Post([&] { loop.Quit(1); });
        inner = loop.Run();
        EXPECT_EQ(loop.RunDepth(), 1);
        loop.Quit(2);
    });
    EXPECT_EQ(loop.Run(), 2);
    EXPECT_EQ(inner, 1);
    EXPECT_EQ(loop.RunDepth(), 0);
    EXPECT_GT(beforeSleep, 0);
}

} // namespace
