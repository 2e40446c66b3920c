#include "dialogscript.h"
#include "forwarding.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profileimport.h"
#include "profilejson.h"
#include "profiletransfer.h"
#include "tag.h"
#include "testenvironment.h"
#include "transferableprofile.h"
#include "undostack.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = QDir::tempPath() + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    file.write(bytes);
    return path;
}

QByteArray document(const QJsonArray &profiles)
{
    return QJsonDocument(QJsonObject{{u"profiles"_s, profiles}}).toJson();
}

// Types the path into the file dialog's name field and presses Return.
DialogScript::Act choose(const QString &path)
{
    return [path](QWidget *dialog) {
        auto *name = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
        name->setFocus();
        name->setText(path);
        QTest::keyClick(name, Qt::Key_Return);
    };
}

QMessageBox *box(const QString &objectName)
{
    return qobject_cast<QMessageBox *>(DialogScript::shown(objectName));
}

QStringList buttonTexts(QMessageBox *box)
{
    QStringList texts;
    for (QAbstractButton *button : box->buttons())
        texts.append(button->text());
    return texts;
}

// The profile as another running instance hands it over.
TransferableProfile fromElsewhere(QJsonObject json)
{
    json.insert(u"transferId"_s, QUuid::createUuid().toString(QUuid::WithoutBraces));
    return {json, u"ssh elsewhere"_s};
}

} // namespace

// Import, export, copy, cut, paste and drop of profiles, as the person does them.
class ProfileTransferTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PersistenceController> m_store;
    std::unique_ptr<QWidget> m_window;
    ProfileTransfer *m_transfer = nullptr;
    QList<Profile *> m_selection;
    Tag *m_tag = nullptr;

    ObjectContext &context() { return *m_store->mainContext(); }

    Profile *add(const QString &name, const QString &note = u"mine"_s)
    {
        Profile *profile = context().insertProfile();
        profile->setName(name);
        profile->setAddress(name + u".example"_s);
        profile->setNote(note);
        context().processPendingChanges();
        return profile;
    }

    Profile *named(const QString &name)
    {
        for (Profile *profile : context().profiles()) {
            if (profile->name() == name)
                return profile;
        }
        return nullptr;
    }

    QStringList names()
    {
        QStringList all;
        for (const Profile *profile : context().profiles())
            all.append(profile->name().value_or(QString()) +
                       (profile->isInTrash() ? u" (trash)"_s : QString()));
        all.sort();
        return all;
    }

    void select(const QList<Profile *> &profiles)
    {
        m_selection = profiles;
        m_transfer->focusChanged();
    }

    // The result or failure alert that the last operation left open, closed after reading.
    std::pair<QString, QString> takeAlert(const QString &objectName)
    {
        QMessageBox *alert = nullptr;
        [&] { QTRY_VERIFY_WITH_TIMEOUT((alert = box(objectName)), 10000); }();
        if (!alert)
            return {};
        const std::pair texts{alert->text(), alert->informativeText()};
        alert->close();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!box(objectName), 10000); }();
        return texts;
    }

