#pragma once

#include <QDate>
#include <QObject>
#include <QString>

#include <functional>
#include <map>

class QDBusPendingCallWatcher;

// Notices on the user's desktop through the session's notification service
// (org.freedesktop.Notifications), which every desktop runs whether or not
// its panel has a notification area. A notice about a day carries a "Show"
// action (and the notice's own click) that opens the window on that day.
// Calls never block: a service that refuses a notice or does not answer
// is told to the caller, which shows it another way.
class CDesktopNotifications : public QObject {
    Q_OBJECT
public:
    static constexpr const char* Service = "org.freedesktop.Notifications";
    static constexpr const char* Path = "/org/freedesktop/Notifications";
    // The name of the program's icon and of its desktop entry.
    static constexpr const char* IconName = "orvante-vespera";

    using DayHandler = std::function<void(const QDate& day)>;

    explicit CDesktopNotifications(DayHandler showDay, QObject* parent = nullptr);

    // Whether the session bus has a notification service, running or to be
    // started for a call.
    bool IsAvailable() const;
    // Sends the notice; `failed` runs when it did not reach the service.
    void Notify(const QString& title, const QString& text, const QDate& day, std::function<void()> failed);

    // The notices shown and not yet closed, with the day each would show.
    const std::map<uint, QDate>& Shown() const { return m_days; }

private slots:
    void OnActionInvoked(uint id, const QString& action);
    void OnClosed(uint id, uint reason);

private:
    void Answered(QDBusPendingCallWatcher* call, const QDate& day, const std::function<void()>& failed);

    DayHandler m_showDay;
    std::map<uint, QDate> m_days;
};
