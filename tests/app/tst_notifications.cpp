#include "desktopnotifications.h"
#include "testenvironment.h"

#include <QDBusConnectionInterface>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

// A notification server on the private bus that speaks the freedesktop protocol.
class FakeNotificationServer : public QObject
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

public Q_SLOTS:
    uint Notify(const QString &, uint replaces, const QString &, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int)
    {
        if (!actions.contains(u"default"_s))
            return 0;
        const uint id = replaces ? replaces : uint(calls.size() + 1);
        calls.append({replaces, summary, body, hints, id});
        return id;
    }
    QStringList GetCapabilities() { return {u"actions"_s, u"body"_s}; }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString &action);
};

class NotificationsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noticesReplaceTheirProfilesLastAndClicksComeBack()
    {
        DesktopNotifications notifications;
        const QUuid db = QUuid::createUuid();
        const QUuid web = QUuid::createUuid();
        // No server yet: nothing is delivered, and nothing breaks.
        notifications.post(ConnectionNotice::connected, u"db"_s, db, {});

        FakeNotificationServer server;
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake"_s);
        QVERIFY(bus.registerService(u"org.freedesktop.Notifications"_s));
        QVERIFY(bus.registerObject(u"/org/freedesktop/Notifications"_s, &server,
                                   QDBusConnection::ExportAllSlots |
                                       QDBusConnection::ExportAllSignals));

        notifications.post(ConnectionNotice::connected, u"db"_s, db, {});
        QTRY_COMPARE_WITH_TIMEOUT(server.calls.size(), 1, 10000);
        QCOMPARE(server.calls[0].summary, u"Connected"_s);
        QCOMPARE(server.calls[0].body, u"db"_s);
        QCOMPARE(server.calls[0].replaces, 0u);
        QCOMPARE(server.calls[0].hints.value(u"category"_s).toString(),
                 DesktopNotifications::categoryIdentifier);

        // Two quick ones: the second still replaces the first.
        notifications.post(ConnectionNotice::connectionInterrupted, u"db"_s, db, u"first"_s);
        notifications.post(ConnectionNotice::connectionInterrupted, u"db"_s, db,
                           u"Connection to h closed by remote host."_s);
        notifications.post(ConnectionNotice::connectionFailed, u"web"_s, web, {});
        auto callsFor = [&](const QString &name) {
            QList<FakeNotificationServer::Call> calls;
            for (const auto &call : std::as_const(server.calls)) {
                if (call.body.section(u'\n', 0, 0) == name)
                    calls.append(call);
            }
            return calls;
        };
        QTRY_VERIFY_WITH_TIMEOUT(callsFor(u"db"_s).last().body.endsWith(u"remote host."_s), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(callsFor(u"web"_s).size(), 1, 10000);
        // A notice that comes while the one before is on its way may be dropped for the next,
        // but every later one replaces the first.
        const auto forDb = callsFor(u"db"_s);
        QVERIFY(forDb.size() == 2 || forDb.size() == 3);
        for (qsizetype i = 1; i < forDb.size(); ++i)
            QCOMPARE(forDb[i].replaces, forDb[0].id);
        QCOMPARE(forDb.last().summary, u"Connection Interrupted"_s);
        QCOMPARE(forDb.last().body, u"db\nConnection to h closed by remote host."_s);
        const auto forWeb = callsFor(u"web"_s).first();
        QCOMPARE(forWeb.replaces, 0u);

        QSignalSpy activated(&notifications, &DesktopNotifications::profileActivated);
        Q_EMIT server.ActionInvoked(forWeb.id, u"default"_s);
        QVERIFY(activated.wait(10000));
        QCOMPARE(activated.first().first().toUuid(), web);
        bus.unregisterService(u"org.freedesktop.Notifications"_s);
        QDBusConnection::disconnectFromBus(u"fake"_s);
    }
};

VELL_TEST_MAIN(NotificationsTest)
#include "tst_notifications.moc"
