#pragma once

// A notification service for the tests, on a bus connection of its own:
// it records each notice, may refuse them, and invokes actions as a user's
// click on a notice would.

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <vector>

class CNotificationStandIn : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct SNotice {
        uint id;
        QString summary;
        QString body;
        QStringList actions;
    };

    CNotificationStandIn() : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "stand-in")) {}
    ~CNotificationStandIn() override { Stop(); }

    bool Start()
    {
        return m_bus.registerObject("/org/freedesktop/Notifications", this,
                                    QDBusConnection::ExportAllSlots) &&
               m_bus.registerService("org.freedesktop.Notifications");
    }
    void Stop()
    {
        m_bus.unregisterService("org.freedesktop.Notifications");
        m_bus.unregisterObject("/org/freedesktop/Notifications");
    }
    void Click(uint id, const QString& action)
    {
        QDBusMessage signal = QDBusMessage::createSignal("/org/freedesktop/Notifications",
                                                         "org.freedesktop.Notifications", "ActionInvoked");
        signal << id << action;
        m_bus.send(signal);
    }

    std::vector<SNotice> notices;
    bool refuse = false;

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int)
    {
        if (refuse) {
            sendErrorReply(QDBusError::AccessDenied, "not now");
            return 0;
        }
        notices.push_back({static_cast<uint>(notices.size() + 1), summary, body, actions});
        return notices.back().id;
    }
    QStringList GetCapabilities() { return {"actions", "body"}; }

private:
    QDBusConnection m_bus;
};
