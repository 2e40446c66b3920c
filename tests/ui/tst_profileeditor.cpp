#include "advancedpage.h"
#include "connectionpage.h"
#include "editorsample.h"
#include "forwarding.h"
#include "forwardingeditor.h"
#include "generalpage.h"
#include "objectcontext.h"
#include "profile.h"
#include "profiledraft.h"
#include "profileeditor.h"
#include "profileeditors.h"
#include "quickoptions.h"
#include "tag.h"
#include "undostack.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void replaceText(QLineEdit *field, const QString &text)
{
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

// The messages the editor shows at the moment, wherever they are.
QStringList shownMessages(const QWidget *window)
{
    QStringList texts;
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (label->isVisibleTo(window) && !label->text().isEmpty())
            texts.append(label->text());
    }
    return texts;
}

void fillRequired(ProfileEditor *editor, const QString &name)
{
    replaceText(editor->generalPage()->nameField(), name);
    replaceText(editor->generalPage()->hostField(), u"example.org"_s);
    replaceText(editor->generalPage()->userField(), u"me"_s);
}

} // namespace

class ProfileEditorTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SampleStore> m_store;
    std::unique_ptr<ProfileEditors> m_editors;

    ObjectContext &main() const { return m_store->main(); }

    ProfileEditor *open(Result<ProfileEditor *> editor)
    {
        if (!editor) {
            qWarning("%s", qPrintable(editor.error().message));
            return nullptr;
        }
        return *editor;
    }

    Profile *sample(const QString &name = u"Staging database"_s)
    {
        Profile *profile = insertSampleProfile(main(), name);
        main().undoStack()->removeAllActions();
        return profile;
    }

    // What another process writes, and the main context merges as the application would.
    void otherWriter(const std::function<void(ObjectContext &)> &edit)
    {
        ObjectContext &other = m_store->other();
        QVERIFY(!other.mergeCommitted());
        edit(other);
        QVERIFY(!other.save());
    }