private Q_SLOTS:
    void init()
    {
        m_store = std::move(PersistenceController::openInMemory()).value();
        m_window = std::make_unique<QWidget>();
        m_window->resize(800, 500);
        m_window->show();
        m_transfer = new ProfileTransfer(
            context(),
            [] {
                return InvocationInputs{{}, QDir::tempPath(), {}};
            },
            m_window.get());
        m_selection.clear();
        m_tag = nullptr;
        m_transfer->setFocusSource([this] { return ProfileTransfer::Focus{m_selection, m_tag}; });
        QGuiApplication::clipboard()->clear();
    }

    void cleanup()
    {
        m_window.reset();
        m_store.reset();
    }

    void importAsksAboutEachConflictUntilApplyToAll()
    {
        Profile *a = add(u"a"_s);
        add(u"b"_s);
        add(u"c"_s);
        QJsonArray file;
        for (const QString &name : {u"a"_s, u"b"_s, u"c"_s}) {
            QJsonObject json = profileJSON(*named(name));
            json.insert(u"note"_s, u"theirs"_s);
            file.append(json);
        }
        file.append(QJsonObject{{u"name"_s, u"d"_s}, {u"address"_s, u"d.example"_s}});
        const QString path = writeFile(u"team.velltunnel"_s, document(file));

        QString firstQuestion;
        QStringList buttons;
        bool offered = false;
        bool returnAnswered = true;
        DialogScript script;
        script.then(u"importDialog"_s, choose(path));
        script.then(u"conflictQuestion"_s, [&](QWidget *dialog) {
            auto *question = qobject_cast<QMessageBox *>(dialog);
            firstQuestion = question->informativeText();
            buttons = buttonTexts(question);
            offered = question->checkBox() && question->checkBox()->text() == u"Apply to All"_s;
            // Return must not pick an answer for the person.
            QTest::keyClick(question->focusWidget() ? question->focusWidget() : question,
                            Qt::Key_Return);
            QCoreApplication::processEvents();
            returnAnswered = !question->isVisible();
            DialogScript::click(question, u"Replace"_s);
        });
        script.then(u"conflictQuestion"_s, [](QWidget *dialog) {
            qobject_cast<QMessageBox *>(dialog)->checkBox()->setChecked(true);
            DialogScript::click(dialog, u"Skip"_s);
        });
        m_transfer->importAction()->trigger();

        QTRY_VERIFY_WITH_TIMEOUT(script.done(), 10000);
        QCOMPARE(script.acted(), 3);
        QCOMPARE(firstQuestion, u"An item named “a” already exists. Do you want to replace it "
                                u"with the one you’re importing?"_s);
        QCOMPARE(buttons, (QStringList{u"Replace"_s, u"Skip"_s}));
        QVERIFY(offered);
        QVERIFY(!returnAnswered);
        const auto [title, message] = takeAlert(u"importResult"_s);
        QCOMPARE(title, u"Successfully imported."_s);
        QCOMPARE(message, u"1 items was added, 1 items were replaced, 2 items were skipped."_s);
        QCOMPARE(a->note(), u"theirs"_s);
        QCOMPARE(named(u"b"_s)->note(), u"mine"_s);
        QCOMPARE(named(u"c"_s)->note(), u"mine"_s);
        QVERIFY(named(u"d"_s));
        QCOMPARE(context().undoStack()->undoActionName(), u"Import from team.velltunnel"_s);
    }

    void oneProfileIsAskedAboutWithoutApplyToAll()
    {
        Profile *a = add(u"a"_s);
        QJsonObject json = profileJSON(*a);
        json.insert(u"note"_s, u"theirs"_s);
        const QString path = writeFile(u"one.vellshell"_s, document({json}));
        bool offered = true;
        DialogScript script;
        script.then(u"conflictQuestion"_s, [&](QWidget *dialog) {
            offered = qobject_cast<QMessageBox *>(dialog)->checkBox() != nullptr;
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        m_transfer->openFiles({path});
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), 10000);
        QVERIFY(!offered);
        QCOMPARE(takeAlert(u"importResult"_s).second,
                 u"0 items was added, 1 items were skipped."_s);
        QCOMPARE(a->note(), u"mine"_s);
    }

    // Opening a file must not run what it carries: a profile that runs a local command is
    // imported only when the person says so.
    void aFileWithCommandsIsImportedOnlyWhenConfirmed()
    {
        const QJsonObject runs{{u"name"_s, u"evil"_s},
                               {u"address"_s, u"example.org"_s},
                               {u"autoConnect"_s, true},
                               {u"options"_s, QJsonObject{{u"proxycommand"_s, u"sh -c id"_s}}}};
        const QString path = writeFile(u"evil.velltunnel"_s, document({runs}));
        for (const QString &answer : {u"Cancel"_s, u"Import"_s}) {
            QString named;
            DialogScript script;
            script.then(u"commandsQuestion"_s, [&](QWidget *dialog) {
                named = qobject_cast<QMessageBox *>(dialog)->informativeText();
                DialogScript::click(dialog, answer);
            });
            m_transfer->openFiles({path});
            QTRY_VERIFY_WITH_TIMEOUT(script.done(), 10000);
            QVERIFY2(named.startsWith(u"“evil”"_s), qPrintable(named));
            const QList<Profile *> profiles = m_store->mainContext()->profiles();
            const bool imported =
                std::any_of(profiles.cbegin(), profiles.cend(),
                            [](const Profile *p) { return p->name() == u"evil"_s; });
            QCOMPARE(imported, answer == u"Import"_s);
        }
        takeAlert(u"importResult"_s);
    }

    void filesThatCannotBeImportedAreNamedAndChangeNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("title");
        QTest::newRow("not JSON") << u"broken.velltunnel"_s << QByteArray("{\"profiles\": [")
                                  << u"Failed to import!"_s;
        QTest::newRow("no profiles")
            << u"empty.json"_s << QByteArray("{\"other\": 1}") << u"Failed to import!"_s;
        QTest::newRow("another kind of file")
            << u"notes.txt"_s << QByteArray("[]") << u"Import/Export Error"_s;
    }

    void filesThatCannotBeImportedAreNamedAndChangeNothing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, title);
        add(u"a"_s);
        context().undoStack()->removeAllActions();
        DialogScript script;
        script.then(u"importDialog"_s, choose(writeFile(name, bytes)));
        m_transfer->importAction()->trigger();
        QVERIFY(script.done());
        const auto [shownTitle, message] = takeAlert(u"exchangeFailure"_s);
        QCOMPARE(shownTitle, title);
        QVERIFY2(message.contains(name), qPrintable(message));
        QCOMPARE(names(), QStringList{u"a"_s});
        QVERIFY(!context().undoStack()->canUndo());
    }

    // A drop of many files says what came of them together, not in an alert per file.
    void manyFilesAtOnceAreReportedTogether()
    {
        QStringList paths;
        for (const QString &name : {u"x"_s, u"y"_s}) {
            QJsonObject json = profileJSON(*add(name));
            json.insert(u"uuid"_s, QUuid::createUuid().toString(QUuid::WithoutBraces));
            json.insert(u"name"_s, name + u" from a file"_s);
            paths.append(writeFile(name + u".velltunnel"_s, document({json})));
        }
        paths.append(writeFile(u"broken.velltunnel"_s, "{\"profiles\": ["));
        paths.append(QDir::tempPath() + u"/gone.velltunnel"_s);
        paths.append(writeFile(u"empty.velltunnel"_s, "{}"));
        m_transfer->openFiles(paths);

        QCOMPARE(takeAlert(u"importResult"_s).second, u"2 items was added."_s);
        QMessageBox *failure = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((failure = box(u"exchangeFailure"_s)), 10000);
        const QStringList lines = failure->informativeText().split(u'\n');
        QCOMPARE(lines.first(), u"3 files could not be imported."_s);
        const QStringList reasons = lines.mid(2);
        QCOMPARE(reasons.size(), 3);
        for (qsizetype i = 0; i < reasons.size(); ++i)
            QVERIFY2(reasons[i].contains(QFileInfo(paths[2 + i]).fileName()),
                     qPrintable(reasons[i]));
        failure->close();
        QCOMPARE(names(), (QStringList{u"x"_s, u"x from a file"_s, u"y"_s, u"y from a file"_s}));
    }

    // Files opened together are one run: "Apply to All" is offered while more files wait, the
    // answer holds for the rest of them, and one undo takes them all back.
    void applyToAllHoldsForTheFilesOpenedTogether()
    {
        QStringList paths;
        QList<Profile *> mine;
        for (const QString &name : {u"p"_s, u"q"_s, u"r"_s}) {
            mine.append(add(name));
            QJsonObject json = profileJSON(*mine.last());
            json.insert(u"note"_s, u"theirs"_s);
            paths.append(writeFile(name + u".velltunnel"_s, document({json})));
        }
        int asked = 0;
        DialogScript script;
        script.then(u"conflictQuestion"_s, [&](QWidget *dialog) {
            ++asked;
            qobject_cast<QMessageBox *>(dialog)->checkBox()->setChecked(true);
            DialogScript::click(dialog, u"Replace"_s);
        });
        m_transfer->openFiles(paths);
        QCOMPARE(asked, 0);
        QCOMPARE(takeAlert(u"importResult"_s).second,
                 u"0 items was added, 3 items were replaced."_s);
        QCOMPARE(asked, 1);
        for (const Profile *profile : std::as_const(mine))
            QCOMPARE(profile->note(), u"theirs"_s);
        QCOMPARE(context().undoStack()->undoActionName(), u"Import Profiles"_s);
        context().undo();
        for (const Profile *profile : std::as_const(mine))
            QCOMPARE(profile->note(), u"mine"_s);
    }

    void aMissingFileIsNamed()
    {
        const QString path = QDir::tempPath() + u"/gone.velltunnel"_s;
        m_transfer->openFiles({path});
        const auto [title, message] = takeAlert(u"exchangeFailure"_s);
        QCOMPARE(title, u"Failed to import!"_s);
        QVERIFY2(message.contains(path), qPrintable(message));
    }

    void actionsFollowTheFocusTheLibraryAndTheClipboard()
    {
        QVERIFY(!m_transfer->exportAllAction()->isEnabled());
        QVERIFY(!m_transfer->exportSelectedAction()->isEnabled());
        QVERIFY(!m_transfer->copyAction()->isEnabled());
        QVERIFY(!m_transfer->pasteAction()->isEnabled());
        Profile *a = add(u"a"_s);
        QTRY_VERIFY(m_transfer->exportAllAction()->isEnabled());
        select({a});
        QVERIFY(m_transfer->exportSelectedAction()->isEnabled());
        QVERIFY(m_transfer->cutAction()->isEnabled());
        m_transfer->copyAction()->trigger();
        QTRY_VERIFY(m_transfer->pasteAction()->isEnabled());
        QGuiApplication::clipboard()->setText(u"rm -rf ~"_s);
        QTRY_VERIFY(!m_transfer->pasteAction()->isEnabled());
        // What is already in the trash cannot be cut again.
        a->setDeletedOn(QDateTime::currentDateTime());
        context().processPendingChanges();
        select({a});
        QVERIFY(!m_transfer->cutAction()->isEnabled());
        QVERIFY(m_transfer->copyAction()->isEnabled());
        QTRY_VERIFY(!m_transfer->exportAllAction()->isEnabled());
        QCOMPARE(m_transfer->importAction()->shortcut(), QKeySequence(QKeySequence::Open));
        QCOMPARE(m_transfer->pasteAction()->shortcut(), QKeySequence(QKeySequence::Paste));
    }

    void exportWritesTheChosenProfiles()
    {
        Profile *a = add(u"a"_s);
        add(u"b"_s);
        Profile *c = add(u"c"_s);
        add(u"old"_s)->setDeletedOn(QDateTime::currentDateTime());
        context().processPendingChanges();
        auto exported = [](const QString &path) {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
            QStringList names;
            for (const QJsonValue &profile : root.value(u"profiles"_s).toArray())
                names.append(profile[u"name"_s].toString());
            return std::pair{root.value(u"appID"_s).toString(), names};
        };

        select({c, a});
        const QString selected = QDir::tempPath() + u"/selected.velltunnel"_s;
        QString suggested;
        DialogScript script;
        script.then(u"exportDialog"_s, [&](QWidget *dialog) {
            suggested = qobject_cast<QFileDialog *>(dialog)->selectedFiles().value(0);
            choose(selected)(dialog);
        });
        m_transfer->exportSelectedAction()->trigger();
        QVERIFY(script.done());
        QVERIFY2(suggested.endsWith(u"/Profiles.velltunnel"_s), qPrintable(suggested));
        QCOMPARE(exported(selected),
                 (std::pair{u"io.vellssh.VellSSH"_s, QStringList{u"a"_s, u"c"_s}}));

        // Without a suffix the file gets the interchange one.
        const QString all = QDir::tempPath() + u"/everything"_s;
        script.then(u"exportDialog"_s, choose(all));
        m_transfer->exportAllAction()->trigger();
        QVERIFY(script.done());
        QCOMPARE(exported(all + u".velltunnel"_s).second, (QStringList{u"a"_s, u"b"_s, u"c"_s}));

        const QString nowhere = QDir::tempPath() + u"/missing/folder/x.velltunnel"_s;
        QVERIFY(!m_transfer->exportTo(nowhere, {a}));
        const auto [title, message] = takeAlert(u"exchangeFailure"_s);
        QCOMPARE(title, u"Import/Export Error"_s);
        QVERIFY2(message.contains(nowhere), qPrintable(message));
    }

    void copyAndPasteInOneRunMakesCopies()
    {
        Profile *web = add(u"web"_s);
        Forwarding *forwarding = context().insertForwarding();
        forwarding->edit([](ForwardingData &data) {
            data.bindPort = 8080;
            data.targetAddress = u"localhost"_s;
            data.targetPort = 80;
        });
        forwarding->setProfile(web);
        context().processPendingChanges();
        select({web});
        m_transfer->copyAction()->trigger();
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data->hasFormat(TransferableProfile::mimeType));
        QVERIFY2(data->text().startsWith(u"ssh "_s), qPrintable(data->text()));
        QVERIFY(data->text().contains(u"web.example"_s));

        m_transfer->pasteAction()->trigger();
        QCOMPARE(names(), (QStringList{u"web"_s, u"web Copy"_s}));
        QCOMPARE(named(u"web Copy"_s)->forwardings().size(), 1);
        QCOMPARE(named(u"web Copy"_s)->forwardings().first()->bindPort(), 8080);
        QCOMPARE(context().undoStack()->undoActionName(), u"Paste “web Copy”"_s);

        // Into the tag on show.
        m_tag = context().insertTag({});
        m_tag->setName(u"work"_s);
        m_transfer->pasteAction()->trigger();
        QCOMPARE(names(), (QStringList{u"web"_s, u"web Copy"_s, u"web Copy 1"_s}));
        QVERIFY(named(u"web Copy 1"_s)->hasTag(m_tag));
        QVERIFY(!web->hasTag(m_tag));
    }

    void pasteFromAnotherRunImportsAndAsksAboutItsUuid()
    {
        Profile *db = add(u"db"_s);
        QJsonObject changed = profileJSON(*db);
        changed.insert(u"note"_s, u"theirs"_s);
        const QJsonObject fresh{{u"name"_s, u"cache"_s}, {u"address"_s, u"cache.example"_s}};
        QGuiApplication::clipboard()->setMimeData(
            mimeData({fromElsewhere(changed), fromElsewhere(fresh)}).release());
        QTRY_VERIFY(m_transfer->pasteAction()->isEnabled());
        context().undoStack()->removeAllActions();

        QString question;
        DialogScript script;
        script.then(u"conflictQuestion"_s, [&](QWidget *dialog) {
            question = qobject_cast<QMessageBox *>(dialog)->informativeText();
            DialogScript::click(dialog, u"Replace"_s);
        });
        m_transfer->pasteAction()->trigger();
        QVERIFY(script.done());
        QVERIFY(question.contains(u"“db”"_s));
        QCOMPARE(names(), (QStringList{u"cache"_s, u"db"_s}));
        QCOMPARE(db->note(), u"theirs"_s);
        QCOMPARE(context().undoStack()->undoActionName(), u"Paste Profiles"_s);
        context().undo();
        QCOMPARE(names(), QStringList{u"db"_s});
        QCOMPARE(db->note(), u"mine"_s);
    }

    void pastingWhatIsNoProfileDoesNothing_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("text/plain") << QByteArray("ssh -L 1:host:2 gate");
        QTest::newRow("broken profile data")
            << TransferableProfile::mimeType.toUtf8() << QByteArray("[{\"json\": 5}, \"x\"");
        QTest::newRow("a profile without name")
            << TransferableProfile::mimeType.toUtf8()
            << QByteArray("[{\"json\": {\"address\": \"h\"}, \"profileCommand\": \"ssh h\"}]");
    }

    void pastingWhatIsNoProfileDoesNothing()
    {
        QFETCH(QByteArray, format);
        QFETCH(QByteArray, bytes);
        add(u"a"_s);
        context().undoStack()->removeAllActions();
        auto *data = new QMimeData;
        data->setData(QString::fromUtf8(format), bytes);
        QGuiApplication::clipboard()->setMimeData(data);
        m_transfer->paste();
        QCOMPARE(names(), QStringList{u"a"_s});
        QVERIFY(!context().undoStack()->canUndo());
        QVERIFY(!DialogScript::shown(u"exchangeFailure"_s));
    }

    void cutTrashesInOneStepAndPastingBringsTheProfilesBack()
    {
        Profile *a = add(u"a"_s);
        Profile *b = add(u"b"_s);
        add(u"c"_s);
        select({a, b});
        m_transfer->cutAction()->trigger();
        QCOMPARE(names(), (QStringList{u"a (trash)"_s, u"b (trash)"_s, u"c"_s}));
        QVERIFY(QGuiApplication::clipboard()->mimeData()->hasFormat(TransferableProfile::mimeType));
        QCOMPARE(context().undoStack()->undoActionName(), u"Cut Profiles"_s);
        context().undo();
        QCOMPARE(names(), (QStringList{u"a"_s, u"b"_s, u"c"_s}));

        // Cut and paste moves: the same profiles come back, into the tag on show.
        m_tag = context().insertTag({});
        m_tag->setName(u"work"_s);
        select({a});
        m_transfer->cutAction()->trigger();
        QCOMPARE(context().undoStack()->undoActionName(), u"Cut “a”"_s);
        m_transfer->pasteAction()->trigger();
        QCOMPARE(names(), (QStringList{u"a"_s, u"b"_s, u"c"_s}));
        QVERIFY(a->hasTag(m_tag));
        QCOMPARE(context().undoStack()->undoActionName(), u"Paste “a”"_s);
        // A second paste of the same makes a copy.
        m_transfer->pasteAction()->trigger();
        QCOMPARE(names(), (QStringList{u"a"_s, u"a Copy"_s, u"b"_s, u"c"_s}));
    }

    void aDropOntoATagImportsOrCopiesAndTags()
    {
        Profile *web = add(u"web"_s);
        Tag *work = context().insertTag({});
        work->setName(u"work"_s);
        const QJsonObject remote{{u"name"_s, u"remote"_s}, {u"address"_s, u"r.example"_s}};
        auto data = mimeData({fromElsewhere(remote), TransferableProfile::from(*web, {})});
        QVERIFY(ProfileTransfer::carriesProfiles(data.get()));
        QVERIFY(m_transfer->dropProfiles(*data, work));
        QCOMPARE(names(), (QStringList{u"remote"_s, u"web"_s, u"web Copy"_s}));
        QVERIFY(named(u"remote"_s)->hasTag(work));
        QVERIFY(named(u"web Copy"_s)->hasTag(work));
        QVERIFY(!web->hasTag(work));

        QMimeData text;
        text.setText(u"web"_s);
        QVERIFY(!ProfileTransfer::carriesProfiles(&text));
        QVERIFY(!m_transfer->dropProfiles(text, work));
    }
};

VELL_UI_TEST_MAIN(ProfileTransferTest)
#include "tst_profiletransfer.moc"
