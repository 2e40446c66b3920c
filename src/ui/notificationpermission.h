#pragma once

#include <QDBusConnection>
#include <QObject>

// Whether connection notices can reach the user, as the profile editor explains it. The
// desktop's notification service takes the place of a permission: one that runs, or that the
// bus can start, is a granted permission; one that holds notices back ("do not disturb") lets
// them arrive quietly; none at all is a refusal.
class NotificationPermission : public QObject
{
    Q_OBJECT

public:
    enum class Status
    {
        notDetermined,
        denied,
        authorized,
        provisional
    };

    explicit NotificationPermission(QDBusConnection bus = QDBusConnection::sessionBus(),
                                    QObject *parent = nullptr);

    Status status() const { return m_status; }
    // Asks the bus again, without waiting for the answer.
    void refresh();

    // The note for the status, empty when there is nothing to say.
    static QString note(Status status);
    // The program that shows the desktop's notification settings, when one is installed.
    static QStringList settingsCommand();

Q_SIGNALS:
    void statusChanged(NotificationPermission::Status status);

private:
    void setStatus(Status status);
    void askInhibited();

    QDBusConnection m_bus;
    Status m_status = Status::notDetermined;
};
