#include "connectionpage.h"
#include "editorsample.h"
#include "notificationpermission.h"
#include "notificationserver.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class NotificationNoteTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void explainsWhyNoticesDoNotArrive()
    {
        NotificationPermission permission;
        QTRY_COMPARE_WITH_TIMEOUT(permission.status(), NotificationPermission::Status::denied,
                                  10000);
        ConnectionPage page(nullptr, &permission);
        QCOMPARE(page.notificationNote()->text(),
                 u"To receive notifications, turn on *Allow notifications* in *System Settings* "
                 "> *Notifications* > *VellSSH*."_s);
        QVERIFY(page.notificationNote()->isVisibleTo(&page));

        NotificationServer server;
        QVERIFY(server.serve(u"notifications"_s));
        QSignalSpy changed(&permission, &NotificationPermission::statusChanged);
        permission.refresh();
        QVERIFY(changed.wait(10000));
        QCOMPARE(permission.status(), NotificationPermission::Status::authorized);
        QVERIFY(!page.notificationNote()->isVisibleTo(&page));
        server.stop();
    }

    void quietDeliveryHasItsNote()
    {
        QCOMPARE(NotificationPermission::note(NotificationPermission::Status::provisional),
                 u"Notifications are currently delivered quietly"_s);
        QVERIFY(NotificationPermission::note(NotificationPermission::Status::authorized).isEmpty());
    }
};

VELL_UI_TEST_MAIN(NotificationNoteTest)
#include "tst_notificationnote.moc"
