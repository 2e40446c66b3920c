#include "advancedsettingspage.h"
#include "appfixture.h"
#include "backups.h"
#include "configeditview.h"
#include "configfileeditor.h"
#include "dialogscript.h"
#include "environmentvariablesmodel.h"
#include "generalsettingspage.h"
#include "locationssettingspage.h"
#include "pathsettingfield.h"
#include "persistencecontroller.h"
#include "settings.h"
#include "settingswindow.h"
#include "syncsettingspage.h"
#include "systemconfig.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTabWidget>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int timeoutMs = 10'000;

// What an alert over the page said, once it is answered.
struct Alert
{
    QString title;
    QString text;
    QString informative;
};

std::optional<Alert> answerAlert()
{
    QWidget *shown = DialogScript::shown(u"settingsAlert"_s);
    auto *box = qobject_cast<QMessageBox *>(shown);
    if (!box)
        return std::nullopt;
    Alert alert{box->windowTitle(), box->text(), box->informativeText()};
    box->accept();
    return alert;
}

// Picks the path in the chooser that the page opened, as a person would.
void pickInChooser(DialogScript &script, const QString &path)
{
    script.then(u"pathChooser"_s, [path](QWidget *dialog) {
        DialogScript::typeInChooser(dialog, path);
        static_cast<QDialog *>(dialog)->accept();
    });
}

// As a person does, with the keyboard: a click in the middle of a check box that its layout
// stretched lands beside its text.
void toggle(QCheckBox *box)
{
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
}

QString mkdir(const QString &path)
{
    QDir().mkpath(path);
    return path;
}

} // namespace

// The settings window's pages against the application's own settings file, with a second
// reader and writer on that file standing in for another process (the command line).
class SettingsWindowTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<SettingsWindow> m_window;
    std::unique_ptr<Settings> m_outside;

    Settings &settings() const { return m_fixture->app().settings(); }
    // The file as another process reads it now.
    const Settings &outside() const
    {
        m_outside->reload();
        return *m_outside;
    }
    template<class Page>
    Page *page(SettingsItemTag tag) const
    {
        m_window->setSelectedItem(tag);
        return qobject_cast<Page *>(m_window->page(tag));
    }

