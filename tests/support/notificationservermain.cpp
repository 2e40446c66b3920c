// A notification server that the bus starts on demand: it takes the server's name and appends
// the title of each notification it is sent, one a line, to the file named by its argument.
// It ends when the bus goes away, so it never outlives the test's private bus.
#include "notificationserver.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    NotificationServer server;
    server.recordTo(QString::fromLocal8Bit(argv[1]));
    const QString connection = QStringLiteral("activated");
    if (!server.serve(connection))
        return 1;
    // Qt says nothing when the bus closes the connection: it is looked at now and then.
    QTimer busWatch;
    QObject::connect(&busWatch, &QTimer::timeout, &app, [&connection] {
        if (!QDBusConnection(connection).isConnected())
            QCoreApplication::quit();
    });
    busWatch.start(1000);
    return app.exec();
}
