#include "singleinstance.h"

#include "applicationadaptor.h"
#include "applicationinterface.h"
#include "localized.h"
#include "tunnelservice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QUrl>

using namespace Qt::StringLiterals;

SingleInstance::SingleInstance(bool windowed, QObject *parent)
    : QObject(parent), m_windowed(windowed)
{
    new ApplicationAdaptor(this);
}

QString SingleInstance::registerOn(QDBusConnection &bus)
{
    if (!bus.registerObject(objectPath, this))
        return u"The object %1 could not be exported."_s.arg(objectPath);
    return {};
}

void SingleInstance::Activate(const QStringList &files)
{
    if (!m_windowed) {
        sendErrorReply(windowlessError, windowlessMessage(!files.isEmpty()));
        return;
    }
    QStringList openable;
    for (const QString &file : files) {
        if (QFileInfo(file).isAbsolute() && isInterchangeFile(file))
            openable.append(file);
    }
    QMetaObject::invokeMethod(
        this, [this, openable] { Q_EMIT activationRequested(openable); }, Qt::QueuedConnection);
}

QString SingleInstance::windowlessMessage(bool withFiles)
{
    const QString running = localized(
        "VellSSH is running without a window (vellssh --headless, perhaps as the user service): "
        "stop it with “systemctl --user stop vellssh” or by ending that process, then start "
        "VellSSH again for the window.");
    if (!withFiles)
        return running;
    return running + u' ' + localized("To import files meanwhile, use “vellssh-cli import FILE”.");
}

SingleInstance::Handover SingleInstance::handOver(QDBusConnection &bus, const QStringList &files)
{
    using Outcome = Handover::Outcome;
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(TunnelService::serviceName))
        return {};
    IoVellsshApplicationInterface running(TunnelService::serviceName, objectPath, bus);
    QDBusPendingReply<> reply = running.Activate(files);
    reply.waitForFinished();
    if (!reply.isError())
        return {Outcome::handedOver, {}};
    const QDBusError error = reply.error();
    // The owner went away between the question and the call: this start takes its place.
    if (error.type() == QDBusError::ServiceUnknown)
        return {};
    if (error.name() == windowlessError)
        return {Outcome::refused, error.message()};
    return {Outcome::refused,
            localized("The running VellSSH did not take the request: %1").arg(error.message())};
}

bool SingleInstance::isInterchangeFile(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    return suffix.compare(u"velltunnel"_s, Qt::CaseInsensitive) == 0 ||
           suffix.compare(u"vellshell"_s, Qt::CaseInsensitive) == 0;
}

SingleInstance::LaunchFiles SingleInstance::launchFiles(const QStringList &arguments)
{
    LaunchFiles launch;
    for (const QString &argument : arguments) {
        const QUrl url(argument);
        const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
        if (isInterchangeFile(path))
            launch.files.append(QFileInfo(path).absoluteFilePath());
        else
            launch.ignored.append(argument);
    }
    return launch;
}
