#include "desktopnotifications.h"

#include "uuidtext.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcNotifications, "io.vellssh.notifications")

namespace {

const QString service = u"org.freedesktop.Notifications"_s;
const QString path = u"/org/freedesktop/Notifications"_s;

} // namespace

DesktopNotifications::DesktopNotifications(QDBusConnection bus, QObject *parent)
    : QObject(parent), m_bus(std::move(bus))
{
    m_bus.connect(service, path, service, u"ActionInvoked"_s, this,
                  SLOT(actionInvoked(uint, QString)));
}

void DesktopNotifications::post(ConnectionNotice notice, const QString &profileName,
                                const QUuid &profile, const QString &body)
{
    // A notification server that runs, or that the bus would start, counts as permission;
    // without one, nothing goes out.
    if (!m_bus.isConnected())
        return;
    QDBusConnectionInterface *bus = m_bus.interface();
    if (!bus->isServiceRegistered(service) &&
        !bus->activatableServiceNames().value().contains(service))
        return;
    const Notice next{notice, profileName, body};
    if (m_inFlight.contains(profile)) {
        m_waiting.insert(profile, next);
        return;
    }
    send(profile, next);
}

void DesktopNotifications::send(const QUuid &profile, const Notice &notice)
{
    m_inFlight.insert(profile);
    const QString uuid = uuidText(profile);
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, service, u"Notify"_s);
    const QString text =
        notice.body.isEmpty() ? notice.profileName : notice.profileName + u'\n' + notice.body;
    call << u"VellSSH"_s << m_shown.value(profile, 0u) << QString() << title(notice.notice) << text
         << QStringList{u"default"_s, u"Show"_s}
         << QVariantMap{{u"category"_s, categoryIdentifier}, {u"x-vellssh-profile"_s, uuid}} << -1;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, profile](QDBusPendingCallWatcher *finished) {
                const QDBusPendingReply<uint> reply = *finished;
                finished->deleteLater();
                if (reply.isError())
                    qCWarning(lcNotifications, "Failed to add request: %s",
                              qPrintable(reply.error().message()));
                else
                    m_shown.insert(profile, reply.value());
                m_inFlight.remove(profile);
                if (m_waiting.contains(profile))
                    send(profile, m_waiting.take(profile));
            });
}

void DesktopNotifications::actionInvoked(uint id, const QString &action)
{
    if (action != u"default"_s)
        return;
    for (auto it = m_shown.cbegin(); it != m_shown.cend(); ++it) {
        if (it.value() == id) {
            Q_EMIT profileActivated(it.key());
            return;
        }
    }
}
