#include "desktopnotifications.h"
#include "notificationserver.h"
#include "testenvironment.h"

#include <QDBusConnectionInterface>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

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

        NotificationServer server;
        QVERIFY(server.serve(u"fake"_s));

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
            QList<NotificationServer::Call> calls;
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
        server.stop();
    }
};

VELL_TEST_MAIN(NotificationsTest)
#include "tst_notifications.moc"
