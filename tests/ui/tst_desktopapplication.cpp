#include "appfixture.h"
#include "desktopapplication.h"
#include "dialogscript.h"
#include "foldersync.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profileeditor.h"
#include "profilelistview.h"
#include "sessioninspector.h"
#include "settings.h"
#include "settingswindow.h"
#include "sidebarmodel.h"
#include "tag.h"
#include "tunnelmenubaritem.h"
#include "tunnelservice.h"

#include <QAction>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

// The desktop as the application assembles it: the window's requests reach the editors, the
// inspector and the exchange commands, and quitting waits for an open editor.
class DesktopApplicationTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<TunnelService> m_service;
    std::unique_ptr<DesktopApplication> m_desktop;

    MainWindow &window() const { return m_desktop->window(); }
    ProfileListView *list() const
    {
        return window().findChild<ProfileListView *>(u"profileList"_s);
    }

    static QStringList menuTexts(const QMenu *menu)
    {
        QStringList texts;
        for (const QAction *action : menu->actions())
            texts.append(action->text());
        return texts;
    }

    bool inspectorShows(const QString &text) const
    {
        const auto *inspector = window().findChild<SessionInspector *>(u"session-inspector"_s);
        const QList<QLabel *> labels = inspector->findChildren<QLabel *>();
        return std::any_of(labels.cbegin(), labels.cend(),
                           [&](const QLabel *label) { return label->text() == text; });
    }

