// A status-notifier watcher with a host on the session bus, for tests that read tray items.
// It ends when the bus goes away, so it never outlives the test's private bus.
#include "statusnotifierwatcher.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    StatusNotifierWatcher watcher(bus);
    if (!watcher.serve())
        return 1;
    // Qt says nothing when the bus closes the connection: it is looked at now and then.
    QTimer busWatch;
    QObject::connect(&busWatch, &QTimer::timeout, &app, [] {
        if (!QDBusConnection::sessionBus().isConnected())
            QCoreApplication::quit();
    });
    busWatch.start(1000);
    return app.exec();
}
