#pragma once

// A status-notifier panel for the tests, on the session bus: the watcher
// service that items register with, saying a host (the panel) is there.

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

class CStatusNotifierWatcherStandIn : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
public:
    bool Start()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        return bus.registerObject("/StatusNotifierWatcher", this,
                                  QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties) &&
               bus.registerService("org.kde.StatusNotifierWatcher");
    }

    bool IsStatusNotifierHostRegistered() const { return true; }
    int ProtocolVersion() const { return 0; }
    QStringList RegisteredStatusNotifierItems() const { return items; }

    // The items registered, and the bus names they registered from.
    QStringList items;
    QStringList senders;

public slots:
    void RegisterStatusNotifierItem(const QString& item)
    {
        items << item;
        senders << message().service();
    }
    void RegisterStatusNotifierHost(const QString&) {}
};
