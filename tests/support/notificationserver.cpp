#include "notificationserver.h"

#include <QDBusConnection>
#include <QFile>

using namespace Qt::StringLiterals;

namespace {

const QString name = u"org.freedesktop.Notifications"_s;

} // namespace

bool NotificationServer::serve(const QString &connectionName)
{
    m_connection = connectionName;
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, connectionName);
    // The object first: a call queued for the name while the bus started this server comes
    // in as soon as the name is taken.
    return bus.registerObject(u"/org/freedesktop/Notifications"_s, this,
                              QDBusConnection::ExportAllSlots |
                                  QDBusConnection::ExportAllSignals) &&
           bus.registerService(name);
}

void NotificationServer::stop()
{
    QDBusConnection(m_connection).unregisterService(name);
    QDBusConnection::disconnectFromBus(m_connection);
}

QStringList NotificationServer::summaries() const
{
    QStringList result;
    for (const Call &call : calls)
        result.append(call.summary);
    return result;
}

uint NotificationServer::Notify(const QString &, uint replaces, const QString &,
                                const QString &summary, const QString &body,
                                const QStringList &actions, const QVariantMap &hints, int)
{
    if (!actions.contains(u"default"_s))
        return 0;
    const uint id = replaces ? replaces : uint(calls.size() + 1);
    calls.append({replaces, summary, body, hints, id});
    if (QFile record(m_record); !m_record.isEmpty() && record.open(QIODevice::Append))
        record.write(summary.toUtf8() + '\n');
    return id;
}

QStringList NotificationServer::GetCapabilities()
{
    return {u"actions"_s, u"body"_s};
}