private Q_SLOTS:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_window = std::make_unique<SettingsWindow>(m_fixture->app());
        m_outside = std::make_unique<Settings>(settings().filePath());
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    void cleanup()
    {
        while (std::optional<Alert> alert = answerAlert())
            qWarning("an alert was left open: %s", qPrintable(alert->text));
        m_window.reset();
        m_outside.reset();
        m_fixture.reset();
    }

    void tabsComeInOrderTakeOtherPagesAndKeepTheChoice()
    {
        auto *tabs = m_window->findChild<QTabWidget *>();
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i)
            titles.append(tabs->tabText(i));
        QCOMPARE(titles, (QStringList{u"General"_s, u"Locations"_s, u"Identities"_s,
                                      u"Known Hosts"_s, u"Advanced"_s, u"Sync"_s, u"Updates"_s}));

        m_window->setSelectedItem(SettingsItemTag::knownHosts);
        auto *keys = new QLabel(u"known hosts"_s);
        m_window->setPage(SettingsItemTag::knownHosts, keys);
        QCOMPARE(m_window->page(SettingsItemTag::knownHosts), keys);
        QCOMPARE(tabs->tabText(3), u"Known Hosts"_s);
        QCOMPARE(m_window->selectedItem(), SettingsItemTag::knownHosts);

        m_window->close();
        m_window->present();
        QVERIFY(m_window->isVisible());
        QCOMPARE(tabs->currentWidget(), keys);
        QTest::keyClick(tabs->tabBar(), Qt::Key_Right);
        QCOMPARE(m_window->selectedItem(), SettingsItemTag::advanced);
    }

    void generalPageWritesItsKeysAndFollowsOtherWriters()
    {
        auto *general = page<GeneralSettingsPage>(SettingsItemTag::general);
        QComboBox *mode = general->appIconMode();
        QCOMPARE(mode->count(), 3);
        QCOMPARE(mode->itemText(0), u"Dock icon"_s);
        QCOMPARE(mode->itemText(1), u"Menu bar icon"_s);
        QCOMPARE(mode->itemText(2), u"Both"_s);
        QCOMPARE(mode->currentIndex(), 0);

        mode->setFocus();
        QTest::keyClick(mode, Qt::Key_Down);
        QCOMPARE(outside().raw(u"app_icon_mode"_s).toString(), u"menuBar"_s);
        QTest::mouseClick(general->launchAtLogin(), Qt::LeftButton);
        QCOMPARE(outside().raw(u"launch_at_login"_s).toBool(), true);

        QVERIFY(!m_outside->set(SettingKeys::appIconMode, AppIconMode::both));
        QVERIFY(!m_outside->set(SettingKeys::launchAtLogin, false));
        QTRY_COMPARE_WITH_TIMEOUT(mode->currentText(), u"Both"_s, timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(!general->launchAtLogin()->isChecked(), timeoutMs);
    }

    void locationsKeepWhatWasTypedAndExplainThemselves()
    {
        auto *locations = page<LocationsSettingsPage>(SettingsItemTag::locations);
        QLineEdit *config = locations->configFile()->edit();
        config->setFocus();
        QTest::keyClicks(config, u"~/.ssh/work_config"_s);
        QCOMPARE(outside().raw(u"user_config_file_path"_s), QVariant());
        QTest::keyClick(config, Qt::Key_Return);
        QCOMPARE(outside().get(SettingKeys::userConfigFilePath), u"~/.ssh/work_config"_s);
        QLabel *warning = locations->configFileWarning();
        QVERIFY(!warning->isHidden());
        QCOMPARE(warning->text(), u"No file at this path: ~/.ssh/work_config"_s);
        mkdir(QDir::homePath() + u"/.ssh"_s);
        QVERIFY(QFile(QDir::homePath() + u"/.ssh/work_config"_s).open(QIODevice::WriteOnly));
        // Made while the path was set: the page looks again when it comes back.
        page<GeneralSettingsPage>(SettingsItemTag::general);
        QCOMPARE(page<LocationsSettingsPage>(SettingsItemTag::locations), locations);
        QVERIFY(warning->isHidden());

        const QString socket = QDir::homePath() + u"/.gnupg/S.gpg-agent.ssh"_s;
        mkdir(QDir::homePath() + u"/.gnupg"_s);
        QFile(socket).open(QIODevice::WriteOnly);
        DialogScript script;
        pickInChooser(script, socket);
        QTest::mouseClick(locations->agentSocket()->chooseButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), timeoutMs);
        QCOMPARE(outside().get(SettingKeys::authAgentUnixSock), u"~/.gnupg/S.gpg-agent.ssh"_s);
        QCOMPARE(locations->agentSocket()->edit()->text(), u"~/.gnupg/S.gpg-agent.ssh"_s);

        QVERIFY(!m_outside->set(SettingKeys::userConfigFilePath, u"/srv/ssh_config"_s));
        QTRY_COMPARE_WITH_TIMEOUT(config->text(), u"/srv/ssh_config"_s, timeoutMs);
        QCOMPARE(warning->text(), u"No file at this path: /srv/ssh_config"_s);
        QVERIFY(!warning->isHidden());

        QStringList explanations;
        for (const QLabel *label : locations->findChildren<QLabel *>())
            explanations.append(label->text());
        QVERIFY(explanations.contains(
            u"The default configuration file is <code>~/.ssh/config</code>. If you overwrite this "
            "value, the system-wide configuration file (<code>/etc/ssh/ssh_config</code>) will be "
            "ignored."_s));
        QVERIFY(explanations.contains(
            u"Identifies the path of a UNIX-domain socket used to communicate with the agent. "
            "Overwrite this value if you're using an agent other than "
            "<code>ssh-agent</code>, e.g. <code>gpg-agent</code>."_s));
    }

    void environmentVariablesRoundTripTheirJson()
    {
        auto *advanced = page<AdvancedSettingsPage>(SettingsItemTag::advanced);
        EnvironmentVariablesModel *model = advanced->variables();
        QAbstractItemModelTester tester(model,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QTableView *view = advanced->variablesView();
        const auto storedJson = [this] {
            return QJsonDocument::fromJson(outside().raw(u"environment_variables"_s).toByteArray())
                .array();
        };
        const auto entry = [](const QString &key, const QString &value, bool enabled) {
            return QJsonObject{{u"key"_s, key}, {u"value"_s, value}, {u"enabled"_s, enabled}};
        };

        for (const auto &[key, value] :
             {std::pair(u"LANG"_s, u"C"_s), std::pair(u"TERM"_s, u"xterm"_s)}) {
            advanced->addVariable();
            QTest::keyClicks(QApplication::focusWidget(), key);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), value);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        }
        // The item view hands the last edit over on its next turn of the event loop.
        QTRY_COMPARE_WITH_TIMEOUT(
            storedJson(),
            (QJsonArray{entry(u"LANG"_s, u"C"_s, true), entry(u"TERM"_s, u"xterm"_s, true)}),
            timeoutMs);

        QVERIFY(model->setData(model->index(0, EnvironmentVariablesModel::enabledColumn),
                               Qt::Unchecked, Qt::CheckStateRole));
        view->setFocus();
        view->setCurrentIndex(model->index(1, EnvironmentVariablesModel::keyColumn));
        QTest::keyClick(view, Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(view->currentIndex().row(), 0);
        QCOMPARE(storedJson(),
                 (QJsonArray{entry(u"TERM"_s, u"xterm"_s, true), entry(u"LANG"_s, u"C"_s, false)}));

        view->setFocus();
        view->selectRow(0);
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(storedJson(), (QJsonArray{entry(u"LANG"_s, u"C"_s, false)}));

        EnvironmentVariables outside;
        outside.contents = {EnvironmentVariable{{}, u"A"_s, u"1"_s, true},
                            EnvironmentVariable{{}, u"B"_s, {}, false}};
        QVERIFY(!m_outside->set(SettingKeys::environmentVariables, outside));
        QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 2, timeoutMs);
        QCOMPARE(model->index(1, EnvironmentVariablesModel::keyColumn).data().toString(), u"B"_s);
        QCOMPARE(model->index(1, EnvironmentVariablesModel::enabledColumn)
                     .data(Qt::CheckStateRole)
                     .toInt(),
                 int(Qt::Unchecked));

        // Added and left without a name: nothing to set, so nothing is kept.
        advanced->addVariable();
        QCOMPARE(model->rowCount(), 3);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 2, timeoutMs);
        QCOMPARE(storedJson(), (QJsonArray{entry(u"A"_s, u"1"_s, true), entry(u"B"_s, {}, false)}));
        // A name typed and then cleared away before the edit ends counts as none too.
        advanced->addVariable();
        QTest::keyClicks(QApplication::focusWidget(), u"X"_s);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 2, timeoutMs);
    }

    void theFindBarSearchesAsOneTypes()
    {
        ConfigEditView view;
        view.editor()->setPlainText(u"Host alpha\n\tUser a\nHost beta\n\tUser b\n"_s);
        view.show();
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QVERIFY(QFontInfo(view.editor()->font()).fixedPitch());
        QCOMPARE(view.editor()->document()->documentMargin(), 8);
        QCOMPARE(view.editor()->lineWrapMode(), QPlainTextEdit::WidgetWidth);

        view.editor()->setFocus();
        QTest::keyClick(view.editor(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(view.isFindBarShown());
        QVERIFY(view.findField()->hasFocus());
        const auto selected = [&] {
            const QTextCursor cursor = view.editor()->textCursor();
            return std::pair(cursor.selectionStart(), cursor.selectedText());
        };
        QTest::keyClicks(view.findField(), u"Use"_s);
        QCOMPARE(selected(), std::pair(12, u"Use"_s));
        QTest::keyClicks(view.findField(), u"r b"_s);
        QCOMPARE(selected(), std::pair(30, u"User b"_s));
        view.findField()->clear();
        QTest::keyClicks(view.findField(), u"host"_s);
        QCOMPARE(selected(), std::pair(0, u"Host"_s));
        QTest::keyClick(view.findField(), Qt::Key_Return);
        QCOMPARE(selected().first, 19);
        QTest::keyClick(view.findField(), Qt::Key_Return);
        QCOMPARE(selected().first, 0);
        QTest::keyClick(view.findField(), Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(selected().first, 19);
        QTest::keyClicks(view.findField(), u"zzz"_s);
        QVERIFY(view.findChild<QLabel *>()->isVisible());

        QTest::keyClick(view.findField(), Qt::Key_Escape);
        QVERIFY(!view.isFindBarShown());
        QVERIFY(view.editor()->hasFocus());
        QTest::keyClicks(view.editor(), u"x"_s);
        QTest::keyClick(view.editor(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(view.editor()->toPlainText(), u"Host alpha\n\tUser a\nHost beta\n\tUser b\n"_s);
    }

    void theSystemConfigurationIsSavedAndReverted()
    {
        auto *advanced = page<AdvancedSettingsPage>(SettingsItemTag::advanced);
        ConfigFileEditor *editor = advanced->systemConfig();
        QPlainTextEdit *text = editor->view()->editor();
        QTRY_COMPARE_WITH_TIMEOUT(text->toPlainText(), defaultSystemConfigText(), timeoutMs);
        QVERIFY(!editor->saveButton()->isEnabled());

        text->moveCursor(QTextCursor::End);
        text->setFocus();
        QTest::keyClick(text, Qt::Key_Tab);
        QTest::keyClicks(text, u"ServerAliveInterval 30"_s);
        QTest::keyClick(text, Qt::Key_Return);
        QVERIFY(editor->saveButton()->isEnabled());
        QTest::keyClick(text, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(readConfigText(systemConfigFilePath()).value(),
                 defaultSystemConfigText() + u"\tServerAliveInterval 30\n"_s);
        QVERIFY(!editor->saveButton()->isEnabled());

        QTest::keyClicks(text, u"# draft"_s);
        QTest::mouseClick(editor->revertButton(), Qt::LeftButton);
        QCOMPARE(text->toPlainText(), defaultSystemConfigText() + u"\tServerAliveInterval 30\n"_s);
    }

    // A file that cannot be written (here: one that became a folder, which stops root too)
    // is said in an alert, and the text stays to be saved elsewhere.
    void anUnwritableConfigurationKeepsTheText()
    {
        auto *advanced = page<AdvancedSettingsPage>(SettingsItemTag::advanced);
        ConfigFileEditor *editor = advanced->systemConfig();
        QPlainTextEdit *text = editor->view()->editor();
        QTRY_VERIFY_WITH_TIMEOUT(!text->toPlainText().isEmpty(), timeoutMs);
        const QString path = systemConfigFilePath();
        QVERIFY(QFile::remove(path));
        mkdir(path);

        text->setFocus();
        QTest::keyClicks(text, u"Host kept"_s);
        QTest::keyClick(text, Qt::Key_Return);
        QTest::mouseClick(editor->saveButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(DialogScript::shown(u"settingsAlert"_s), timeoutMs);
        const Alert alert = *answerAlert();
        QCOMPARE(alert.title, u"Config File Error"_s);
        QVERIFY2(
            alert.text.startsWith(u"The configuration file “%1” cannot be written: "_s.arg(path)) &&
                alert.text.endsWith(u'.'),
            qPrintable(alert.text));
        QVERIFY(text->toPlainText().startsWith(u"Host kept\n"_s));
        QVERIFY(text->document()->isModified());
        QVERIFY(editor->saveButton()->isEnabled());

        QTest::mouseClick(editor->revertButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(DialogScript::shown(u"settingsAlert"_s), timeoutMs);
        const Alert unreadable = *answerAlert();
        QCOMPARE(unreadable.title, u"Config File Error"_s);
        QVERIFY(unreadable.text.startsWith(
            u"The configuration file “%1” cannot be read: "_s.arg(path)));
        QVERIFY(unreadable.text.endsWith(u'.'));
        QVERIFY(text->isReadOnly());
        QVERIFY(!editor->saveButton()->isEnabled());
    }

    void aFileOnlyTheAdministratorMayChangeIsSaidPlainly()
    {
        if (::geteuid() == 0)
            QSKIP("root may write any file");
        const QString folder = mkdir(QDir::tempPath() + u"/etc-readonly"_s);
        const QString path = folder + u"/ssh_config"_s;
        QVERIFY(!writeConfigText(path, u"Host *\n"_s));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        const Status refused = writeConfigText(path, u"Host changed\n"_s);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(refused);
        QVERIFY(refused->recoverySuggestion.startsWith(
            u"Only an administrator can change this file."_s));
        QCOMPARE(readConfigText(path).value(), u"Host *\n"_s);
    }

    void syncTurnsOnWithAUsableFolderOnly()
    {
        auto *sync = page<SyncSettingsPage>(SettingsItemTag::sync);
        const QString refused = QDir::tempPath() + u"/no-such-folder"_s;
        sync->useSyncFolder(refused);
        QTRY_VERIFY_WITH_TIMEOUT(DialogScript::shown(u"settingsAlert"_s), timeoutMs);
        const Alert alert = *answerAlert();
        QCOMPARE(alert.title, u"Sync Folder Error"_s);
        QVERIFY(alert.text.contains(refused));
        QVERIFY(!sync->syncSwitch()->isChecked());
        QVERIFY(!settings().get(SettingKeys::iCloudSync));

        const QString folder = mkdir(QDir::tempPath() + u"/sync-folder"_s);
        DialogScript script;
        pickInChooser(script, folder);
        toggle(sync->syncSwitch());
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), timeoutMs);
        QVERIFY(sync->syncSwitch()->isChecked());
        QCOMPARE(outside().get(SettingKeys::syncFolderPath), folder);
        QVERIFY(outside().get(SettingKeys::iCloudSync));
        QCOMPARE(sync->syncFolder()->text(), folder);

        QVERIFY(!m_outside->set(SettingKeys::iCloudSync, false));
        QTRY_VERIFY_WITH_TIMEOUT(!sync->syncSwitch()->isChecked(), timeoutMs);
        toggle(sync->syncSwitch());
        QVERIFY(!DialogScript::shown(u"pathChooser"_s));
        QVERIFY(outside().get(SettingKeys::iCloudSync));
    }

    void backupsGoToTheChosenFolderAndShowTheNewest()
    {
        auto *sync = page<SyncSettingsPage>(SettingsItemTag::sync);
        QVERIFY(!sync->backupSwitch()->isChecked());
        QVERIFY(!sync->backUpNowButton()->isEnabled());

        sync->useBackupFolder(QDir::tempPath() + u"/gone"_s);
        QTRY_VERIFY_WITH_TIMEOUT(DialogScript::shown(u"settingsAlert"_s), timeoutMs);
        const Alert alert = *answerAlert();
        QCOMPARE(alert.title, u"Auto Backup Error"_s);
        QVERIFY2(alert.text.startsWith(u"“"_s), qPrintable(alert.text));
        QVERIFY(!sync->backupSwitch()->isChecked());

        const QString folder = mkdir(QDir::tempPath() + u"/backups"_s);
        DialogScript script;
        pickInChooser(script, folder);
        toggle(sync->backupSwitch());
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), timeoutMs);
        QVERIFY(sync->backupSwitch()->isChecked());
        QCOMPARE(settings().get(SettingKeys::syncFolderBookmark), folder);

        QTest::mouseClick(sync->backUpNowButton(), Qt::LeftButton);
        QCOMPARE(sync->backupStatus()->text(), u"There are no profiles to back up."_s);
        QCOMPARE(sync->backupList()->count(), 0);
        m_fixture->addProfile(u"web"_s);
        QTest::mouseClick(sync->backUpNowButton(), Qt::LeftButton);
        QCOMPARE(sync->backupList()->count(), 1);
        const QString written = sync->backupList()->item(0)->data(Qt::UserRole).toString();
        QCOMPARE(QFileInfo(written).absolutePath(), folder);
        QVERIFY(written.endsWith(u".velltunnel"_s));
        QVERIFY(sync->backupStatus()->text().startsWith(u"Last backup: "_s));

        QVERIFY(!m_outside->set(SettingKeys::syncFolderBookmark, std::optional<QString>()));
        QTRY_VERIFY_WITH_TIMEOUT(!sync->backupSwitch()->isChecked(), timeoutMs);
        QCOMPARE(sync->backupList()->count(), 0);
    }
};

VELL_UI_TEST_MAIN(SettingsWindowTest)
#include "tst_settingswindow.moc"
