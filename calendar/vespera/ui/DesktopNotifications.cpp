#include <vespera/ui/DesktopNotifications.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {

constexpr const char* Interface = "org.freedesktop.Notifications";
constexpr const char* ShowAction = "show";
// The service keeps the notice as long as it likes (its own default).
constexpr int ServerTimeout = -1;

} // namespace

CDesktopNotifications::CDesktopNotifications(DayHandler showDay, QObject* parent)
    : QObject(parent), m_showDay(std::move(showDay))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(Service, Path, Interface, "ActionInvoked", this, SLOT(OnActionInvoked(uint, QString)));
    bus.connect(Service, Path, Interface, "NotificationClosed", this, SLOT(OnClosed(uint, uint)));
}

bool CDesktopNotifications::IsAvailable() const
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(Service).value())
        return true;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(Service);
}

void CDesktopNotifications::Notify(const QString& title, const QString& text, const QDate& day,
                                   std::function<void()> failed)
{
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, "Notify");
    // Servers may read the body as markup: the text is shown as written.
    const QStringList actions =
        day.isValid() ? QStringList{"default", "Show", ShowAction, "Show"} : QStringList();
    const QVariantMap hints{{"desktop-entry", IconName}};
    call << QStringLiteral("Orvante Calendar Agent") << 0u << QString(IconName) << title
         << text.toHtmlEscaped() << actions << hints << ServerTimeout;
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, day, failed](QDBusPendingCallWatcher* answered) { Answered(answered, day, failed); });
}

void CDesktopNotifications::Answered(QDBusPendingCallWatcher* call, const QDate& day,
                                     const std::function<void()>& failed)
{
    const QDBusPendingReply<uint> reply = *call;
    call->deleteLater();
    if (reply.isError()) {
        if (failed)
            failed();
        return;
    }
    if (day.isValid())
        m_days[reply.value()] = day;
}

void CDesktopNotifications::OnActionInvoked(uint id, const QString& action)
{
    const auto shown = m_days.find(id);
    if (shown == m_days.end() || (action != ShowAction && action != "default"))
        return;
    if (m_showDay)
        m_showDay(shown->second);
}

void CDesktopNotifications::OnClosed(uint id, uint)
{
    m_days.erase(id);
}
