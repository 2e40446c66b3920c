#include "machinemonitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcMachine, "io.vellssh.machine")

namespace {

constexpr uint connectedLocal = 50;
constexpr uint unknownState = 0;

} // namespace

MachineMonitor::MachineMonitor(QDBusConnection bus, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)),
      m_networkWatcher(networkService, m_bus,
                       QDBusServiceWatcher::WatchForRegistration |
                           QDBusServiceWatcher::WatchForUnregistration)
{
    if (!m_bus.isConnected()) {
        qCInfo(lcMachine) << "no system bus: sleep and network changes go unnoticed";
        return;
    }
    m_bus.connect(login1Service, login1Path, login1Manager, u"PrepareForSleep"_s, this,
                  SLOT(prepareForSleep(bool)));
    m_bus.connect(networkService, networkPath, networkInterface, u"StateChanged"_s, this,
                  SLOT(networkStateChanged(uint)));
    connect(&m_networkWatcher, &QDBusServiceWatcher::serviceRegistered, this,
            &MachineMonitor::readNetworkState);
    connect(&m_networkWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { setOnline(true); });
    readNetworkState();
}

bool MachineMonitor::isOnlineState(uint state)
{
    return state == unknownState || state >= connectedLocal;
}

void MachineMonitor::prepareForSleep(bool sleeping)
{
    qCInfo(lcMachine) << (sleeping ? "the machine goes to sleep" : "the machine woke up");
    if (!sleeping)
        Q_EMIT resumed();
}

void MachineMonitor::networkStateChanged(uint state)
{
    setOnline(isOnlineState(state));
}

void MachineMonitor::readNetworkState()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        networkService, networkPath, u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << networkInterface << u"State"_s;
    // Not activated for this question: a machine without it running is online.
    get.setAutoStartService(false);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *call;
                if (reply.isValid())
                    networkStateChanged(reply.value().variant().toUInt());
            });
}

void MachineMonitor::setOnline(bool online)
{
    if (std::exchange(m_online, online) == online)
        return;
    qCInfo(lcMachine) << (online ? "the network is back" : "the network is gone");
    Q_EMIT onlineChanged(online);
}
