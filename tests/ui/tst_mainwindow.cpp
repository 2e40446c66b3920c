#include "appfixture.h"
#include "forwarding.h"
#include "maincommands.h"
#include "mainwindow.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profilelistmodel.h"
#include "profilelistview.h"
#include "queries.h"
#include "sessioncontainer.h"
#include "sessioninspector.h"
#include "settings.h"
#include "sidebarmodel.h"
#include "sidebarview.h"
#include "sshdfixture.h"
#include "stateicons.h"
#include "tag.h"
#include "undostack.h"

#include <QAction>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class MainWindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<MainWindow> m_window;

    MainWindow &openWindow()
    {
        m_window = std::make_unique<MainWindow>(m_fixture->app());
        m_window->show();
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            qFatal("the window did not become active");
        return *m_window;
    }

    ObjectContext &context() const { return m_fixture->context(); }
    ProfileListView *list() const
    {
        return m_window->findChild<ProfileListView *>(u"profileList"_s);
    }
    QListView *sidebar() const { return m_window->findChild<QListView *>(u"sidebar"_s); }
    QLineEdit *search() const { return m_window->findChild<QLineEdit *>(u"search"_s); }
    QAction *action(const QString &name) const { return m_window->findChild<QAction *>(name); }

    QStringList listed() const
    {
        QStringList names;
        for (const Profile *profile : list()->profileModel()->profiles())
            names.append(profile->displayName());
        return names;
    }

    void clickRow(const QString &name, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QList<Profile *> &rows = list()->profileModel()->profiles();
        const auto it = std::find_if(rows.cbegin(), rows.cend(),
                                     [&](const Profile *p) { return p->displayName() == name; });
        QVERIFY2(it != rows.cend(), qPrintable(name));
        const QRect rect = list()->visualRect(list()->profileModel()->indexOf(*it));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    void chooseSidebar(const SidebarItem &item)
    {
        auto *model = static_cast<SidebarModel *>(sidebar()->model());
        const QRect rect = sidebar()->visualRect(model->indexOf(item));
        QTest::mouseClick(sidebar()->viewport(), Qt::LeftButton, {}, rect.center());
    }

    QMessageBox *visibleBox(const QString &name) const
    {
        for (QMessageBox *box : m_window->findChildren<QMessageBox *>(name)) {
            if (box->isVisible())
                return box;
        }
        return nullptr;
    }

    // Answers the sheet and waits until the window has the keyboard again.
    void press(QMessageBox *box, const QString &text)
    {
        const QList<QAbstractButton *> buttons = box->buttons();
        const auto it = std::find_if(buttons.cbegin(), buttons.cend(),
                                     [&](const QAbstractButton *b) { return b->text() == text; });
        QVERIFY2(it != buttons.cend(), qPrintable(u"no button "_s + text));
        (*it)->click();
        QTRY_VERIFY(QApplication::activeWindow() == m_window.get());
    }

    QLineEdit *tagEditor() const
    {
        for (QLineEdit *editor : sidebar()->viewport()->findChildren<QLineEdit *>()) {
            if (editor->isVisible())
                return editor;
        }
        return nullptr;
    }

    void renameTo(const QString &name)
    {
        QTRY_VERIFY(tagEditor());
        QLineEdit *editor = tagEditor();
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClicks(editor, name);
        QTest::keyClick(editor, Qt::Key_Return);
    }

    void dropOn(const QModelIndex &target, QMimeData *data, bool expectAccepted)
    {
        QWidget *viewport = sidebar()->viewport();
        const QPoint at = sidebar()->visualRect(target).center();
        QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QCOMPARE(move.isAccepted(), expectAccepted);
        QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drop);
    }

