#include "appfixture.h"
#include "forwarding.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profilelistmodel.h"
#include "programrun.h"
#include "sessioncontainer.h"
#include "sidebarmodel.h"
#include "sshdfixture.h"
#include "stateicons.h"
#include "tag.h"
#include "transferableprofile.h"
#include "undoableedit.h"
#include "undostack.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

int cli(const QStringList &arguments)
{
    const ProgramRun run = runProgram(QStringLiteral(VELLSSH_CLI), arguments);
    if (run.code != 0)
        qWarning("%s", qPrintable(run.err));
    return run.code;
}

QStringList names(const QAbstractItemModel &model)
{
    QStringList result;
    for (int row = 0; row < model.rowCount(); ++row)
        result.append(model.index(row, 0).data().toString());
    return result;
}

InvocationInputs noInputs()
{
    return {};
}

} // namespace

class ProfileListModelTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<ProfileListModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;

    ProfileListModel &listModel()
    {
        m_model = std::make_unique<ProfileListModel>(&m_fixture->context(),
                                                     &m_fixture->app().container(), noInputs);
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        return *m_model;
    }

    ObjectContext &context() const { return m_fixture->context(); }

    void edit(const std::function<void()> &edits)
    {
        QVERIFY(!performUndoable(context(), u"Edit"_s, edits));
    }

