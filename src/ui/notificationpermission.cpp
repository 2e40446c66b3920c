#include "notificationpermission.h"

#include "localized.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

const QString notifications = u"org.freedesktop.Notifications"_s;

QDBusMessage busCall(const QString &method)
{
    return QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                          u"org.freedesktop.DBus"_s, method);
}

} // namespace

NotificationPermission::NotificationPermission(QDBusConnection bus, QObject *parent)
    : QObject(parent), m_bus(std::move(bus))
{
    refresh();
}

void NotificationPermission::refresh()
{
    if (!m_bus.isConnected()) {
        setStatus(Status::denied);
        return;
    }
    QDBusMessage running = busCall(u"NameHasOwner"_s);
    running << notifications;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(running), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<bool> reply = *w;
        if (!reply.isError() && reply.value()) {
            askInhibited();
            return;
        }
        auto *names =
            new QDBusPendingCallWatcher(m_bus.asyncCall(busCall(u"ListActivatableNames"_s)), this);
        connect(names, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher *n) {
                    n->deleteLater();
                    const QDBusPendingReply<QStringList> activatable = *n;
                    const bool startable =
                        !activatable.isError() && activatable.value().contains(notifications);
                    setStatus(startable ? Status::authorized : Status::denied);
                });
    });
}

void NotificationPermission::askInhibited()
{
    // Servers that can hold notices back say so in the "Inhibited" property; the others have
    // no such property and deliver everything.
    QDBusMessage get =
        QDBusMessage::createMethodCall(notifications, u"/org/freedesktop/Notifications"_s,
                                       u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
    get << notifications << u"Inhibited"_s;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *w;
        const bool inhibited = !reply.isError() && reply.value().variant().toBool();
        setStatus(inhibited ? Status::provisional : Status::authorized);
    });
}

void NotificationPermission::setStatus(Status status)
{
    if (m_status == status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

QString NotificationPermission::note(Status status)
{
    switch (status) {
    case Status::provisional:
        return localized("Notifications are currently delivered quietly");
    case Status::denied:
        return localized("To receive notifications, turn on *Allow notifications* in *System "
                         "Settings* > *Notifications* > *%1*.")
            .arg(u"VellSSH"_s);
    case Status::notDetermined:
    case Status::authorized:
        break;
    }
    return {};
}

QStringList NotificationPermission::settingsCommand()
{
    const std::pair<const char16_t *, const char16_t *> programs[] = {
        {u"gnome-control-center", u"notifications"},
        {u"systemsettings", u"kcm_notifications"},
        {u"xfce4-notifyd-config", nullptr},
    };
    for (const auto &[program, argument] : programs) {
        const QString path = QStandardPaths::findExecutable(QString::fromUtf16(program));
        if (path.isEmpty())
            continue;
        QStringList command{path};
        if (argument)
            command.append(QString::fromUtf16(argument));
        return command;
    }
    return {};
}
