// The program's icon on a panel that speaks StatusNotifierItem: run on a
// session bus of its own (platform/testing/with-session-bus.sh), with the
// test as the panel's watcher and an X server without an XEmbed tray.

#include "AgentSociety.h"
#include "DesktopSession.h"
#include "StatusNotifierWatcherStandIn.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using vesperaprocess::CAgentSociety;
using vesperaprocess::CDesktopSession;

constexpr const char* AnnName = "ann_example.org-CalendarAgent";

// Waits with the test's bus served, as the panel's watcher answers there.
template <class Condition>
bool ServeUntil(Condition condition)
{
    return CDesktopSession::WaitFor([&] {
        QCoreApplication::processEvents();
        return condition();
    });
}

QDBusMessage AskItem(const QString& item, const char* interface, const char* method,
                     const QVariantList& arguments)
{
    QDBusMessage ask = QDBusMessage::createMethodCall(item, "/StatusNotifierItem", interface, method);
    ask.setArguments(arguments);
    return QDBusConnection::sessionBus().call(ask, QDBus::Block, 5000);
}

std::string VisibleWindows(pid_t pid)
{
    return CDesktopSession::Output("xdotool search --onlyvisible --pid " + std::to_string(pid) +
                                   " . 2>/dev/null | wc -l");
}

TEST(StatusNotifierProcessTest, TheIconRegistersWithThePanelAndASingleClickOpensItsMenu)
{
    int argc = 1;
    char name[] = "vespera_panel_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    const std::string missing = CDesktopSession::MissingTools();
    if (!missing.empty() || !QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "needs a session bus and " << missing;
    setenv("LSAN_OPTIONS", (std::string("suppressions=") + QT_LSAN_SUPPRESSIONS).c_str(), 1);
    const std::filesystem::path output = std::filesystem::path(WINDOW_TEST_OUTPUT) / "status-notifier";
    std::filesystem::create_directories(output);
    CStatusNotifierWatcherStandIn watcher;
    ASSERT_TRUE(watcher.Start());
    CAgentSociety society;
    ASSERT_TRUE(society.StartNameServer()) << society.Failure();
    ASSERT_TRUE(society.PrepareHome({AnnName, "ann", {{"ANSRegistered", "true"}}, {}}, {"", ""}))
        << society.Failure();
    CDesktopSession desktop;
    ASSERT_TRUE(desktop.Start(output.string(), false)) << desktop.Failure() << "; see " << output;

    testsupport::CChildProcess agent;
    ASSERT_TRUE(agent.Start(VESPERA_BINARY, {}, (society.HomeOf("ann") / "vespera.err").string()));
    ASSERT_TRUE(ServeUntil([&] { return !watcher.senders.isEmpty(); })) << agent.Errors();
    const QString item = watcher.senders.front();

    const QDBusMessage menu = AskItem(item, "org.freedesktop.DBus.Properties", "Get",
                                      {QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Menu")});
    ASSERT_EQ(menu.type(), QDBusMessage::ReplyMessage) << menu.errorMessage().toStdString();
    const QString menuPath =
        menu.arguments().front().value<QDBusVariant>().variant().value<QDBusObjectPath>().path();
    EXPECT_FALSE(menuPath.isEmpty() || menuPath == "/NO_DBUSMENU") << "the panel can show the menu itself";

    const std::string before = VisibleWindows(agent.Pid());
    const QDBusMessage clicked =
        AskItem(item, "org.kde.StatusNotifierItem", "Activate", {QVariant(500), QVariant(10)});
    EXPECT_EQ(clicked.type(), QDBusMessage::ReplyMessage) << clicked.errorMessage().toStdString();
    EXPECT_TRUE(ServeUntil([&] { return VisibleWindows(agent.Pid()) != before; }))
        << "the menu opens: " << before;
    const std::string picture = (output / "menu.png").string();
    EXPECT_EQ(CDesktopSession::Run(std::string(SCREEN_GRAB_BINARY) + " " + picture), 0);

    agent.Signal(SIGTERM);
    agent.Wait();
}

} // namespace
