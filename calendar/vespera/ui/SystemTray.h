#pragma once

#include <platform/BalloonSink.h>

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <map>
#include <memory>

class QAction;
class QIcon;
class QMenu;
class QTimer;

// The agent's icon in the notification area, with its menu. The menu's
// default item (shown bold) is what a double click on the icon does; it
// follows the window: "Minimize" while the window shows, "Restore" while it
// is hidden. The icon is docked again by Qt when the notification area
// restarts.
//
// Qt puts the icon on a panel that speaks StatusNotifierItem over the
// session bus when one is there as it starts (today's desktops), else into
// an XEmbed notification area. Such panels send single clicks only, and
// show the menu themselves on a right click: there a single click opens
// the menu too.
class CSystemTray : public QObject, public CBalloonSink {
    Q_OBJECT
public:
    // The menu's commands, with the numbers the menu has always had.
    enum Command {
        About = 32775,
        Restore = 32773,
        Minimize = 32774,
        RequestMeeting = 32777,
        NewAppointment = 32778,
        RetrieveSchedule = 32772,
        Options = 32771,
        Exit = 32776,
    };
    using CommandHandler = std::function<void(Command)>;

    CSystemTray();
    ~CSystemTray() override;

    // Makes the icon with its tool tip and menu; false when the desktop has
    // no notification area yet. The icon is then made, and `appeared` run,
    // when one starts (a panel often starts after the programs of the
    // session).
    bool Create(const QIcon& icon, const QString& toolTip, CommandHandler handler,
                std::function<void()> appeared = {});
    bool IsCreated() const { return m_icon != nullptr; }

    void SetDefaultItem(Command command);
    Command GetDefaultItem() const { return m_default; }
    // The menu in its order (separators are actions without a command).
    QMenu* Menu() const { return m_menu.get(); }
    QAction* ActionOf(Command command) const;

    // A double click: the default item's command.
    void OnDoubleClick();
    // How the icon was clicked; a single click on a status-notifier panel
    // opens the menu.
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    // Whether a status-notifier panel holds the icon.
    bool IsOnStatusNotifierPanel() const { return m_statusNotifier; }
    // Whether the session bus has a status-notifier panel now.
    static bool StatusNotifierHostRegistered();
    // A balloon message from the icon; nothing without the icon.
    void ShowBalloon(const std::string& title, const std::string& text) override;
    void Remove();

private:
    void BuildMenu();
    void MakeIcon(const QIcon& icon, const QString& toolTip);
    static constexpr int AreaWatchMs = 1000;

    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_icon = nullptr;
    // Looks for a notification area while there is none.
    QTimer* m_watch = nullptr;
    std::map<Command, QAction*> m_actions;
    Command m_default = Minimize;
    CommandHandler m_handler;
    bool m_statusNotifier = false;
};
