// Run on a session bus of its own (platform/testing/with-session-bus.sh),
// with the stand-in notification service; skipped without a bus.

#include "NotificationStandIn.h"

#include <vespera/ui/DesktopNotifications.h>
#include <vespera/ui/QtEventLoop.h>
#include <vespera/ui/VesperaDlg.h>

#include "VesperaTestSupport.h"

#include <eventview/testing/QtTestApplication.h>
#include <platform/BalloonSink.h>
#include <platform/MessageBoxSink.h>

#include <QCalendarWidget>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

bool WaitFor(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QTest::qWait(10);
    return done();
}

class DesktopNotificationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::QtTestApplication();
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus";
        ASSERT_TRUE(standIn.Start());
    }

    CNotificationStandIn standIn;
};

TEST_F(DesktopNotificationsTest, ANoticeAboutADayOffersToShowIt)
{
    QDate shown;
    CDesktopNotifications notifications([&shown](const QDate& day) { shown = day; });
    ASSERT_TRUE(notifications.IsAvailable());
    bool failed = false;
    notifications.Notify("Meeting Scheduled", "Budget <draft>\n3/4/2031 10:00:00 AM", QDate(2031, 3, 4),
                         [&failed] { failed = true; });
    notifications.Notify("Agent Key Changed", "no day", QDate(), [&failed] { failed = true; });
    ASSERT_TRUE(WaitFor([&] { return standIn.notices.size() == 2 && notifications.Shown().size() == 1; }));
    EXPECT_FALSE(failed);
    EXPECT_EQ(standIn.notices[0].summary, "Meeting Scheduled");
    EXPECT_EQ(standIn.notices[0].body, "Budget &lt;draft&gt;\n3/4/2031 10:00:00 AM");
    EXPECT_TRUE(standIn.notices[0].actions.contains("show"));
    EXPECT_TRUE(standIn.notices[1].actions.isEmpty());

    standIn.Click(standIn.notices[1].id, "default");
    standIn.Click(standIn.notices[0].id, "show");
    ASSERT_TRUE(WaitFor([&] { return shown.isValid(); }));
    EXPECT_EQ(shown, QDate(2031, 3, 4));
}

TEST_F(DesktopNotificationsTest, ARefusedNoticeAndAMissingServiceAreToldToTheCaller)
{
    CDesktopNotifications notifications({});
    standIn.refuse = true;
    bool failed = false;
    notifications.Notify("Reminder", "Dinner", QDate(2031, 3, 6), [&failed] { failed = true; });
    EXPECT_TRUE(WaitFor([&] { return failed; }));
    standIn.Stop();
    EXPECT_TRUE(WaitFor([&] { return !notifications.IsAvailable(); }));
}

// The window's notices: on the desktop, in the window's notice line, and
// the notice's "Show" opens the window on the meeting's day.
TEST_F(DesktopNotificationsTest, TheWindowsMeetingNoticeReachesTheDesktopAndShowsItsDay)
{
    vespera_test::CTemporaryHome home;
    CQtEventLoop loop;
    CEventLoop::SetCurrent(&loop);
    auto backend = std::make_shared<outlook::CMemoryBackend>();
    auto agent = std::make_unique<vespera_test::CRecordingVespera>(backend, home.Root() / "debug.log");
    agent->SetInstallDirectory(home.DataDir().string());
    agent->StartOutlook();
    CVesperaDlg window(std::move(agent));
    CBalloonSink* previous = CBalloonSink::SetCurrent(&window);
    CBalloonSink::Show("Meeting Request Completed", "Budget with Olga, 10:00 to 11:00",
                       CDateTime(2031, 3, 4, 10, 0, 0));
    ASSERT_TRUE(WaitFor([&] { return standIn.notices.size() == 1; }));
    EXPECT_EQ(standIn.notices[0].summary, "Meeting Request Completed");
    EXPECT_TRUE(window.findChild<QLabel*>("notice")->text().contains("Budget with Olga"));
    window.hide();
    ASSERT_TRUE(WaitFor([&] { return !window.isVisible(); }));
    standIn.Click(standIn.notices[0].id, "show");
    ASSERT_TRUE(WaitFor([&] { return window.isVisible(); }));
    EXPECT_EQ(window.findChild<QCalendarWidget*>()->selectedDate(), QDate(2031, 3, 4));
    CBalloonSink::SetCurrent(previous);
    CEventLoop::SetCurrent(nullptr);
}

} // namespace
