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

} // namespace

bool DaemonCommand::prepare()
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface()->isServiceRegistered(serviceName))
        return true;
    m_env.err() << localized("VellSSH is not running. Start it with: vellssh --headless")
                << Qt::endl;
    return false;
}

int DaemonCommand::refuse(const Error &usage)
{
    m_env.err() << usage.message << Qt::endl;
    return CliEnvironment::usageError;
}

std::unique_ptr<IoVellsshTunnelInterface> DaemonCommand::tunnel()
{
    return std::make_unique<IoVellsshTunnelInterface>(serviceName, objectPath,
                                                      QDBusConnection::sessionBus());
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
