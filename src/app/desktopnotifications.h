#pragma once

#include "connectionnotices.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QUuid>

// Connection notices on the desktop through org.freedesktop.Notifications: one notification per
// profile, each new one replacing the last; clicking it asks for the profile to be shown. With
// no notification server on the bus, running or activatable, nothing is delivered, silently.
class DesktopNotifications : public QObject, public ConnectionNoticeSink
{
    Q_OBJECT

public:
    static inline const QString categoryIdentifier =
        QStringLiteral("io.vellssh.user-notification.connection");

    explicit DesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus(),
                                  QObject *parent = nullptr);

    void post(ConnectionNotice notice, const QString &profileName, const QUuid &profile,
              const QString &body) override;

Q_SIGNALS:
    // The user clicked the notification of this profile.
    void profileActivated(const QUuid &profile);

private Q_SLOTS:
    void actionInvoked(uint id, const QString &action);

private:
    struct Notice
    {
        ConnectionNotice notice;
        QString profileName;
        QString body;
    };
    void send(const QUuid &profile, const Notice &notice);

    QDBusConnection m_bus;
    QHash<QUuid, uint> m_shown;
    // Profiles whose last notice is on its way, and the notice that waits for it, so that it
    // can replace it.
    QSet<QUuid> m_inFlight;
    QHash<QUuid, Notice> m_waiting;
};