private Q_SLOTS:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        VellAppDelegate &app = m_fixture->app();
        m_service = std::make_unique<TunnelService>(app.store(), &app.container());
        m_desktop = std::make_unique<DesktopApplication>(app, *m_service, QString());
        m_desktop->start({});
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    void cleanup()
    {
        m_desktop.reset();
        m_service.reset();
        m_fixture.reset();
    }

    void theWindowsRequestsReachTheirControllers()
    {
        Profile *web = m_fixture->addProfile(u"web"_s);
        m_fixture->addProfile(u"db"_s);
        window().showProfile(*web->uuid());
        QTRY_VERIFY_WITH_TIMEOUT(inspectorShows(u"web"_s), 10000);

        QTest::keyClick(list(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->editors().editors().size(), 1, 10000);
        QCOMPARE(m_desktop->editors().editorOf(*web->uuid()), m_desktop->editors().editorWindow());
        window().activateWindow();
        QTest::keyClick(list(), Qt::Key_Return);
        QCOMPARE(m_desktop->editors().editors().size(), 1);

        const QStringList file = menuTexts(window().fileMenu());
        QVERIFY(file.contains(u"Import Profiles…"_s));
        QVERIFY(file.contains(u"Export Selected Profiles…"_s));
        QCOMPARE(file.constLast(), u"Quit"_s);
        const QStringList edit = menuTexts(window().editMenu());
        for (const QString &entry : {u"Cut"_s, u"Copy"_s, u"Paste"_s})
            QVERIFY2(edit.contains(entry), qPrintable(entry));
    }

    // Cut in All, then paste with a tag shown: the profile comes back into that tag.
    void cutAndPasteMovesAProfileIntoTheTagShown()
    {
        Tag *work = m_fixture->addTag(u"work"_s);
        Profile *web = m_fixture->addProfile(u"web"_s);
        window().showProfile(*web->uuid());
        QTRY_COMPARE_WITH_TIMEOUT(window().selectedProfiles(), QList<Profile *>{web}, 10000);
        list()->setFocus();
        QTest::keySequence(list(), QKeySequence::Cut);
        QTRY_VERIFY(web->isInTrash());

        auto *sidebar = window().findChild<QListView *>(u"sidebar"_s);
        sidebar->setCurrentIndex(
            static_cast<SidebarModel *>(sidebar->model())->indexOf(SidebarItem::forTag(work)));
        QTRY_VERIFY(window().selectedTag() == work);
        sidebar->setFocus();
        QTest::keySequence(sidebar, QKeySequence::Paste);
        QTRY_VERIFY(!web->isInTrash());
        QVERIFY(web->hasTag(work));
    }

    void settingsOpenFromTheMenuAndOnTheTabAskedFor()
    {
        const QAction *settings = window().findChild<QAction *>(u"settings"_s);
        QCOMPARE(settings->text(), u"Settings…"_s);
        QVERIFY(settings->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Comma)));
        QVERIFY(menuTexts(window().editMenu()).contains(u"Settings…"_s));

        SettingsWindow &settingsWindow = m_desktop->settingsWindow();
        QVERIFY(!settingsWindow.isVisible());
        window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window()));
        QTest::keyClick(list(), Qt::Key_Comma, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(settingsWindow.isVisible(), 10000);
        QCOMPARE(settingsWindow.selectedItem(), SettingsItemTag::general);

        settingsWindow.close();
        m_desktop->showSettings(SettingsItemTag::sync);
        QVERIFY(settingsWindow.isVisible());
        QCOMPARE(settingsWindow.selectedItem(), SettingsItemTag::sync);
        settingsWindow.close();
        m_desktop->showSettings();
        QCOMPARE(settingsWindow.selectedItem(), SettingsItemTag::sync);
    }

    void theInspectorFollowsTheSelectionToNone()
    {
        Profile *web = m_fixture->addProfile(u"web"_s);
        window().showProfile(*web->uuid());
        const auto *inspector = window().findChild<SessionInspector *>(u"session-inspector"_s);
        QTRY_VERIFY_WITH_TIMEOUT(inspectorShows(u"web"_s), 10000);

        auto *sidebar = window().findChild<QListView *>(u"sidebar"_s);
        auto *items = static_cast<SidebarModel *>(sidebar->model());
        QTest::mouseClick(sidebar->viewport(), Qt::LeftButton, {},
                          sidebar->visualRect(items->indexOf(SidebarItem::trash())).center());
        QCOMPARE(window().selectedSidebarItem().kind, SidebarItem::Kind::recentDeleted);
        QVERIFY(window().selectedProfiles().isEmpty());
        QVERIFY(!inspector->isShowingSession());
    }

    // Offscreen there is no tray to stand for the application.
    void menuBarModeWithoutATrayOpensTheWindow()
    {
        m_desktop.reset();
        QVERIFY(!m_fixture->app().settings().set(SettingKeys::appIconMode, AppIconMode::menuBar));
        m_desktop = std::make_unique<DesktopApplication>(m_fixture->app(), *m_service, QString());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"shows no tray items"_s));
        m_desktop->start({});
        QVERIFY(window().isVisible());
        QVERIFY(m_desktop->menuBarItem().isPresent());
    }

    void quittingWaitsForAnOpenEditor()
    {
        Profile *web = m_fixture->addProfile(u"web"_s);
        QVERIFY(m_desktop->editors().edit(*web->uuid()));
        DialogScript script;
        QString asked;
        script.then(u"quitQuestion"_s, [&](QWidget *dialog) {
            asked = qobject_cast<QMessageBox *>(dialog)->text();
            DialogScript::click(dialog, u"Cancel"_s);
        });
        window().findChild<QAction *>(u"quit"_s)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), 10000);
        QCOMPARE(asked, u"You have unsaved changes."_s);
        QVERIFY(m_desktop->editors().hasOpenEditor());
        QVERIFY(m_desktop->editors().editorWindow()->isVisible());
    }

    void quitsKeyWorksFromAnEditor()
    {
        Profile *web = m_fixture->addProfile(u"web"_s);
        auto editor = m_desktop->editors().edit(*web->uuid());
        QVERIFY(editor);
        window().hide();
        (*editor)->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(*editor));
        DialogScript script;
        QString title;
        script.then(u"quitQuestion"_s, [&](QWidget *dialog) {
            title = dialog->windowTitle();
            DialogScript::click(dialog, u"Cancel"_s);
        });
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), 10000);
        QCOMPARE(title, u"VellSSH"_s);
        QVERIFY(m_desktop->editors().hasOpenEditor());
    }

    void anUnusableSyncFolderIsToldOnceUntilItsReasonChanges()
    {
        VellAppDelegate &app = m_fixture->app();
        QSignalSpy told(&app, &VellAppDelegate::syncFolderUnavailable);
        const QString folder = QDir::tempPath() + u"/sync-away"_s;
        QVERIFY(!app.settings().set(SettingKeys::syncFolderPath, std::optional(folder)));
        QVERIFY(!app.settings().set(SettingKeys::iCloudSync, true));
        QTRY_COMPARE_WITH_TIMEOUT(told.size(), 1, 10000);
        auto alert = [this] { return window().findChild<QMessageBox *>(); };
        QTRY_VERIFY_WITH_TIMEOUT(alert() && alert()->isVisible(), 10000);
        QCOMPARE(alert()->windowTitle(), u"Sync Folder Unavailable"_s);
        QCOMPARE(alert()->text(), u"The sync folder “%1” is missing."_s.arg(folder));

        // Every pass finds it away again; nobody is told twice.
        QSignalSpy failed(&app.folderSync(), &FolderSync::failed);
        app.folderSync().passSoon();
        QVERIFY(failed.wait(10000));
        QCOMPARE(told.size(), 1);

        // Usable for a while, then a file takes its place: a new reason, in the same alert.
        QSignalSpy passed(&app.folderSync(), &FolderSync::passed);
        QVERIFY(QDir().mkpath(folder));
        app.folderSync().passSoon();
        QVERIFY(passed.wait(10000));
        QVERIFY(!app.syncFolderProblem());
        QVERIFY(QDir(folder).removeRecursively());
        QFile file(folder);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        app.folderSync().passSoon();
        QTRY_COMPARE_WITH_TIMEOUT(told.size(), 2, 10000);
        QCOMPARE(window().findChildren<QMessageBox *>().size(), 1);
        QCOMPARE(alert()->text(), u"The sync folder “%1” cannot be written."_s.arg(folder));
    }
};

VELL_UI_TEST_MAIN(DesktopApplicationTest)
#include "tst_desktopapplication.moc"