private Q_SLOTS:
    void init()
    {
        m_store = std::make_unique<SampleStore>();
        ProfileEditorServices services;
        services.store = m_store->app.get();
        m_editors = std::make_unique<ProfileEditors>(services);
    }

    void cleanup()
    {
        m_editors.reset();
        m_store.reset();
    }

    void createsAProfileInOneUndoStep()
    {
        ProfileEditor *editor = open(m_editors->create());
        QVERIFY(editor);
        QCOMPARE(editor->windowTitle(), u"New Profile"_s);
        fillRequired(editor, u"  Web  "_s);
        replaceText(editor->generalPage()->portField(), u"2222"_s);
        QPointer<ProfileEditor> window = editor;
        QSignalSpy saved(m_editors.get(), &ProfileEditors::profileSaved);
        QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
        QCOMPARE(saved.count(), 1);
        QTRY_VERIFY(window.isNull());

        Profile *profile = profileNamed(main(), u"Web"_s);
        QVERIFY(profile);
        QCOMPARE(profile->uuid(), saved.first().first().toUuid());
        QCOMPARE(profile->address(), u"example.org"_s);
        QCOMPARE(profile->port(), 2222);
        QCOMPARE(profile->user(), u"me"_s);
        QVERIFY(!main().hasChanges());
        QVERIFY(!m_store->other().mergeCommitted());
        QVERIFY(profileNamed(m_store->other(), u"Web"_s));

        QCOMPARE(main().undoStack()->undoActionName(), u"New Profile"_s);
        main().undo();
        QVERIFY(!profileNamed(main(), u"Web"_s));
        QVERIFY(!main().undoStack()->canUndo());
    }

    void refusesToSaveWithoutRequiredFields()
    {
        ProfileEditor *editor = open(m_editors->create());
        QVERIFY(editor);
        GeneralPage *general = editor->generalPage();
        replaceText(general->nameField(), QString());
        QTest::mouseClick(editor->saveButton(), Qt::LeftButton);

        QVERIFY(editor->isVisible());
        const QStringList messages = shownMessages(editor);
        QVERIFY(messages.contains(u"Descriptive name is required."_s));
        QVERIFY(messages.contains(u"Hostname or IP address is required."_s));
        QVERIFY(messages.contains(u"Username is required."_s));
        QCOMPARE(editor->hintLabel()->text(),
                 u"Please check and fill in the fields marked in red."_s);
        QVERIFY(general->hostField()->property("invalid").toBool());
        QVERIFY(main().profiles().isEmpty());

        // The messages follow the fields from now on.
        replaceText(general->hostField(), u"example.org"_s);
        QVERIFY(!shownMessages(editor).contains(u"Hostname or IP address is required."_s));
        QVERIFY(!general->hostField()->property("invalid").toBool());
        replaceText(general->nameField(), u"Web"_s);
        replaceText(general->userField(), u"me"_s);
        QVERIFY(editor->hintLabel()->text().isEmpty());
        QVERIFY(editor->save());
        QCOMPARE(main().profiles().size(), 1);
    }

    // Text in the port field that is no port is kept, marked and refused; an empty field means
    // the default port.
    void refusesAPortThatIsNoPort_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("too large") << u"70000"_s;
        QTest::newRow("letters") << u"abc0"_s;
        QTest::newRow("zero") << u"0"_s;
    }
    void refusesAPortThatIsNoPort()
    {
        QFETCH(QString, typed);
        ProfileEditor *editor = open(m_editors->create());
        QVERIFY(editor);
        GeneralPage *general = editor->generalPage();
        fillRequired(editor, u"Web"_s);
        replaceText(general->portField(), typed);
        const QString message = u"The port must be a number from 1 to 65535."_s;
        QVERIFY(general->portField()->property("invalid").toBool());
        QCOMPARE(general->addressMessage()->text(), message);
        QVERIFY(!editor->save());
        QCOMPARE(editor->hintLabel()->text(),
                 u"Please check and fill in the fields marked in red."_s);
        QCOMPARE(general->portField()->text(), typed);
        QVERIFY(main().profiles().isEmpty());

        replaceText(general->portField(), QString());
        QVERIFY(!general->portField()->property("invalid").toBool());
        QVERIFY(general->addressMessage()->text().isEmpty());
        QVERIFY(editor->save());
        QCOMPARE(profileNamed(main(), u"Web"_s)->port(), 0);
    }

    // Each problem of what a field holds is shown under that field and marks it, on whichever
    // page it is; the save goes to the first of them.
    void marksEveryFieldThatHoldsAProblem()
    {
        ProfileEditor *editor = open(m_editors->create());
        QVERIFY(editor);
        GeneralPage *general = editor->generalPage();
        ConnectionPage *connection = editor->connectionPage();
        fillRequired(editor, u"Web"_s);
        replaceText(general->userField(), u"-oProxyCommand=x"_s);
        replaceText(connection->jumpHostsField(), u"bastion,-x"_s);
        QCOMPARE(general->userMessage()->text(),
                 u"The user starts with “-”, which ssh would read as an option."_s);
        QVERIFY(general->userField()->property("invalid").toBool());
        QVERIFY(connection->jumpHostsField()->property("invalid").toBool());
        editor->pages()->setCurrentWidget(connection);
        QVERIFY(shownMessages(editor).contains(
            u"The jump host starts with “-”, which ssh would read as an option."_s));
        editor->draft().profile()->setStringOption(u"ls\nx"_s, u"RemoteCommand"_s);
        QTRY_VERIFY(editor->advancedPage()->optionsMessage()->text().contains(
            u"The option “RemoteCommand” contains a control character."_s));

        for (QWidget *page : {static_cast<QWidget *>(general), static_cast<QWidget *>(connection),
                              static_cast<QWidget *>(editor->advancedPage())}) {
            editor->pages()->setCurrentIndex(2);
            QVERIFY(!editor->save());
            QCOMPARE(editor->pages()->currentWidget(), page);
            QCOMPARE(editor->hintLabel()->text(),
                     u"Please check and fill in the fields marked in red."_s);
            if (page == general)
                replaceText(general->userField(), u"me"_s);
            else if (page == connection)
                replaceText(connection->jumpHostsField(), u"bastion"_s);
        }
        QVERIFY(main().profiles().isEmpty());
        editor->draft().profile()->setStringOption(u"ls"_s, u"RemoteCommand"_s);
        QTRY_VERIFY(editor->advancedPage()->optionsMessage()->text().isEmpty());
        QVERIFY(editor->save());
    }

    // A message coming or going moves no field: a click aimed at one lands on it.
    void messagesMoveNoField()
    {
        ProfileEditor *editor = open(m_editors->create());
        QVERIFY(editor);
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor));
        GeneralPage *general = editor->generalPage();
        QList<QWidget *> fields;
        fields << general->nameField() << general->hostField() << general->portField()
               << general->userField() << general->noteField() << general->forwardings();
        auto places = [&] {
            QCoreApplication::sendPostedEvents();
            QList<QRect> rects;
            for (QWidget *field : fields)
                rects.append(QRect(field->mapTo(editor, QPoint()), field->size()));
            return rects;
        };
        const QList<QRect> before = places();
        QVERIFY(!editor->save());
        replaceText(general->portField(), u"abc"_s);
        QVERIFY(general->userMessage()->text().size() > 0);
        QCOMPARE(places(), before);
    }

    void refusesANameThatIsTaken()
    {
        otherWriter([](ObjectContext &other) { other.insertProfile()->setName(u"Web"_s); });
        QTRY_VERIFY(profileNamed(main(), u"Web"_s));
        ProfileEditor *editor = open(m_editors->create());
        QVERIFY(editor);
        fillRequired(editor, u"web"_s);
        QVERIFY(!editor->save());
        QVERIFY(shownMessages(editor).contains(u"The name “web” is already taken"_s));
        QCOMPARE(editor->hintLabel()->text(),
                 u"The name “web” is already taken\nPlease choose a different name."_s);
        // Typing redraws the field's own line; the hint beside the buttons stays.
        QTest::keyClick(editor->generalPage()->nameField(), Qt::Key_End);
        QTest::keyClicks(editor->generalPage()->nameField(), u"x"_s);
        QTest::keyClick(editor->generalPage()->nameField(), Qt::Key_Backspace);
        QVERIFY(editor->hintLabel()->text().startsWith(u"The name “web” is already taken"_s));
        QCOMPARE(main().profiles().size(), 1);
        QVERIFY(!main().undoStack()->canUndo());
    }

    void fieldsUseTheFormats_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qint32>("stored");
        QTest::newRow("port") << u"22"_s << 22;
        QTest::newRow("letters") << u"abc"_s << 0;
        QTest::newRow("too large") << u"70000"_s << 0;
        QTest::newRow("zero") << u"0"_s << 0;
    }

    void fieldsUseTheFormats()
    {
        QFETCH(QString, typed);
        QFETCH(qint32, stored);
        ProfileEditor *editor = open(m_editors->create());
        QVERIFY(editor);
        replaceText(editor->generalPage()->portField(), typed);
        QCOMPARE(editor->draft().profile()->port(), stored);
        // What was typed stays as typed while it means the same.
        QCOMPARE(editor->generalPage()->portField()->text(), typed);
    }

    void showsStoredValuesThroughTheFormats()
    {
        Profile *profile = sample();
        profile->setPort(70000);
        profile->setName(u"Staging database"_s);
        QVERIFY(!main().save());
        ProfileEditor *editor = open(m_editors->edit(*profile->uuid()));
        QVERIFY(editor);
        QCOMPARE(editor->windowTitle(), u"Edit Profile"_s);
        QCOMPARE(editor->generalPage()->portField()->text(), QString());
        replaceText(editor->generalPage()->userField(), u"  admin \t"_s);
        QCOMPARE(editor->draft().profile()->user(), u"admin"_s);
    }

    void anEditIsOneUndoStep()
    {
        Profile *profile = sample();
        const ProfileData before = profile->data();
        const QList<Forwarding *> forwardingsBefore = profile->sortedForwardings();
        ProfileEditor *editor = open(m_editors->edit(*profile->uuid()));
        QVERIFY(editor);
        replaceText(editor->generalPage()->nameField(), u"Production database"_s);
        replaceText(editor->generalPage()->hostField(), u"db.example.org"_s);
        QComboBox *compression = editor->connectionPage()->compressionChooser();
        QCOMPARE(compression->currentText(), u"Yes"_s);
        QTest::keyClick(compression, Qt::Key_Down);
        QCOMPARE(compression->currentText(), u"No"_s);
        QVERIFY(editor->save());

        QCOMPARE(profile->name(), u"Production database"_s);
        QCOMPARE(::compression(*profile), false);
        QCOMPARE(main().undoStack()->undoActionName(), u"Edit Profile"_s);
        main().undo();
        QCOMPARE(profile->data(), before);
        QCOMPARE(profile->sortedForwardings(), forwardingsBefore);
        QVERIFY(!main().undoStack()->canUndo());
    }

    void cancelKeepsWhatOthersChanged()
    {
        Profile *edited = sample();
        Profile *other = sample(u"Other"_s);
        ProfileEditor *editor = open(m_editors->edit(*edited->uuid()));
        QVERIFY(editor);
        replaceText(editor->generalPage()->nameField(), u"Renamed"_s);

        otherWriter([](ObjectContext &cli) {
            profileNamed(cli, u"Other"_s)->setAddress(u"other.example.org"_s);
            profileNamed(cli, u"Staging database"_s)->setNote(u"Changed by the command line"_s);
        });
        QTRY_COMPARE(other->address(), u"other.example.org"_s);
        // The editor shows the outside change and keeps the user's own.
        QTRY_COMPARE(editor->generalPage()->noteField()->toPlainText(),
                     u"Changed by the command line"_s);
        QCOMPARE(editor->generalPage()->nameField()->text(), u"Renamed"_s);
        QVERIFY(editor->bannerLabel()->isVisibleTo(editor));

        QPointer<ProfileEditor> window = editor;
        QTest::mouseClick(editor->cancelButton(), Qt::LeftButton);
        QTRY_VERIFY(window.isNull());
        QCOMPARE(edited->name(), u"Staging database"_s);
        QCOMPARE(edited->note(), u"Changed by the command line"_s);
        QCOMPARE(other->address(), u"other.example.org"_s);
        QVERIFY(!main().hasChanges());
        QVERIFY(!main().undoStack()->canUndo());
    }

    void saveKeepsWhatOthersChangedMeanwhile()
    {
        Profile *profile = sample();
        ProfileEditor *editor = open(m_editors->edit(*profile->uuid()));
        QVERIFY(editor);
        replaceText(editor->generalPage()->nameField(), u"Renamed"_s);
        // Committed, but not merged by anyone yet when Save starts.
        ObjectContext &cli = m_store->other();
        QVERIFY(!cli.mergeCommitted());
        profileNamed(cli, u"Staging database"_s)->setNote(u"From elsewhere"_s);
        QVERIFY(!cli.save());
        QVERIFY(editor->save());
        QCOMPARE(profile->name(), u"Renamed"_s);
        QCOMPARE(profile->note(), u"From elsewhere"_s);
    }

    void aProfileDeletedElsewhereIsSavedAsANewOne()
    {
        Profile *profile = sample();
        const QUuid uuid = *profile->uuid();
        ProfileEditor *editor = open(m_editors->edit(uuid));
        QVERIFY(editor);
        replaceText(editor->generalPage()->hostField(), u"new.example.org"_s);
        otherWriter(
            [](ObjectContext &cli) { cli.deleteObject(profileNamed(cli, u"Staging database"_s)); });
        QTRY_VERIFY(main().profiles().isEmpty());
        QTRY_COMPARE(editor->windowTitle(), u"New Profile"_s);
        QVERIFY(editor->bannerLabel()->text().contains(u"deleted elsewhere"_s));
        QCOMPARE(editor->generalPage()->hostField()->text(), u"new.example.org"_s);
        QVERIFY(editor->save());
        Profile *again = profileNamed(main(), u"Staging database"_s);
        QVERIFY(again);
        QVERIFY(again->uuid() != uuid);
        QCOMPARE(again->address(), u"new.example.org"_s);
        QCOMPARE(again->forwardings().size(), 4);
    }

    void aProfileTrashedElsewhereIsBroughtBackBySaving()
    {
        Profile *profile = sample();
        ProfileEditor *editor = open(m_editors->edit(*profile->uuid()));
        QVERIFY(editor);
        replaceText(editor->generalPage()->hostField(), u"new.example.org"_s);
        otherWriter([](ObjectContext &cli) {
            profileNamed(cli, u"Staging database"_s)->setDeletedOn(QDateTime::currentDateTimeUtc());
        });
        QTRY_VERIFY(profile->isInTrash());
        QTRY_VERIFY(editor->bannerLabel()->text().contains(u"Recently Deleted elsewhere"_s));
        // Meanwhile another live profile took its name: back among them, it needs another.
        otherWriter(
            [](ObjectContext &cli) { cli.insertProfile()->setName(u"Staging database"_s); });
        QTRY_COMPARE(main().profiles().size(), 2);
        QVERIFY(!editor->save());
        QVERIFY(editor->hintLabel()->text().contains(u"is already taken"_s));
        replaceText(editor->generalPage()->nameField(), u"Staging database (old)"_s);
        QVERIFY(editor->save());
        QVERIFY(!profile->isInTrash());
        QCOMPARE(profile->name(), u"Staging database (old)"_s);
        QCOMPARE(profile->address(), u"new.example.org"_s);
    }

    // Trashed, then deleted for good: the editor says the last, whatever else changes later.
    void aProfileTrashedThenDeletedElsewhereStaysDeleted()
    {
        Profile *profile = sample();
        ProfileEditor *editor = open(m_editors->edit(*profile->uuid()));
        QVERIFY(editor);
        otherWriter([](ObjectContext &cli) {
            profileNamed(cli, u"Staging database"_s)->setDeletedOn(QDateTime::currentDateTimeUtc());
        });
        QTRY_VERIFY(editor->bannerLabel()->text().contains(u"Recently Deleted elsewhere"_s));
        otherWriter(
            [](ObjectContext &cli) { cli.deleteObject(profileNamed(cli, u"Staging database"_s)); });
        QTRY_VERIFY(editor->bannerLabel()->text().contains(u"deleted elsewhere. Saving creates"_s));
        otherWriter([](ObjectContext &cli) { cli.insertProfile()->setName(u"unrelated"_s); });
        QTRY_COMPARE(main().profiles().size(), 1);
        QVERIFY(editor->bannerLabel()->text().contains(u"deleted elsewhere. Saving creates"_s));
        QVERIFY(editor->save());
        QVERIFY(!profileNamed(main(), u"Staging database"_s)->isInTrash());
    }

    void duplicatesAProfile()
    {
        Profile *source = sample();
        ProfileEditor *editor = open(m_editors->duplicate(*source->uuid()));
        QVERIFY(editor);
        QCOMPARE(editor->windowTitle(), u"Duplicate Profile"_s);
        QCOMPARE(editor->generalPage()->nameField()->text(), u"Staging database Copy"_s);
        QVERIFY(main().profiles().size() == 1);
        QVERIFY(editor->save());
        Profile *copy = profileNamed(main(), u"Staging database Copy"_s);
        QVERIFY(copy);
        QCOMPARE(copy->tags(), source->tags());
        QCOMPARE(copy->forwardings().size(), source->forwardings().size());
        for (const Forwarding *forwarding : copy->forwardings()) {
            for (const Forwarding *original : source->forwardings())
                QVERIFY(forwarding->uuid() != original->uuid());
        }
        QCOMPARE(main().undoStack()->undoActionName(), u"Duplicate Profile"_s);
    }

    void editorsAreKeptOnePerProfile()
    {
        Profile *profile = sample();
        Tag *tag = profile->tags().first();
        QSignalSpy changed(m_editors.get(), &ProfileEditors::openEditorsChanged);
        ProfileEditor *first = open(m_editors->edit(*profile->uuid()));
        QCOMPARE(open(m_editors->edit(*profile->uuid())), first);
        QVERIFY(m_editors->hasOpenEditor());
        QCOMPARE(m_editors->editorWindow(), first);

        ProfileEditor *tagged = open(m_editors->create(*tag->uuid()));
        QVERIFY(tagged);
        QListWidget *tags = tagged->generalPage()->tagList();
        QCOMPARE(tags->count(), 1);
        QCOMPARE(tags->item(0)->checkState(), Qt::Checked);
        fillRequired(tagged, u"Tagged"_s);
        QVERIFY(tagged->save());
        QCOMPARE(profileNamed(main(), u"Tagged"_s)->tags(), QList<Tag *>{tag});

        QTest::mouseClick(first->cancelButton(), Qt::LeftButton);
        QTRY_VERIFY(!m_editors->hasOpenEditor());
        QCOMPARE(changed.last().first().toBool(), false);
        QVERIFY(!m_editors->editorWindow());
    }

    void tagsAreMadeByName()
    {
        ProfileEditor *editor = open(m_editors->create());
        QVERIFY(editor);
        fillRequired(editor, u"Web"_s);
        QVERIFY(!editor->generalPage()->addTagNamed(u"web servers"_s));
        QVERIFY(editor->generalPage()->addTagNamed(QString()));
        QVERIFY(editor->save());
        const QList<Tag *> tags = profileNamed(main(), u"Web"_s)->tags();
        QCOMPARE(tags.size(), 1);
        QCOMPARE(tags.first()->name(), u"web servers"_s);
        QVERIFY(tags.first()->objectId() != 0);
    }

    void quickOptionsReachTheCommand()
    {
        Profile *profile = sample();
        ProfileEditor *editor = open(m_editors->edit(*profile->uuid()));
        QVERIFY(editor);
        ConnectionPage *connection = editor->connectionPage();
        QCOMPARE(connection->jumpHostsField()->text(), u"bastion.example.org"_s);
        QVERIFY(connection->notificationSwitch()->isChecked());
        QTest::mouseClick(connection->notificationSwitch(), Qt::LeftButton);
        QCOMPARE(userNotification(*editor->draft().profile()), false);
        QTest::keyClick(connection->addressFamilyChooser(), Qt::Key_Down);
        QCOMPARE(addressFamily(*editor->draft().profile()), AddressFamily::inet);
        QTRY_VERIFY(editor->advancedPage()->command().contains(u" -4 "_s));
        QVERIFY(editor->advancedPage()->command().contains(u"-J bastion.example.org"_s));
        QVERIFY(editor->advancedPage()->command().endsWith(u"deploy@db.staging.example.org"_s));
    }
};

VELL_UI_TEST_MAIN(ProfileEditorTest)
#include "tst_profileeditor.moc"
