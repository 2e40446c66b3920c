#include "statusnotifierwatcher.h"

#include <QDBusMessage>

using namespace Qt::StringLiterals;

StatusNotifierWatcher::StatusNotifierWatcher(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
    m_owners.setConnection(m_bus);
    m_owners.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&m_owners, &QDBusServiceWatcher::serviceUnregistered, this,
            &StatusNotifierWatcher::serviceGone);
}

bool StatusNotifierWatcher::serve()
{
    if (!m_bus.registerObject(objectPath, this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                  QDBusConnection::ExportAllProperties))
        return false;
    if (!m_bus.registerService(serviceName))
        return false;
    // The watcher is its own host: a desktop's panel would register here.
    m_hosts.append(m_bus.baseService());
    return true;
}

// An item names its service, or only its object path on the caller's connection.
void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString &service)
{
    const bool pathOnly = service.startsWith(u'/');
    const QString owner = pathOnly ? message().service() : service;
    const QString item = pathOnly ? owner + service : service + u"/StatusNotifierItem"_s;
    if (m_items.contains(item))
        return;
    m_items.append(item);
    m_owners.addWatchedService(owner);
    Q_EMIT StatusNotifierItemRegistered(item);
}

void StatusNotifierWatcher::RegisterStatusNotifierHost(const QString &service)
{
    if (m_hosts.contains(service))
        return;
    m_hosts.append(service);
    m_owners.addWatchedService(service);
    Q_EMIT StatusNotifierHostRegistered();
}

void StatusNotifierWatcher::serviceGone(const QString &service)
{
    m_owners.removeWatchedService(service);
    const QString prefix = service + u'/';
    for (qsizetype i = m_items.size() - 1; i >= 0; --i) {
        if (m_items.at(i).startsWith(prefix))
            Q_EMIT StatusNotifierItemUnregistered(m_items.takeAt(i));
    }
    if (m_hosts.removeAll(service) > 0 && m_hosts.isEmpty())
        Q_EMIT StatusNotifierHostUnregistered();
}
