#include "editorsample.h"
#include "forwarding.h"
#include "forwardingeditor.h"
#include "forwardingform.h"
#include "forwardinglistmodel.h"
#include "generalpage.h"
#include "objectcontext.h"
#include "profile.h"
#include "profiledraft.h"
#include "profileeditor.h"
#include "profileeditors.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void replaceText(QLineEdit *field, const QString &text)
{
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

QStringList rows(const ForwardingListModel &model)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts.append(model.index(row).data().toString());
    return texts;
}

QList<qint16> priorities(const Profile &profile)
{
    QList<qint16> values;
    for (const Forwarding *forwarding : profile.sortedForwardings())
        values.append(forwarding->priority());
    return values;
}

} // namespace

class ForwardingEditorTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SampleStore> m_store;
    std::unique_ptr<ProfileEditors> m_editors;
    ProfileEditor *m_editor = nullptr;
    std::unique_ptr<QAbstractItemModelTester> m_tester;

    ForwardingEditor *forwardings() const { return m_editor->generalPage()->forwardings(); }
    ForwardingForm *form() const { return forwardings()->form(); }
    ForwardingListModel *model() const { return forwardings()->model(); }

    void add(const QString &bindPort, const QString &target, const QString &targetPort)
    {
        forwardings()->addAction()->trigger();
        replaceText(form()->bindPortField(), bindPort);
        replaceText(form()->targetAddressField(), target);
        replaceText(form()->targetPortField(), targetPort);
    }

