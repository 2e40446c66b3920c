#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>

// The desktop's side of tray items for tests: org.kde.StatusNotifierWatcher with a host
// registered from the start, so that applications export their tray items and menus on the
// bus. Items are kept as "service/path" and dropped when their service leaves the bus.
class StatusNotifierWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    static inline const QString serviceName = QStringLiteral("org.kde.StatusNotifierWatcher");
    static inline const QString objectPath = QStringLiteral("/StatusNotifierWatcher");

    explicit StatusNotifierWatcher(const QDBusConnection &bus, QObject *parent = nullptr);

    // Exports the watcher and takes its name; false when another watcher has it.
    bool serve();

    QStringList registeredItems() const { return m_items; }
    bool isHostRegistered() const { return !m_hosts.isEmpty(); }
    int protocolVersion() const { return 0; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service);
    void RegisterStatusNotifierHost(const QString &service);

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString &item);
    void StatusNotifierItemUnregistered(const QString &item);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    void serviceGone(const QString &service);

    QDBusConnection m_bus;
    QDBusServiceWatcher m_owners;
    QStringList m_items;
    QStringList m_hosts;
};
