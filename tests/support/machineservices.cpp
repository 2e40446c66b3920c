#include "machineservices.h"

#include <QDBusConnectionInterface>

using namespace Qt::StringLiterals;

namespace {

const QString connectionName = u"vell-machine-services"_s;

QString publish(QDBusConnection &bus, const QString &service, const QString &path, QObject *object)
{
    if (!bus.isConnected())
        return u"no private system bus: "_s + bus.lastError().message();
    if (!bus.registerObject(
            path, object, QDBusConnection::ExportAllSignals | QDBusConnection::ExportAllProperties))
        return u"cannot publish "_s + path;
    if (!bus.registerService(service))
        return u"cannot own "_s + service + u": "_s + bus.lastError().message();
    return {};
}

} // namespace

MachineServices::MachineServices()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SystemBus, connectionName))
{}

MachineServices::~MachineServices()
{
    m_bus.unregisterObject(u"/org/freedesktop/login1"_s);
    m_bus.unregisterObject(u"/org/freedesktop/NetworkManager"_s);
    QDBusConnection::disconnectFromBus(connectionName);
}

QString MachineServices::startLogin1()
{
    return publish(m_bus, u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s, &m_login1);
}

QString MachineServices::startNetworkManager(uint state)
{
    m_network.setState(state);
    return publish(m_bus, u"org.freedesktop.NetworkManager"_s, u"/org/freedesktop/NetworkManager"_s,
                   &m_network);
}

void MachineServices::stopNetworkManager()
{
    m_bus.unregisterService(u"org.freedesktop.NetworkManager"_s);
    m_bus.unregisterObject(u"/org/freedesktop/NetworkManager"_s);
}
