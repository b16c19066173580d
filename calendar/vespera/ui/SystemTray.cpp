#include <vespera/ui/SystemTray.h>

#include <QAction>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QMenu>
#include <QTimer>

namespace {

// A panel that has not answered by then is taken for none.
constexpr int WatcherTimeoutMs = 2000;

} // namespace

CSystemTray::CSystemTray() : m_menu(std::make_unique<QMenu>())
{
    BuildMenu();
}

CSystemTray::~CSystemTray()
{
    Remove();
}

void CSystemTray::BuildMenu()
{
    const std::pair<Command, const char*> items[] = {
        {About, "About ORVANTE Calendar Agent..."},
        {Restore, "Restore"},
        {Minimize, "Minimize"},
        {RequestMeeting, "Request Meeting"},
        {NewAppointment, "New Appointment/Event"},
        {RetrieveSchedule, "Retrieve Semantic Web Schedule"},
        {Options, "Options"},
        {Exit, "Exit"},
    };
    for (const auto& item : items) {
        QAction* action = m_menu->addAction(item.second);
        const Command command = item.first;
        connect(action, &QAction::triggered, this, [this, command] {
            if (m_handler)
                m_handler(command);
        });
        m_actions[command] = action;
        if (command == About || command == RetrieveSchedule)
            m_menu->addSeparator();
    }
    SetDefaultItem(Minimize);
}

bool CSystemTray::Create(const QIcon& icon, const QString& toolTip, CommandHandler handler,
                         std::function<void()> appeared)
{
    m_handler = std::move(handler);
    // Asked as Qt asks it, once, before Qt chooses the kind of icon.
    m_statusNotifier = StatusNotifierHostRegistered();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Qt says nothing when an area starts: it is asked now and then.
        m_watch = new QTimer(this);
        m_watch->setInterval(AreaWatchMs);
        connect(m_watch, &QTimer::timeout, this, [this, icon, toolTip, appeared] {
            if (!QSystemTrayIcon::isSystemTrayAvailable())
                return;
            m_watch->stop();
            MakeIcon(icon, toolTip);
            if (appeared)
                appeared();
        });
        m_watch->start();
        return false;
    }
    MakeIcon(icon, toolTip);
    return true;
}

void CSystemTray::MakeIcon(const QIcon& icon, const QString& toolTip)
{
    m_icon = new QSystemTrayIcon(icon, this);
    m_icon->setToolTip(toolTip);
    m_icon->setContextMenu(m_menu.get());
    connect(m_icon, &QSystemTrayIcon::activated, this, &CSystemTray::OnActivated);
    m_icon->show();
}

void CSystemTray::SetDefaultItem(Command command)
{
    m_default = command;
    for (auto& entry : m_actions) {
        QFont font = entry.second->font();
        font.setBold(entry.first == command);
        entry.second->setFont(font);
    }
    m_menu->setDefaultAction(ActionOf(command));
}

QAction* CSystemTray::ActionOf(Command command) const
{
    auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

void CSystemTray::OnDoubleClick()
{
    if (m_handler)
        m_handler(m_default);
}

void CSystemTray::OnActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        OnDoubleClick();
    else if (reason == QSystemTrayIcon::Trigger && m_statusNotifier)
        m_menu->popup(QCursor::pos());
}

bool CSystemTray::StatusNotifierHostRegistered()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties", "Get");
    ask << QStringLiteral("org.kde.StatusNotifierWatcher")
        << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage answer = bus.call(ask, QDBus::Block, WatcherTimeoutMs);
    return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
           answer.arguments().front().value<QDBusVariant>().variant().toBool();
}

void CSystemTray::ShowBalloon(const std::string& title, const std::string& text)
{
    if (m_icon)
        m_icon->showMessage(QString::fromStdString(title), QString::fromStdString(text),
                            QSystemTrayIcon::Information);
}

void CSystemTray::Remove()
{
    if (m_watch)
        m_watch->stop();
    if (!m_icon)
        return;
    m_icon->hide();
    delete m_icon;
    m_icon = nullptr;
}
