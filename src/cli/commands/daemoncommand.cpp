#include "daemoncommand.h"

#include "localized.h"
#include "tunnelinterface.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>

using namespace Qt::StringLiterals;

namespace {

const QString serviceName = u"io.vellssh.Tunnel"_s;
const QString objectPath = u"/io/vellssh/Tunnel"_s;

bool running()
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface()->isServiceRegistered(serviceName);
}

// Where the desktop installed VellSSH as a bus service, the bus starts it; the call waits until
// it has taken its name.
bool started()
{
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->activatableServiceNames().value().contains(serviceName))
        return false;
    return bus->startService(serviceName).isValid() && running();
}

} // namespace

bool DaemonCommand::prepare()
{
    if (running() || started())
        return true;
    m_env.err() << localized("VellSSH is not running. Start it with: vellssh --headless")
                << Qt::endl;
    return false;
}

std::unique_ptr<IoVellsshTunnelInterface> DaemonCommand::tunnel()
{
    return std::make_unique<IoVellsshTunnelInterface>(serviceName, objectPath,
                                                      QDBusConnection::sessionBus());
}

QHash<QString, QString> DaemonCommand::runningStates()
{
    QHash<QString, QString> states;
    if (!running())
        return states;
    QDBusPendingReply<QList<QVariantMap>> reply = tunnel()->ListProfiles();
    reply.waitForFinished();
    for (const QVariantMap &profile : reply.value())
        states.insert(profile.value(u"uuid"_s).toString(), profile.value(u"state"_s).toString());
    return states;
}

DaemonExit::DaemonExit(QTextStream &err, std::function<void()> stop)
    : m_watcher(serviceName, QDBusConnection::sessionBus(),
                QDBusServiceWatcher::WatchForUnregistration)
{
    QObject::connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, &m_watcher,
                     [this, &err, stop = std::move(stop)] {
                         m_gone = true;
                         err << localized("VellSSH stopped.") << Qt::endl;
                         stop();
                     });
}