private Q_SLOTS:
    void init() { m_fixture = std::make_unique<AppFixture>(); }

    void cleanup()
    {
        m_window.reset();
        m_fixture.reset();
    }

    void findingFromTheKeyboardKeepsTheSelection()
    {
        m_fixture->addProfile(u"db primary"_s);
        m_fixture->addProfile(u"db replica"_s, [](Profile &p) { p.setNote(u"billing"_s); });
        m_fixture->addProfile(u"web"_s);
        MainWindow &window = openWindow();
        QCOMPARE(window.size(), MainWindow::defaultSize);
        clickRow(u"db replica"_s);

        QTest::keyClick(list(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(search()->hasFocus());
        QCOMPARE(search()->placeholderText(), u"Find"_s);
        QTest::keyClicks(search(), u"db billing"_s);
        QCOMPARE(listed(), QStringList{u"db replica"_s});
        QTest::keyClick(search(), Qt::Key_Escape);
        QCOMPARE(listed(), (QStringList{u"db primary"_s, u"db replica"_s, u"web"_s}));
        QCOMPARE(window.selectedProfiles().size(), 1);
        QCOMPARE(window.selectedProfiles().first()->displayName(), u"db replica"_s);
        QTest::keyClick(search(), Qt::Key_Down);
        QVERIFY(list()->hasFocus());
    }

    // A search that hides the selected profile leaves nothing for the commands to act on
    // unseen: Delete once trashed the hidden one.
    void commandsNeverActOnAProfileTheSearchHides()
    {
        m_fixture->addProfile(u"alpha"_s);
        m_fixture->addProfile(u"bravo"_s);
        openWindow();
        clickRow(u"alpha"_s);
        QTest::keyClick(list(), Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(search(), u"bravo"_s);
        QCOMPARE(listed(), QStringList{u"bravo"_s});
        QVERIFY(m_window->selectedProfiles().isEmpty());
        QTest::keyClick(search(), Qt::Key_Down);
        QTest::keyClick(list(), Qt::Key_Delete);
        const QList<Profile *> profiles = context().profiles();
        for (const Profile *profile : profiles) {
            if (profile->displayName() == u"alpha"_s)
                QVERIFY(!profile->isInTrash());
        }
    }

    void anEmptyListSaysHowToBeginAndTakesDroppedFiles()
    {
        openWindow();
        QCOMPARE(list()->emptyText(), u"No tunnels yet"_s);
        QTest::keyClicks(search(), u"nothing"_s);
        QCOMPARE(list()->emptyText(), u"No results"_s);
        search()->clear();
        chooseSidebar(SidebarItem::trash());
        QCOMPARE(list()->emptyText(), QString());
        chooseSidebar(SidebarItem::all());
        QCOMPARE(list()->emptyText(), u"No tunnels yet"_s);

        QSignalSpy dropped(m_window.get(), &MainWindow::filesDropped);
        const auto drop = [&](const QString &path) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            const QPoint at = list()->viewport()->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(list()->viewport(), &enter);
            QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(list()->viewport(), &drop);
            return enter.isAccepted();
        };
        QVERIFY(!drop(u"/tmp/notes.txt"_s));
        QVERIFY(drop(u"/tmp/staging.velltunnel"_s));
        QCOMPARE(dropped.size(), 1);
        QCOMPARE(dropped.first().first().toStringList(), QStringList{u"/tmp/staging.velltunnel"_s});
    }

    void aLargeChangeKeepsTheSelection()
    {
        m_fixture->addProfile(u"db"_s);
        m_fixture->addProfile(u"web"_s);
        openWindow();
        clickRow(u"web"_s);
        context().performWithoutUndo([&] {
            for (int i = 0; i <= ProfileListModel::incrementalLimit; ++i)
                context().insertProfile()->setName(u"imported %1"_s.arg(i));
        });
        m_fixture->save();
        QCOMPARE(listed().size(), ProfileListModel::incrementalLimit + 3);
        QCOMPARE(m_window->selectedProfiles().size(), 1);
        QCOMPARE(m_window->selectedProfiles().first()->displayName(), u"web"_s);
        QCOMPARE(list()->currentIndex().row(), listed().indexOf(u"web"_s));
    }

    void deleteTrashesUndoBringsBackAndTheTrashDeletesForGood()
    {
        m_fixture->addProfile(u"db"_s);
        m_fixture->addProfile(u"web"_s);
        openWindow();
        clickRow(u"db"_s);
        QTest::keyClick(list(), Qt::Key_Delete);
        QCOMPARE(listed(), QStringList{u"web"_s});
        QCOMPARE(m_window->selectedProfiles().first()->displayName(), u"web"_s);
        QCOMPARE(action(u"undo"_s)->text(), u"Undo Move to Trash"_s);

        QTest::keyClick(list(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(listed(), (QStringList{u"db"_s, u"web"_s}));
        QTest::keyClick(list(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(listed(), QStringList{u"web"_s});

        chooseSidebar(SidebarItem::trash());
        QLabel *note = m_window->findChild<QLabel *>(u"trashNote"_s);
        QVERIFY(note->isVisible());
        QCOMPARE(note->text(), trashNote());
        QVERIFY(note->text().contains(u"30 days"_s));
        QCOMPARE(listed(), QStringList{u"db"_s});
        QVERIFY(!action(u"connect"_s)->isEnabled());
        clickRow(u"db"_s);
        QVERIFY(action(u"recover"_s)->isEnabled());
        action(u"recover"_s)->trigger();
        QCOMPARE(listed(), QStringList{});
        QCOMPARE(action(u"undo"_s)->text(), u"Undo Recover “db”"_s);
        QTest::keyClick(list(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(listed(), QStringList{u"db"_s});

        clickRow(u"db"_s);
        QTest::keyClick(list(), Qt::Key_Delete);
        QTRY_VERIFY(visibleBox(u"confirmPermanentDeletion"_s));
        QMessageBox *box = visibleBox(u"confirmPermanentDeletion"_s);
        QCOMPARE(box->informativeText(), u"You cannot undo this action."_s);
        press(box, u"Delete"_s);
        QCOMPARE(listed(), QStringList{});
        QCOMPARE(context().profiles().size(), 1);
    }

    void aPermanentDeletionLeavesNothingToUndoAndItsRowGoesAtOnce()
    {
        Tag *work = m_fixture->addTag(u"work"_s);
        m_fixture->addProfile(u"db"_s, [&](Profile &p) {
            p.addTag(work);
            ForwardingData data;
            data.uuid = QUuid::createUuid();
            data.enabled = true;
            data.bindPort = 5432;
            data.targetAddress = u"localhost"_s;
            data.targetPort = 5432;
            context().insertForwarding(data)->setProfile(&p);
        });
        m_fixture->addProfile(u"web"_s);
        openWindow();
        clickRow(u"db"_s);
        QTest::keyClick(list(), Qt::Key_Delete);
        chooseSidebar(SidebarItem::trash());
        QCOMPARE(listed(), QStringList{u"db"_s});
        clickRow(u"db"_s);
        QTest::keyClick(list(), Qt::Key_Delete, Qt::ShiftModifier);
        QTRY_VERIFY(visibleBox(u"confirmPermanentDeletion"_s));
        press(visibleBox(u"confirmPermanentDeletion"_s), u"Delete"_s);

        QCOMPARE(listed(), QStringList{});
        QVERIFY(m_window->selectedProfiles().isEmpty());
        QVERIFY(!action(u"recover"_s)->isEnabled());
        QVERIFY(!action(u"undo"_s)->isEnabled());
        QCOMPARE(action(u"undo"_s)->text(), u"Undo"_s);
        QTest::keyClick(list(), Qt::Key_Z, Qt::ControlModifier);
        chooseSidebar(SidebarItem::all());
        QCOMPARE(listed(), QStringList{u"web"_s});
        QCOMPARE(context().profiles().size(), 1);
    }

    // What another writer deletes leaves the window's list and selection before its record is
    // freed, and the commands go on with what is left.
    void profilesDeletedElsewhereLeaveTheSelection()
    {
        for (const QString &name : {u"a"_s, u"b"_s, u"c"_s})
            m_fixture->addProfile(name);
        openWindow();
        clickRow(u"a"_s);
        clickRow(u"b"_s, Qt::ControlModifier);
        clickRow(u"c"_s, Qt::ControlModifier);
        QCOMPARE(m_window->selectedProfiles().size(), 3);
        const qsizetype held = context().heldObjectCount();
        {
            const StoreLocation &location = m_fixture->app().store().location();
            auto cli = std::move(PersistenceController::open(location, u"cli"_s)).value();
            ObjectContext &other = *cli->mainContext();
            for (Profile *profile : other.profiles()) {
                if (profile->name() == u"b"_s)
                    other.deleteObject(profile);
            }
            QVERIFY(!other.save());
        }
        QTRY_COMPARE_WITH_TIMEOUT(listed(), (QStringList{u"a"_s, u"c"_s}), 10000);
        QTRY_COMPARE(context().heldObjectCount(), held - 1);
        QStringList selected;
        for (const Profile *profile : m_window->selectedProfiles())
            selected.append(profile->displayName());
        QCOMPARE(selected, (QStringList{u"a"_s, u"c"_s}));
        action(u"pin"_s)->trigger();
        const QList<Profile *> left = context().profiles();
        QVERIFY(
            std::all_of(left.cbegin(), left.cend(), [](const Profile *p) { return p->pinned(); }));

        // Another writer undid the same already: undo finds nothing to change and says so.
        QCOMPARE(action(u"undo"_s)->text(), u"Undo Pin"_s);
        const StoreLocation &location = m_fixture->app().store().location();
        const auto otherWriter = [&](const std::function<void(ObjectContext &)> &edit) {
            auto cli = std::move(PersistenceController::open(location, u"cli"_s)).value();
            edit(*cli->mainContext());
            QVERIFY(!cli->mainContext()->save());
        };
        otherWriter([](ObjectContext &other) { setPinned(other.profiles(), false); });
        QTRY_VERIFY_WITH_TIMEOUT(
            std::none_of(left.cbegin(), left.cend(), [](const Profile *p) { return p->pinned(); }),
            10000);
        action(u"undo"_s)->trigger();
        QTRY_VERIFY(visibleBox(u"errorAlert"_s));
        QCOMPARE(
            visibleBox(u"errorAlert"_s)->text(),
            u"Nothing was undone: what “Pin” changed has been deleted or changed elsewhere."_s);
        press(visibleBox(u"errorAlert"_s), u"OK"_s);

        // Everything the steps touched deleted elsewhere: nothing is left to undo or redo.
        otherWriter([](ObjectContext &other) {
            for (Profile *profile : other.profiles())
                other.deleteObject(profile);
        });
        QTRY_COMPARE_WITH_TIMEOUT(listed(), QStringList(), 10000);
        QTRY_VERIFY(!action(u"undo"_s)->isEnabled() && !action(u"redo"_s)->isEnabled());
        QVERIFY(context().profiles().isEmpty());
    }

    // Undo brings a profile back from the trash under a free name, as Recover does.
    void undoneTrashKeepsNamesUnique()
    {
        m_fixture->addProfile(u"und2"_s);
        openWindow();
        clickRow(u"und2"_s);
        QTest::keyClick(list(), Qt::Key_Delete);
        QTRY_COMPARE(listed(), QStringList());
        {
            auto cli = std::move(PersistenceController::open(m_fixture->app().store().location(),
                                                             u"cli"_s))
                           .value();
            Profile *again = cli->mainContext()->insertProfile();
            again->setName(u"und2"_s);
            again->setAddress(u"127.0.0.2"_s);
            QVERIFY(!cli->mainContext()->save());
        }
        QTRY_COMPARE_WITH_TIMEOUT(listed(), QStringList{u"und2"_s}, 10000);
        action(u"undo"_s)->trigger();
        QTRY_COMPARE(listed(), (QStringList{u"und2"_s, u"und2 2"_s}));
        QVERIFY(action(u"redo"_s)->isEnabled());
    }

    void emptyingTheTrashAsksAndDeletesOnlyWhatIsInIt()
    {
        for (const QString &name : {u"a"_s, u"b"_s, u"c"_s})
            m_fixture->addProfile(name);
        openWindow();
        QVERIFY(!action(u"emptyTrash"_s)->isEnabled());
        clickRow(u"a"_s);
        clickRow(u"b"_s, Qt::ControlModifier);
        QTest::keyClick(list(), Qt::Key_Delete);
        QTRY_VERIFY(action(u"emptyTrash"_s)->isEnabled());

        action(u"emptyTrash"_s)->trigger();
        QTRY_VERIFY(visibleBox(u"confirmPermanentDeletion"_s));
        QCOMPARE(visibleBox(u"confirmPermanentDeletion"_s)->text(),
                 u"Delete 2 profiles permanently?"_s);
        press(visibleBox(u"confirmPermanentDeletion"_s), u"Cancel"_s);
        QCOMPARE(context().profiles().size(), 3);

        // What another writer brings back while the question is open stays.
        action(u"emptyTrash"_s)->trigger();
        QTRY_VERIFY(visibleBox(u"confirmPermanentDeletion"_s));
        {
            auto cli = std::move(PersistenceController::open(m_fixture->app().store().location(),
                                                             u"cli"_s))
                           .value();
            for (Profile *profile : cli->mainContext()->profiles()) {
                if (profile->name() == u"a"_s)
                    profile->setDeletedOn(std::nullopt);
            }
            QVERIFY(!cli->mainContext()->save());
        }
        QTRY_COMPARE_WITH_TIMEOUT(listed(), (QStringList{u"a"_s, u"c"_s}), 10000);
        press(visibleBox(u"confirmPermanentDeletion"_s), u"Delete"_s);
        QTRY_COMPARE(context().profiles().size(), 2);
        QCOMPARE(listed(), (QStringList{u"a"_s, u"c"_s}));
        QVERIFY(!action(u"emptyTrash"_s)->isEnabled());
    }

    void commandsAreEnabledOnlyWhenTheyCanAct()
    {
        m_fixture->addProfile(u"db"_s);
        m_fixture->addProfile(u"web"_s);
        openWindow();
        QList<Profile *> edits;
        connect(m_window.get(), &MainWindow::editRequested, this,
                [&](Profile *profile) { edits.append(profile); });
        QList<Tag *> creates;
        connect(m_window.get(), &MainWindow::createRequested, this,
                [&](Tag *tag) { creates.append(tag); });
        for (const QString &name : {u"editProfile"_s, u"duplicateTunnel"_s, u"pin"_s, u"connect"_s,
                                    u"disconnect"_s, u"openInShell"_s, u"delete"_s, u"undo"_s})
            QVERIFY2(!action(name)->isEnabled(), qPrintable(name));
        QVERIFY(action(u"newTunnel"_s)->isEnabled());
        QVERIFY(action(u"connectAll"_s)->isEnabled());
        QVERIFY(!action(u"disconnectAll"_s)->isEnabled());

        clickRow(u"db"_s);
        for (const QString &name : {u"editProfile"_s, u"duplicateTunnel"_s, u"pin"_s, u"connect"_s,
                                    u"openInShell"_s, u"delete"_s})
            QVERIFY2(action(name)->isEnabled(), qPrintable(name));
        QVERIFY(!action(u"disconnect"_s)->isEnabled());
        QTest::keyClick(list(), Qt::Key_Return);
        QCOMPARE(edits, QList<Profile *>{m_window->selectedProfiles().first()});

        clickRow(u"web"_s, Qt::ControlModifier);
        QVERIFY(!action(u"editProfile"_s)->isEnabled());
        QCOMPARE(action(u"pin"_s)->text(), u"Pin"_s);
        QTest::keyClick(list(), Qt::Key_P, Qt::ControlModifier);
        const QList<Profile *> profiles = context().profiles();
        QVERIFY(std::all_of(profiles.cbegin(), profiles.cend(),
                            [](const Profile *p) { return p->pinned(); }));
        QCOMPARE(action(u"pin"_s)->text(), u"Unpin"_s);
        QTRY_COMPARE(action(u"undo"_s)->text(), u"Undo Pin"_s);
        QVERIFY(action(u"undo"_s)->isEnabled());

        Tag *work = m_fixture->addTag(u"work"_s);
        chooseSidebar(SidebarItem::forTag(work));
        QTest::keyClick(list(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(creates, QList<Tag *>{work});
    }

    void openInVellShellWithoutItSaysSo()
    {
        m_fixture->addProfile(u"db"_s);
        openWindow();
        clickRow(u"db"_s);
        action(u"openInShell"_s)->trigger();
        QTRY_VERIFY(visibleBox(u"errorAlert"_s));
        QMessageBox *alert = visibleBox(u"errorAlert"_s);
        QCOMPARE(alert->text(), u"Vell Shell is not installed. Install it to open the tunnels."_s);
        press(alert, alert->buttons().first()->text());
    }

    void tagsAreNamedAndRenamedInPlace()
    {
        openWindow();
        QTest::keyClick(list(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(context().tags().size(), 1);
        QCOMPARE(m_window->selectedTag()->name(), u"unnamed-tag"_s);
        renameTo(QString());
        QTRY_VERIFY(visibleBox(u"errorAlert"_s));
        QMessageBox *blank = visibleBox(u"errorAlert"_s);
        QCOMPARE(blank->text(), u"Tag names can't be blank."_s);
        QCOMPARE(blank->informativeText(), u"Please choose a different name."_s);
        press(blank, blank->buttons().first()->text());

        QTest::keyClick(list(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(m_window->selectedTag()->name(), u"unnamed-tag 1"_s);
        renameTo(u"unnamed-tag"_s);
        QTRY_VERIFY(visibleBox(u"errorAlert"_s));
        QCOMPARE(visibleBox(u"errorAlert"_s)->text(), u"Tag name conflict"_s);
        press(visibleBox(u"errorAlert"_s), visibleBox(u"errorAlert"_s)->buttons().first()->text());

        QTest::keyClick(sidebar(), Qt::Key_F2);
        renameTo(u"work"_s);
        QTRY_COMPARE(m_window->selectedTag()->name(), u"work"_s);
        QCOMPARE(action(u"connectAll"_s)->text(), u"Connect All in Tag “work”"_s);

        sidebar()->setFocus();
        QTest::keyClick(sidebar(), Qt::Key_Delete);
        QTRY_VERIFY(visibleBox(u"confirmTagDeletion"_s));
        press(visibleBox(u"confirmTagDeletion"_s), u"Delete"_s);
        QCOMPARE(context().tags().size(), 1);
        QCOMPARE(m_window->selectedSidebarItem().kind, SidebarItem::Kind::all);
    }

    void profilesDroppedOnATagAreTagged()
    {
        m_fixture->addProfile(u"db"_s);
        m_fixture->addProfile(u"web"_s);
        m_fixture->addProfile(u"cache"_s);
        Tag *work = m_fixture->addTag(u"work"_s);
        openWindow();
        clickRow(u"db"_s);
        clickRow(u"web"_s, Qt::ControlModifier);
        std::unique_ptr<QMimeData> dragged(
            list()->model()->mimeData(list()->selectionModel()->selectedIndexes()));
        auto *model = static_cast<SidebarModel *>(sidebar()->model());

        dropOn(model->indexOf(SidebarItem::all()), dragged.get(), false);
        QVERIFY(work->profiles().isEmpty());
        dropOn(model->indexOf(SidebarItem::forTag(work)), dragged.get(), true);
        QCOMPARE(work->profiles().size(), 2);
        chooseSidebar(SidebarItem::forTag(work));
        QCOMPARE(listed(), (QStringList{u"db"_s, u"web"_s}));
        chooseSidebar(SidebarItem::untagged());
        QCOMPARE(listed(), QStringList{u"cache"_s});
    }

    void aDragLightsUpTheTagItWouldLandOn()
    {
        m_fixture->addProfile(u"db"_s);
        Tag *work = m_fixture->addTag(u"work"_s);
        openWindow();
        clickRow(u"db"_s);
        std::unique_ptr<QMimeData> dragged(
            list()->model()->mimeData(list()->selectionModel()->selectedIndexes()));
        auto *view = static_cast<SidebarView *>(sidebar());
        auto *model = static_cast<SidebarModel *>(view->model());
        const QModelIndex tag = model->indexOf(SidebarItem::forTag(work));
        const QRect tagRow = view->visualRect(tag);
        const QImage unlit = view->viewport()->grab(tagRow).toImage();
        QWidget *viewport = view->viewport();

        // Entering over All keeps the drag alive for the tag below.
        const QPoint overAll = view->visualRect(model->indexOf(SidebarItem::all())).center();
        QDragEnterEvent enter(overAll, Qt::CopyAction, dragged.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QVERIFY(!view->dropTarget().isValid());
        // The edge of the row counts as the row.
        const QPoint nearTop(tagRow.center().x(), tagRow.top() + 1);
        QDragMoveEvent move(nearTop, Qt::CopyAction, dragged.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &move);
        QVERIFY(move.isAccepted());
        QCOMPARE(view->dropTarget(), tag);
        QVERIFY(view->viewport()->grab(tagRow).toImage() != unlit);

        QDragLeaveEvent leave;
        QApplication::sendEvent(viewport, &leave);
        QVERIFY(!view->dropTarget().isValid());
        QCOMPARE(view->viewport()->grab(tagRow).toImage(), unlit);

        QApplication::sendEvent(viewport, &enter);
        QApplication::sendEvent(viewport, &move);
        QDropEvent drop(QPointF(nearTop), Qt::CopyAction, dragged.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(work->profiles().size(), 1);
        QVERIFY(!view->dropTarget().isValid());
    }

    void connectAllActsOnTheTagShown()
    {
        const auto refused = [](Profile &p) {
            p.setPort(SshdFixture::freePort());
            p.setRetryAttempts(0);
        };
        Profile *inTag = m_fixture->addProfile(u"w1"_s, refused);
        Profile *other = m_fixture->addProfile(u"other"_s, refused);
        Tag *work = m_fixture->addTag(u"work"_s);
        inTag->addTag(work);
        m_fixture->save();
        openWindow();
        QCOMPARE(action(u"connectAll"_s)->text(), u"Connect All Tunnels"_s);
        chooseSidebar(SidebarItem::forTag(work));
        QCOMPARE(action(u"connectAll"_s)->text(), u"Connect All in Tag “work”"_s);
        QCOMPARE(action(u"disconnectAll"_s)->text(), u"Disconnect All in Tag “work”"_s);

        QTest::keyClick(list(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        SessionContainer &container = m_fixture->app().container();
        QVERIFY(container.existingSession(*inTag->uuid()));
        QVERIFY(!container.existingSession(*other->uuid()));
        QTRY_COMPARE_WITH_TIMEOUT(container.existingSession(*inTag->uuid())->lastState(),
                                  SessionState::abnormalDisconnect, 20000);
        chooseSidebar(SidebarItem::all());
        QCOMPARE(action(u"connectAll"_s)->text(), u"Connect All Tunnels"_s);
    }

    void disconnectAllCatchesUpWithAConnectAllStillStarting()
    {
        Tag *many = m_fixture->addTag(u"many"_s);
        const quint16 refused = SshdFixture::freePort();
        context().performWithoutUndo([&] {
            for (int i = 0; i < 150; ++i) {
                Profile *profile = context().insertProfile();
                profile->setName(u"t%1"_s.arg(i));
                profile->setAddress(u"127.0.0.1"_s);
                profile->setPort(refused);
                profile->setRetryAttempts(0);
                profile->addTag(many);
            }
        });
        m_fixture->save();
        openWindow();
        chooseSidebar(SidebarItem::forTag(many));
        SessionContainer &container = m_fixture->app().container();
        QSignalSpy changes(&container, &SessionContainer::sessionStateChanged);

        QTest::keyClick(list(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QTest::keyClick(list(), Qt::Key_K,
                        Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
        const auto allIdle = [&] {
            const QList<TunnelSession *> sessions = container.sessions();
            return std::all_of(sessions.cbegin(), sessions.cend(),
                               [](const TunnelSession *s) { return s->canConnect(); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(allIdle(), 20000);
        changes.clear();
        QVERIFY(!changes.wait(1500));
    }

    void aRealTunnelShowsItsStateLive()
    {
        SshdFixture sshd(QDir::tempPath() + u"/sshd"_s);
        if (const QString problem = sshd.start(); !problem.isEmpty())
            QSKIP(qPrintable(problem));
        QVERIFY(
            !m_fixture->app().settings().set(SettingKeys::userConfigFilePath, sshd.clientConfig()));
        Profile *live = m_fixture->addProfile(u"live"_s, [&](Profile &p) {
            p.setUser(u"root"_s);
            p.setPort(sshd.port());
            p.setStringOption(sshd.clientKey(), u"IdentityFile"_s);
        });
        m_fixture->addProfile(u"other"_s);
        openWindow();
        clickRow(u"live"_s);
        QTest::keyClick(list(), Qt::Key_K, Qt::ControlModifier);
        clickRow(u"other"_s, Qt::ControlModifier);

        const QModelIndex status =
            list()->profileModel()->indexOf(live, ProfileListModel::statusColumn);
        QTRY_COMPARE_WITH_TIMEOUT(status.data().toString(), u"Connected"_s, 30000);
        QCOMPARE(list()
                     ->profileModel()
                     ->indexOf(live)
                     .data(Qt::DecorationRole)
                     .value<QIcon>()
                     .cacheKey(),
                 stateIcon(SessionState::connected, false).cacheKey());
        QCOMPARE(m_window->selectedProfiles().size(), 2);
        QTRY_VERIFY(action(u"disconnect"_s)->isEnabled());

        clickRow(u"live"_s);
        QTest::keyClick(list(), Qt::Key_Delete, Qt::ShiftModifier);
        QTRY_VERIFY(visibleBox(u"confirmPermanentDeletion"_s));
        QMessageBox *box = visibleBox(u"confirmPermanentDeletion"_s);
        QVERIFY(box->informativeText().contains(
            u"Connected tunnels will be disconnected before deletion."_s));
        press(box, u"Disconnect and Delete"_s);
        QCOMPARE(listed(), QStringList{u"other"_s});
        QVERIFY(m_fixture->app().container().sessions().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(sshd.connectionProcesses().isEmpty(), 20000);
    }

    void theWindowRemembersItsPlace()
    {
        MainWindow &first = openWindow();
        first.resize(900, 600);
        first.findChild<QSplitter *>(u"sidebarSplitter"_s)->setSizes({300, 600});
        first.close();
        m_window.reset();
        QVERIFY(QFileInfo::exists(QFileInfo(m_fixture->app().settings().filePath()).absolutePath() +
                                  u"/WindowState.conf"_s));

        MainWindow &second = openWindow();
        QCOMPARE(second.size(), QSize(900, 600));
        QCOMPARE(second.findChild<QSplitter *>(u"sidebarSplitter"_s)->sizes().first(), 300);
        QVERIFY(!action(u"showInspector"_s)->isChecked());
        QTest::keyClick(list(), Qt::Key_I, Qt::ControlModifier);
        second.close();
        m_window.reset();

        MainWindow &third = openWindow();
        QVERIFY(action(u"showInspector"_s)->isChecked());
        QVERIFY(third.findChild<QWidget *>(u"inspectorPane"_s)->isVisible());
    }

    void theColumnsFitBesideTheInspector()
    {
        m_fixture->addProfile(u"a tunnel with a rather long name to show"_s, [](Profile &p) {
            p.setAddress(u"a-host-with-a-long-name.internal.example.org"_s);
        });
        MainWindow &window = openWindow();
        window.setInspector(new SessionInspector(&m_fixture->app().container()));
        QTest::keyClick(list(), Qt::Key_I, Qt::ControlModifier);
        const QWidget *pane = window.findChild<QWidget *>(u"inspectorPane"_s);
        QTRY_VERIFY(pane->width() >= 320);
        QCOMPARE(window.size(), MainWindow::defaultSize);
        QTRY_VERIFY(list()->header()->length() <= list()->viewport()->width());
        QVERIFY(!list()->horizontalScrollBar()->isVisible());
        const int status = ProfileListModel::statusColumn;
        QVERIFY(list()->header()->sectionViewportPosition(status) +
                    list()->header()->sectionSize(status) <=
                list()->viewport()->width());
    }

    // A damaged count in a stored blob once made every start allocate without end; a FIFO
    // in the file's place hung the start, and a link was written through.
    void aDamagedOrForeignStateFileIsPassedOver()
    {
        const QString path = QFileInfo(m_fixture->app().settings().filePath()).absolutePath() +
                             u"/WindowState.conf"_s;
        openWindow().resize(900, 600);
        m_window.reset();
        {
            QSettings file(path, QSettings::IniFormat);
            QByteArray columns = file.value(u"MainWindow/columns"_s).toByteArray();
            QVERIFY(columns.size() > 12);
            columns[9] = char(0x7f);
            file.setValue(u"MainWindow/columns"_s, columns);
        }
        QCOMPARE(openWindow().size(), QSize(900, 600));
        m_window.reset();

        QVERIFY(QFile::remove(path));
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QCOMPARE(openWindow().size(), MainWindow::defaultSize);
        m_window.reset();
        QVERIFY(!QFileInfo(path).isFile());
        QVERIFY(QFile::remove(path));
    }

    void showingAProfileRevealsItWhereverItHides()
    {
        Tag *work = m_fixture->addTag(u"work"_s);
        m_fixture->addProfile(u"tagged"_s, [&](Profile &p) { p.addTag(work); });
        Profile *solo = m_fixture->addProfile(u"solo"_s);
        openWindow();
        chooseSidebar(SidebarItem::forTag(work));
        QTest::keyClicks(search(), u"tag"_s);
        QCOMPARE(listed(), QStringList{u"tagged"_s});

        m_window->showProfile(*solo->uuid());
        QCOMPARE(m_window->selectedSidebarItem().kind, SidebarItem::Kind::all);
        QVERIFY(search()->text().isEmpty());
        QCOMPARE(m_window->selectedProfiles(), QList<Profile *>{solo});
        QCOMPARE(list()->currentIndex(), list()->profileModel()->indexOf(solo));
        QVERIFY(list()->hasFocus());
    }
};

VELL_UI_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
