#pragma once

#include <QString>
#include <QUuid>

// The desktop notices a session posts about its connection.
enum class ConnectionNotice
{
    connected,
    connectionRestored,
    connectionInterrupted,
    connectionFailed
};

QString title(ConnectionNotice notice);

// Where sessions post their notices; the desktop's notification service sits behind it.
class ConnectionNoticeSink
{
public:
    virtual ~ConnectionNoticeSink() = default;
    // The body is the reason of a failure or interruption, empty otherwise.
    virtual void post(ConnectionNotice notice, const QString &profileName, const QUuid &profile,
                      const QString &body) = 0;
};
