#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

// A notification server for tests that speaks the freedesktop protocol: it keeps every Notify
// call, honours replaces_id, and clicks through ActionInvoked.
class NotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Call
    {
        uint replaces;
        QString summary;
        QString body;
        QVariantMap hints;
        uint id;
    };
    QList<Call> calls;

    // Takes the server's name on a connection of its own to the session bus.
    bool serve(const QString &connectionName);
    void stop();
    QStringList summaries() const;
    // Each notification's title is also appended to this file, one a line.
    void recordTo(const QString &path) { m_record = path; }

public Q_SLOTS:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints,
                int timeout);
    QStringList GetCapabilities();

Q_SIGNALS:
    void ActionInvoked(uint id, const QString &action);

private:
    QString m_connection;
    QString m_record;
};
