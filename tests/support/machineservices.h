#pragma once

#include <QDBusConnection>
#include <QObject>

#include <memory>

// The login manager as the system bus carries it: the Manager interface with its sleep signal.
class FakeLogin1 : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    using QObject::QObject;
    void sleepAndWake()
    {
        Q_EMIT PrepareForSleep(true);
        Q_EMIT PrepareForSleep(false);
    }

Q_SIGNALS:
    void PrepareForSleep(bool start);
};

// NetworkManager's Manager object: its State property and StateChanged signal.
class FakeNetworkManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager")
    Q_PROPERTY(uint State READ state)

public:
    static constexpr uint disconnected = 20;
    static constexpr uint connectedGlobal = 70;

    using QObject::QObject;
    uint state() const { return m_state; }
    void setState(uint state)
    {
        m_state = state;
        Q_EMIT StateChanged(state);
    }

Q_SIGNALS:
    void StateChanged(uint state);

private:
    uint m_state = connectedGlobal;
};

// Both services on the private system bus of a test (VELL_SYSTEM_BUS), on a connection of their
// own so that what they send travels through the bus like the real services' signals.
class MachineServices
{
public:
    MachineServices();
    ~MachineServices();

    // The reason when the bus or a name could not be had.
    QString startLogin1();
    QString startNetworkManager(uint state = FakeNetworkManager::connectedGlobal);
    void stopNetworkManager();

    FakeLogin1 &login1() { return m_login1; }
    FakeNetworkManager &network() { return m_network; }
    QDBusConnection bus() const { return m_bus; }

private:
    QDBusConnection m_bus;
    FakeLogin1 m_login1;
    FakeNetworkManager m_network;
};
