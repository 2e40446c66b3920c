#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>

// What the machine tells about itself on the system bus: that it woke from sleep (login1) and
// whether it has a network (NetworkManager). Without NetworkManager the machine counts as
// online, so that nothing ever waits for a network nobody reports.
class MachineMonitor : public QObject
{
    Q_OBJECT

public:
    static inline const QString login1Service = QStringLiteral("org.freedesktop.login1");
    static inline const QString login1Path = QStringLiteral("/org/freedesktop/login1");
    static inline const QString login1Manager = QStringLiteral("org.freedesktop.login1.Manager");
    static inline const QString networkService = QStringLiteral("org.freedesktop.NetworkManager");
    static inline const QString networkPath = QStringLiteral("/org/freedesktop/NetworkManager");
    static inline const QString networkInterface = networkService;

    explicit MachineMonitor(QDBusConnection bus = QDBusConnection::systemBus(),
                            QObject *parent = nullptr);

    bool isOnline() const { return m_online; }
    // NetworkManager's states from "connected (local only)" up are online, and so is "unknown";
    // asleep, disconnected, disconnecting and connecting are not.
    static bool isOnlineState(uint state);

Q_SIGNALS:
    void resumed();
    void onlineChanged(bool online);

private Q_SLOTS:
    void prepareForSleep(bool sleeping);
    void networkStateChanged(uint state);

private:
    void readNetworkState();
    void setOnline(bool online);

    QDBusConnection m_bus;
    QDBusServiceWatcher m_networkWatcher;
    bool m_online = true;
};