private Q_SLOTS:
    void init()
    {
        m_store = std::make_unique<SampleStore>();
        ProfileEditorServices services;
        services.store = m_store->app.get();
        m_editors = std::make_unique<ProfileEditors>(services);
        m_editor = *m_editors->create();
        replaceText(m_editor->generalPage()->nameField(), u"Web"_s);
        QTest::keyClicks(m_editor->generalPage()->hostField(), u"example.org"_s);
        QTest::keyClicks(m_editor->generalPage()->userField(), u"me"_s);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    void cleanup()
    {
        m_tester.reset();
        m_editors.reset();
        m_store.reset();
    }

    void addsAndDescribesForwardings()
    {
        add(u"8080"_s, u"db"_s, u"5432"_s);
        QCOMPARE(rows(*model()), QStringList{u"Local: 8080 → db:5432"_s});
        QCOMPARE(form()->bindPortField()->text(), u"8080"_s);
        forwardings()->copyAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"-L 8080:db:5432"_s);

        add(u"1080"_s, QString(), QString());
        QTest::keyClick(form()->kindChooser(), Qt::Key_Down);
        QTest::keyClick(form()->kindChooser(), Qt::Key_Down);
        QCOMPARE(form()->kindChooser()->currentText(), u"Dynamic Port Forwarding"_s);
        QVERIFY(!form()->targetAddressField()->isVisibleTo(form()));
        QCOMPARE(model()->index(1).data().toString(), u"Dynamic: 1080"_s);
        forwardings()->copyAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), u"-D 1080"_s);

        QVERIFY(m_editor->save());
        Profile *saved = profileNamed(m_store->main(), u"Web"_s);
        QCOMPARE(saved->sortedForwardings().size(), 2);
        QCOMPARE(saved->sortedForwardings().at(1)->kind(), ForwardingType::dynamic);
        QCOMPARE(priorities(*saved), (QList<qint16>{0, 1}));
    }

    void reordersDuplicatesAndRemoves()
    {
        add(u"1001"_s, u"a"_s, u"1"_s);
        add(u"1002"_s, u"b"_s, u"2"_s);
        add(u"1003"_s, u"c"_s, u"3"_s);
        forwardings()->selectRow(2);
        forwardings()->moveUpAction()->trigger();
        QCOMPARE(forwardings()->currentRow(), 1);
        QVERIFY(rows(*model()).at(1).contains(u"1003"_s));
        forwardings()->moveDownAction()->trigger();
        QVERIFY(rows(*model()).at(2).contains(u"1003"_s));
        QVERIFY(!forwardings()->moveDownAction()->isEnabled());

        forwardings()->selectRow(0);
        forwardings()->duplicateAction()->trigger();
        QCOMPARE(forwardings()->currentRow(), 1);
        QCOMPARE(rows(*model()).at(1), rows(*model()).at(0));
        QCOMPARE(model()->rowCount(), 4);
        Profile *draft = m_editor->draft().profile();
        QCOMPARE(priorities(*draft), (QList<qint16>{0, 1, 2, 3}));

        forwardings()->selectRow(2);
        forwardings()->removeAction()->trigger();
        QCOMPARE(model()->rowCount(), 3);
        QVERIFY(rows(*model()).at(2).contains(u"1003"_s));

        // A drag puts a row before the row it is dropped on.
        QMimeData *dragged = model()->mimeData({model()->index(2)});
        QVERIFY(model()->canDropMimeData(dragged, Qt::MoveAction, 0, 0, {}));
        model()->dropMimeData(dragged, Qt::MoveAction, 0, 0, {});
        delete dragged;
        QVERIFY(rows(*model()).at(0).contains(u"1003"_s));

        QVERIFY(m_editor->save());
        const QList<Forwarding *> saved =
            profileNamed(m_store->main(), u"Web"_s)->sortedForwardings();
        QCOMPARE(saved.size(), 3);
        QCOMPARE(saved.at(0)->bindPort(), 1003);
        QCOMPARE(saved.at(1)->bindPort(), 1001);
        QCOMPARE(saved.at(2)->bindPort(), 1001);
    }

    void refusesInvalidValues()
    {
        add(u"8080"_s, QString(), u"80"_s);
        QVERIFY(form()->targetAddressField()->property("invalid").toBool());
        QVERIFY(!model()->index(0).data(ForwardingListModel::acceptableRole).toBool());
        QVERIFY(!m_editor->save());
        QCOMPARE(m_editor->hintLabel()->text(), u"Invalid port forwarding values"_s);
        QVERIFY(m_store->main().profiles().isEmpty());

        // A disabled forwarding is kept but never used, so it is not checked.
        QVERIFY(model()->setData(model()->index(0), Qt::Unchecked, Qt::CheckStateRole));
        QVERIFY(!form()->targetAddressField()->property("invalid").toBool());
        QVERIFY(m_editor->save());
        const Profile *saved = profileNamed(m_store->main(), u"Web"_s);
        QCOMPARE(saved->forwardings().size(), 1);
        QVERIFY(!saved->forwardings().first()->enabled());
    }

    // Even where a port may be left out (a socket path needs none), text that is no port is
    // refused; it stays with its forwarding while another one is shown.
    void refusesAPortThatIsNoPort()
    {
        add(u"8080"_s, u"/run/db.sock"_s, u"abc"_s);
        QVERIFY(form()->targetPortField()->property("invalid").toBool());
        QCOMPARE(form()->portMessage()->text(), u"The port must be a number from 1 to 65535."_s);
        add(u"8081"_s, u"db"_s, u"5432"_s);
        QVERIFY(!form()->targetPortField()->property("invalid").toBool());
        QVERIFY(form()->portMessage()->text().isEmpty());

        QVERIFY(!m_editor->save());
        QCOMPARE(m_editor->hintLabel()->text(),
                 u"Please check and fill in the fields marked in red."_s);
        QCOMPARE(forwardings()->currentRow(), 0);
        QCOMPARE(form()->targetPortField()->text(), u"abc"_s);
        QVERIFY(form()->targetPortField()->property("invalid").toBool());
        QVERIFY(m_store->main().profiles().isEmpty());

        replaceText(form()->targetPortField(), QString());
        QVERIFY(!form()->targetPortField()->property("invalid").toBool());
        QVERIFY(m_editor->save());
        QCOMPARE(profileNamed(m_store->main(), u"Web"_s)->forwardings().size(), 2);
    }

    void followsForwardingsChangedElsewhere()
    {
        add(u"8080"_s, u"db"_s, u"5432"_s);
        QVERIFY(m_editor->save());
        Profile *saved = profileNamed(m_store->main(), u"Web"_s);
        m_editor = *m_editors->edit(*saved->uuid());
        m_tester = std::make_unique<QAbstractItemModelTester>(
            model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(model()->rowCount(), 1);

        ObjectContext &cli = m_store->other();
        QVERIFY(!cli.mergeCommitted());
        Profile *there = profileNamed(cli, u"Web"_s);
        ForwardingData data;
        data.bindPort = 9000;
        data.targetAddress = u"localhost"_s;
        data.targetPort = 3000;
        data.type = 1;
        data.enabled = true;
        data.priority = -1;
        data.uuid = QUuid::createUuid();
        cli.insertForwarding(data)->setProfile(there);
        QVERIFY(!cli.save());
        QTRY_COMPARE(model()->rowCount(), 2);
        QCOMPARE(rows(*model()).first(), u"Remote: 9000 → localhost:3000"_s);
    }
};

VELL_UI_TEST_MAIN(ForwardingEditorTest)
#include "tst_forwardingeditor.moc"