private Q_SLOTS:
    void init() { m_fixture = std::make_unique<AppFixture>(); }

    void cleanup()
    {
        m_tester.reset();
        m_model.reset();
        m_fixture.reset();
    }

    void rowsFollowEditsUndoAndRedoOneByOne()
    {
        m_fixture->addProfile(u"db 10"_s);
        Profile *web = m_fixture->addProfile(u"web"_s);
        Profile *dbNine = m_fixture->addProfile(u"db 9"_s);
        ProfileListModel &model = listModel();
        QCOMPARE(names(model), (QStringList{u"db 9"_s, u"db 10"_s, u"web"_s}));
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);
        const QPersistentModelIndex kept = model.indexOf(dbNine);

        edit([&] { web->setPinned(true); });
        QCOMPARE(names(model), (QStringList{u"web"_s, u"db 9"_s, u"db 10"_s}));
        Profile *dbTen = model.profiles().at(2);
        edit([&] { dbTen->setName(u"alpha"_s); });
        Profile *cache = nullptr;
        edit([&] { cache = context().insertProfile(); });
        edit([&] { cache->setName(u"cache"_s); });
        QCOMPARE(names(model), (QStringList{u"web"_s, u"alpha"_s, u"cache"_s, u"db 9"_s}));
        edit([&] { moveToTrash({dbTen}); });
        QCOMPARE(names(model), (QStringList{u"web"_s, u"cache"_s, u"db 9"_s}));

        context().undo();
        QCOMPARE(names(model), (QStringList{u"web"_s, u"alpha"_s, u"cache"_s, u"db 9"_s}));
        context().undo();
        context().undo();
        QCOMPARE(names(model), (QStringList{u"web"_s, u"alpha"_s, u"db 9"_s}));
        context().redo();
        context().redo();
        QCOMPARE(names(model), (QStringList{u"web"_s, u"alpha"_s, u"cache"_s, u"db 9"_s}));
        QVERIFY(!deletePermanently({cache}, context()));
        QCOMPARE(names(model), (QStringList{u"web"_s, u"alpha"_s, u"db 9"_s}));

        QCOMPARE(resets.size(), 0);
        QCOMPARE(layouts.size(), 0);
        QCOMPARE(model.profileAt(kept), dbNine);
    }

    void profilesChangedTogetherAllFindTheirPlace()
    {
        QList<Profile *> profiles;
        for (const QString &name : {u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"f"_s})
            profiles.append(m_fixture->addProfile(name));
        ProfileListModel &model = listModel();
        QItemSelectionModel selection(&model);
        selection.select(model.indexOf(profiles.at(0)), QItemSelectionModel::Select);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

        // Crossing renames and two pins in one step: each passes over the others' old places.
        edit([&] {
            profiles.at(0)->setName(u"y"_s);
            profiles.at(5)->setName(u"0"_s);
            profiles.at(3)->setPinned(true);
            profiles.at(1)->setPinned(true);
        });
        QCOMPARE(names(model), (QStringList{u"b"_s, u"d"_s, u"0"_s, u"c"_s, u"e"_s, u"y"_s}));
        context().undo();
        QCOMPARE(names(model), (QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"f"_s}));
        QCOMPARE(resets.size(), 0);
        QCOMPARE(model.profileAt(selection.selectedIndexes().value(0)), profiles.at(0));
    }

    void searchNeedsEveryWordAndFollowsEdits()
    {
        m_fixture->addProfile(u"db"_s, [&](Profile &p) {
            Forwarding *forwarding = context().insertForwarding();
            forwarding->edit([](ForwardingData &d) { d.note = u"billing replica"_s; });
            forwarding->setProfile(&p);
        });
        m_fixture->addProfile(u"billing"_s);
        Profile *web = m_fixture->addProfile(u"web"_s);
        m_fixture->addProfile(u"a.c"_s);
        m_fixture->addProfile(u"abc"_s);
        ProfileListModel &model = listModel();

        model.setSearchText(u"db billing"_s);
        QCOMPARE(names(model), QStringList{u"db"_s});
        model.setSearchText(u" \t "_s);
        QCOMPARE(model.rowCount(), 5);
        model.setSearchText(u"a.c"_s);
        QCOMPARE(names(model), QStringList{u"a.c"_s});

        model.setSearchText(u"db"_s);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        edit([&] { web->setNote(u"keeps the db backups"_s); });
        QCOMPARE(names(model), (QStringList{u"db"_s, u"web"_s}));
        edit([&] { web->setNote(std::nullopt); });
        QCOMPARE(names(model), QStringList{u"db"_s});

        Tag *prod = m_fixture->addTag(u"prod"_s);
        edit([&] { web->addTag(prod); });
        model.setSearchText(u"prod"_s);
        QCOMPARE(names(model), QStringList{u"web"_s});
        resets.clear();
        edit([&] { prod->setName(u"staging"_s); });
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(resets.size(), 0);
    }

    void changesSavedByTheCommandLineArriveRowByRow()
    {
        // The command line works on the store at its default place.
        m_fixture.reset();
        m_fixture = std::make_unique<AppFixture>(PersistenceController::defaultStorePath());
        Profile *db = m_fixture->addProfile(u"db"_s);
        m_fixture->addProfile(u"web"_s);
        ProfileListModel &model = listModel();
        QItemSelectionModel selection(&model);
        selection.select(model.indexOf(db), QItemSelectionModel::Select);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

        QCOMPARE(cli({u"add"_s, u"--name"_s, u"cache"_s, u"--host"_s, u"h"_s, u"--user"_s, u"u"_s}),
                 0);
        QTRY_COMPARE_WITH_TIMEOUT(names(model), (QStringList{u"cache"_s, u"db"_s, u"web"_s}),
                                  10000);
        QCOMPARE(cli({u"pin"_s, u"web"_s}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(names(model), (QStringList{u"web"_s, u"cache"_s, u"db"_s}),
                                  10000);
        QCOMPARE(cli({u"trash"_s, u"cache"_s}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(names(model), (QStringList{u"web"_s, u"db"_s}), 10000);

        QCOMPARE(resets.size(), 0);
        QCOMPARE(selection.selectedIndexes().size(), 1);
        QCOMPARE(model.profileAt(selection.selectedIndexes().first()), db);
    }

    void aStateChangeRepaintsOnlyItsRow()
    {
        m_fixture->addProfile(u"a"_s);
        m_fixture->addProfile(u"b"_s);
        Profile *refused = m_fixture->addProfile(u"c"_s, [](Profile &p) {
            p.setPort(SshdFixture::freePort());
            p.setRetryAttempts(0);
        });
        ProfileListModel &model = listModel();
        QItemSelectionModel selection(&model);
        selection.select(QItemSelection(model.index(0, 0), model.index(1, 0)),
                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);

        TunnelSession *session = m_fixture->app().container().session(*refused->uuid());
        session->connect();
        QTRY_COMPARE_WITH_TIMEOUT(session->lastState(), SessionState::abnormalDisconnect, 20000);

        QVERIFY(changed.size() >= 2);
        for (const QList<QVariant> &arguments : std::as_const(changed)) {
            const auto topLeft = arguments.at(0).value<QModelIndex>();
            const auto bottomRight = arguments.at(1).value<QModelIndex>();
            QCOMPARE(topLeft.row(), 2);
            QCOMPARE(bottomRight.row(), 2);
        }
        const QModelIndex status = model.index(2, ProfileListModel::statusColumn);
        // The reason, not only that it ended.
        QVERIFY2(status.data().toString().contains(u"Connection refused"_s),
                 qPrintable(status.data().toString()));
        QCOMPARE(status.data(Qt::ToolTipRole).toString(), status.data().toString());
        QCOMPARE(model.index(2, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
                 stateIcon(SessionState::abnormalDisconnect, false).cacheKey());
        QCOMPARE(resets.size(), 0);
        QCOMPARE(layouts.size(), 0);
        QCOMPARE(selection.selectedRows().size(), 2);
    }

    void sidebarListsTagsByNameAndRefusesBadNames()
    {
        m_fixture->addTag(u"b 10"_s);
        Tag *nine = m_fixture->addTag(u"b 9"_s);
        m_fixture->addTag(u"alpha"_s);
        SidebarModel model(&context());
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(names(model), (QStringList{u"All"_s, u"alpha"_s, u"b 9"_s, u"b 10"_s,
                                            u"Untagged"_s, u"Recently Deleted"_s}));
        QSignalSpy rejected(&model, &SidebarModel::tagNameRejected);

        const QModelIndex nineRow = model.indexOf(SidebarItem::forTag(nine));
        QVERIFY(!model.setData(nineRow, u"  "_s, Qt::EditRole));
        QVERIFY(!model.setData(nineRow, u"alpha"_s, Qt::EditRole));
        QCOMPARE(rejected.size(), 2);
        const auto blank = rejected.at(0).at(0).value<Error>();
        QCOMPARE(blank.message, u"Tag names can't be blank."_s);
        QCOMPARE(blank.recoverySuggestion, u"Please choose a different name."_s);
        QCOMPARE(rejected.at(1).at(0).value<Error>().message, u"Tag name conflict"_s);

        QVERIFY(model.setData(nineRow, u"Alpha"_s, Qt::EditRole));
        QCOMPARE(names(model).mid(1, 3), (QStringList{u"Alpha"_s, u"alpha"_s, u"b 10"_s}));
        QCOMPARE(context().undoStack()->undoActionName(), u"Rename Tag"_s);
        context().undo();
        QCOMPARE(names(model).mid(1, 3), (QStringList{u"alpha"_s, u"b 9"_s, u"b 10"_s}));

        QVERIFY(
            !performUndoable(context(), u"Delete Tag"_s, [&] { context().deleteObject(nine); }));
        QCOMPARE(model.rowCount(), 5);
        context().undo();
        QCOMPARE(model.tagAt(model.index(2, 0)), nine);
    }

    void profilesDroppedOnATagGetIt()
    {
        Profile *db = m_fixture->addProfile(u"db"_s);
        Profile *web = m_fixture->addProfile(u"web"_s);
        Tag *prod = m_fixture->addTag(u"prod"_s);
        ProfileListModel &list = listModel();
        SidebarModel sidebar(&context());
        std::unique_ptr<QMimeData> dragged(
            list.mimeData({list.indexOf(db), list.indexOf(web, ProfileListModel::serverColumn)}));
        QVERIFY(dragged->hasFormat(TransferableProfile::mimeType));
        QCOMPARE(dragged->text().split(u'\n').size(), 2);

        const QModelIndex all = sidebar.indexOf(SidebarItem::all());
        const QModelIndex tag = sidebar.indexOf(SidebarItem::forTag(prod));
        QVERIFY(!sidebar.canDropMimeData(dragged.get(), Qt::CopyAction, -1, 0, all));
        QVERIFY(sidebar.dropMimeData(dragged.get(), Qt::CopyAction, -1, 0, tag));
        QVERIFY(db->hasTag(prod) && web->hasTag(prod));
        QCOMPARE(context().profiles().size(), 2);
        context().undo();
        QVERIFY(!db->hasTag(prod) && !web->hasTag(prod));
    }

    void rowTexts_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("server");
        QTest::newRow("full") << u"me"_s << u"db.example"_s << 2222 << u"me@db.example:2222"_s;
        QTest::newRow("no user, no port") << QString() << u"db"_s << 0 << u"db"_s;
        QTest::newRow("IPv6") << u"me"_s << u"::1"_s << 22 << u"me@[::1]:22"_s;
    }

    void rowTexts()
    {
        QFETCH(QString, user);
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(QString, server);
        Profile *profile = m_fixture->addProfile(u"p"_s, [&](Profile &p) {
            p.setUser(user.isEmpty() ? std::nullopt : std::optional(user));
            p.setAddress(address);
            p.setPort(port);
            for (qint16 type : {0, 2, 1}) {
                Forwarding *forwarding = context().insertForwarding();
                forwarding->edit([&](ForwardingData &d) {
                    d.type = type;
                    d.bindPort = 8000 + type;
                    d.targetAddress = u"db"_s;
                    d.targetPort = 5432;
                    d.priority = type;
                    d.enabled = type != 1;
                });
                forwarding->setProfile(&p);
            }
        });
        QCOMPARE(serverText(*profile), server);
        QCOMPARE(forwardingSummary(*profile), u"L 8000:db:5432, D 8002"_s);
    }
};

VELL_UI_TEST_MAIN(ProfileListModelTest)
#include "tst_profilelistmodel.moc"
