// vell_screenshots FOLDER [test options]: pictures of the application's windows for people to
// look at, shown on a real X server over a sample library whose tunnels really run. It fails
// when a picture cannot be made.
#include "aboutwindow.h"
#include "advancedpage.h"
#include "desktopapplication.h"
#include "dialogscript.h"
#include "feedserver.h"
#include "forwardingeditor.h"
#include "generalpage.h"
#include "helpcommands.h"
#include "homedirectory.h"
#include "identitiessettingspage.h"
#include "knownhostssettingspage.h"
#include "localized.h"
#include "maincommands.h"
#include "objectcontext.h"
#include "optioncatalogueeditor.h"
#include "optioncataloguemodel.h"
#include "optionsevaluator.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "profileeditor.h"
#include "profileimport.h"
#include "profiletransfer.h"
#include "promptquestiondialog.h"
#include "samplelibrary.h"
#include "sessioninspector.h"
#include "settings.h"
#include "settingswindow.h"
#include "syncsettingspage.h"
#include "testenvironment.h"
#include "tunnelmenubaritem.h"
#include "tunnelservice.h"
#include "tunnelsession.h"
#include "updatenoticedialog.h"
#include "updatenotices.h"
#include "updatessettingspage.h"
#include "vellappdelegate.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

QString folder;

// "SHA256:..." of the sshd's host key, as the client prints it.
QString hostKeyFingerprint(const SshdFixture &sshd)
{
    QFile file(QFileInfo(sshd.knownHosts()).path() + u"/host_key.pub"_s);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray blob = QByteArray::fromBase64(file.readAll().split(' ').value(1));
    const QByteArray digest = QCryptographicHash::hash(blob, QCryptographicHash::Sha256);
    return u"SHA256:"_s + QString::fromLatin1(digest.toBase64(QByteArray::OmitTrailingEquals));
}

} // namespace

class Screenshots : public QObject
{
    Q_OBJECT

    SampleLibrary m_library;
    std::unique_ptr<TunnelService> m_service;
    std::unique_ptr<DesktopApplication> m_desktop;
    // Keeps the questions asked here open until they are answered.
    QObject m_standing;
    // The release feed the updater reads.
    FeedServer m_feed;

    MainWindow &window() const { return m_desktop->window(); }

    // Laid out and drawn in its window on the screen, then saved as NAME.png.
    static void shoot(QWidget *widget, const QString &name)
    {
        QWidget *window = widget->window();
        if (!window->isVisible())
            window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window, SampleLibrary::timeoutMs));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window, SampleLibrary::timeoutMs));
        QApplication::sendPostedEvents();
        QApplication::processEvents();
        const QPixmap picture = widget->grab();
        QVERIFY(!picture.isNull());
        const QString path = folder + u'/' + name + u".png"_s;
        QVERIFY2(picture.save(path), qPrintable(path));
    }

    PromptRequest request(AuthPromptType type, const QString &prompt = {})
    {
        const TunnelSession *session = m_library.session(SampleLibrary::busiest);
        return {std::move(type),
                prompt,
                session->config().name,
                u"%1@127.0.0.1:%2"_s.arg(session->profile()->user().value_or(QString()))
                    .arg(m_library.sshd().port()),
                m_library.sshd().port(),
                1,
                session->config().uuid,
                &m_standing};
    }

    // Asked as a run asks, answered with Escape once the picture is taken.
    void shootPrompt(const PromptRequest &request, const QString &name, const QString &typed = {})
    {
        bool answered = false;
        m_desktop->prompts().present(request, [&answered](auto) { answered = true; });
        PromptQuestionDialog *dialog = m_desktop->prompts().currentDialog();
        QVERIFY(dialog);
        if (dialog->field())
            QTest::keyClicks(dialog->field(), typed);
        shoot(dialog, name);
        QTest::keyClick(dialog, Qt::Key_Escape);
        QVERIFY(answered);
    }

    void select(const QString &profile)
    {
        window().showProfile(*m_library.profile(profile)->uuid());
        QTRY_COMPARE_WITH_TIMEOUT(window().selectedProfiles(), QList{m_library.profile(profile)},
                                  SampleLibrary::timeoutMs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString problem = m_library.start();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        qputenv("VELLSSH_TEST_APPCAST_URL", m_feed.url(u"/appcast.xml"_s).toEncoded());
        VellAppDelegate &app = m_library.app();
        m_service = std::make_unique<TunnelService>(app.store(), &app.container());
        m_desktop =
            std::make_unique<DesktopApplication>(app, *m_service, QStringLiteral(VELLSSH_SERVICE));
        m_desktop->start({});
        window().commands().showInspector->setChecked(true);
    }

    // Each of the settings window's own tabs, with variables, a sync folder and a backup in.
    void settingsTabs()
    {
        Settings &settings = m_library.app().settings();
        EnvironmentVariables variables;
        variables.contents = {EnvironmentVariable{{}, u"LANG"_s, u"en_GB.UTF-8"_s, true},
                              EnvironmentVariable{{}, u"SSH_ASKPASS_REQUIRE"_s, u"never"_s, false},
                              EnvironmentVariable{{}, u"GIT_SSH_COMMAND"_s, u"ssh -v"_s, true}};
        QVERIFY(!settings.set(SettingKeys::environmentVariables, variables));
        const QString backups = QDir::tempPath() + u"/Backups"_s;
        QVERIFY(QDir().mkpath(backups));

        m_desktop->showSettings(SettingsItemTag::sync);
        auto *sync = qobject_cast<SyncSettingsPage *>(
            m_desktop->settingsWindow().page(SettingsItemTag::sync));
        sync->useBackupFolder(backups);
        sync->backUpNow();
        const QList<std::pair<SettingsItemTag, QString>> tabs{
            {SettingsItemTag::general, u"general"_s},
            {SettingsItemTag::locations, u"locations"_s},
            {SettingsItemTag::advanced, u"advanced"_s},
            {SettingsItemTag::sync, u"sync"_s}};
        for (const auto &[tag, name] : tabs) {
            m_desktop->showSettings(tag);
            shoot(&m_desktop->settingsWindow(), u"settings-"_s + name);
        }
        m_desktop->settingsWindow().close();
    }

    void cleanupTestCase()
    {
        m_desktop.reset();
        m_service.reset();
        const QString problem = m_library.stop();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    // All of the library with the busiest tunnel selected and its session in the inspector;
    // then the question before deleting it for good.
    void mainWindow()
    {
        select(SampleLibrary::busiest);
        auto *inspector = window().findChild<SessionInspector *>();
        QTRY_COMPARE_WITH_TIMEOUT(inspector->session(), m_library.session(SampleLibrary::busiest),
                                  SampleLibrary::timeoutMs);
        shoot(&window(), u"main-window"_s);
        shoot(inspector, u"inspector"_s);

        window().commands().deletePermanently->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(DialogScript::shown(u"confirmPermanentDeletion"_s),
                                 SampleLibrary::timeoutMs);
        auto *confirmation =
            qobject_cast<QMessageBox *>(DialogScript::shown(u"confirmPermanentDeletion"_s));
        shoot(confirmation, u"delete-confirmation"_s);
        confirmation->button(QMessageBox::Cancel)->click();
        QVERIFY(!m_library.profile(SampleLibrary::busiest)->isDeleted());
    }

    // The tray's menu over the library's tags and states, drawn as a popup of its own.
    void trayMenu()
    {
        Settings &settings = m_library.app().settings();
        QVERIFY(!settings.set(SettingKeys::appIconMode, AppIconMode::both));
        QMenu *menu = m_desktop->menuBarItem().menu();
        QVERIFY(menu);
        menu->popup(QPoint(40, 40));
        QVERIFY(QTest::qWaitForWindowExposed(menu, SampleLibrary::timeoutMs));
        QApplication::sendPostedEvents();
        QApplication::processEvents();
        const QString path = folder + u"/tray-menu.png"_s;
        QVERIFY2(menu->grab().save(path), qPrintable(path));
        menu->hide();
        QVERIFY(!settings.set(SettingKeys::appIconMode, AppIconMode::dock));
    }

    // Opened from the window as a person opens it, once the effective values are in.
    void editorPages()
    {
        select(SampleLibrary::detailed);
        window().commands().editProfile->trigger();
        ProfileEditor *editor =
            m_desktop->editors().editorOf(*m_library.profile(SampleLibrary::detailed)->uuid());
        QVERIFY(editor);
        QVERIFY(QTest::qWaitForWindowExposed(editor));
        QTRY_VERIFY_WITH_TIMEOUT(!editor->evaluator()->isRunning(), SampleLibrary::timeoutMs);

        ForwardingEditor *forwardings = editor->generalPage()->forwardings();
        forwardings->selectRow(0);
        shoot(editor, u"editor-general"_s);
        forwardings->selectRow(1);
        forwardings->list()->setFocus();
        shoot(editor, u"editor-forwarding"_s);
        editor->pages()->setCurrentIndex(1);
        shoot(editor, u"editor-connection"_s);
        editor->pages()->setCurrentIndex(2);
        OptionCatalogueEditor *options = editor->advancedPage()->options();
        options->tree()->setCurrentIndex(options->model()->indexOf(u"ServerAliveInterval"_s));
        shoot(editor, u"editor-advanced"_s);
        editor->cancelButton()->click();
        QTRY_VERIFY(!m_desktop->editors().hasOpenEditor());
    }

    void promptDialogs()
    {
        const QString user = m_library.profile(SampleLibrary::busiest)->user().value_or(QString());
        const QString host = u"[127.0.0.1]:%1"_s.arg(m_library.sshd().port());
        shootPrompt(request(AuthPrompt::Password{user, u"127.0.0.1"_s}), u"prompt-password"_s,
                    u"secret"_s);
        shootPrompt(request(AuthPrompt::PublicKey{u"~/.ssh/id_ed25519"_s}), u"prompt-passphrase"_s,
                    u"passphrase"_s);
        shootPrompt(request(AuthPrompt::Interactive{user, u"127.0.0.1"_s, u"Verification code:"_s}),
                    u"prompt-interactive"_s, u"482913"_s);
        const QString hostKey =
            u"The authenticity of host '%1 (%1)' can't be established.\n"
            "ED25519 key fingerprint is %2.\nThis key is not known by any other names.\n"
            "Are you sure you want to continue connecting (yes/no/[fingerprint])? "_s.arg(
                host, hostKeyFingerprint(m_library.sshd()));
        shootPrompt(request(AuthPrompt::Permission{hostKey}, hostKey), u"prompt-hostkey"_s);
        const QString input = u"(%1@127.0.0.1) One-time password:"_s.arg(user);
        shootPrompt(request(AuthPrompt::Input{input}, input), u"prompt-input"_s, u"918273"_s);
    }

    // The two pages over the user's .ssh: the sample key with a certificate and a second key
    // beside it, and a known_hosts with a comment, a marker and the sample server's line.
    void settingsPages()
    {
        const QString ssh = realHomeDirectory() + u"/.ssh"_s;
        QVERIFY(QFile::copy(m_library.sshd().otherKey(), ssh + u"/deploy_ed25519"_s));
        QVERIFY(
            QFile::copy(m_library.sshd().clientKey() + u".pub"_s, ssh + u"/id_ed25519-cert.pub"_s));
        QFile sample(m_library.sshd().knownHosts());
        QFile knownHosts(ssh + u"/known_hosts"_s);
        QVERIFY(sample.open(QIODevice::ReadOnly) && knownHosts.open(QIODevice::Append));
        knownHosts.write("# build farm, rotated every spring\n"
                         "@cert-authority *.build.example ssh-ed25519 "
                         "AAAAC3NzaC1lZDI1NTE5AAAAIHfarmCAkeyXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXXX\n"
                         "git.example.org,192.0.2.14 ecdsa-sha2-nistp256 "
                         "AAAAE2VjZHNhLXNoYTItbmlzdHAyNTYAAAAIbmlzdHAyNTYAAABBBPm2\n" +
                         sample.readAll());
        knownHosts.close();

        QWidget identitiesWindow;
        identitiesWindow.setWindowTitle(localized("Identities"));
        auto *identities = new IdentitiesSettingsPage(m_desktop->identities(), &identitiesWindow);
        (new QVBoxLayout(&identitiesWindow))->addWidget(identities);
        identitiesWindow.resize(640, 420);
        QTRY_COMPARE_WITH_TIMEOUT(identities->list()->model()->rowCount(), 4,
                                  SampleLibrary::timeoutMs);
        identities->list()->selectionModel()->select(identities->list()->model()->index(1, 0),
                                                     QItemSelectionModel::Select |
                                                         QItemSelectionModel::Rows);
        shoot(identities, u"settings-identities"_s);

        QWidget knownHostsWindow;
        knownHostsWindow.setWindowTitle(localized("Known Hosts"));
        auto *page =
            new KnownHostsSettingsPage(QStringLiteral(VELLSSH_SERVICE),
                                       KnownHostsSettingsPage::defaultFile(), &knownHostsWindow);
        (new QVBoxLayout(&knownHostsWindow))->addWidget(page);
        knownHostsWindow.resize(760, 420);
        knownHostsWindow.show();
        QTRY_VERIFY_WITH_TIMEOUT(!page->isLoading(), SampleLibrary::timeoutMs);
        QVERIFY(page->list()->model()->rowCount() >= 4);
        page->list()->selectionModel()->select(page->list()->model()->index(2, 0),
                                               QItemSelectionModel::Select |
                                                   QItemSelectionModel::Rows);
        shoot(page, u"settings-knownhosts"_s);
    }

    // The about window once the client has said its version; a check that finds a release; the
    // Updates tab after it.
    void updater()
    {
        m_desktop->showAbout();
        auto *about = window().findChild<AboutWindow *>(u"about"_s);
        QVERIFY(about);
        QTRY_VERIFY_WITH_TIMEOUT(!about->openSshText().isEmpty(), SampleLibrary::timeoutMs);
        shoot(about, u"about"_s);
        about->close();

        m_feed.serve(u"/appcast.xml"_s,
                     FeedServer::document(
                         "<rss version=\"2.0\" xmlns:vell=\"https://vellssh.io/xmlns/appcast\">"
                         "<channel><item><title>VellSSH 1.0</title>"
                         "<link>https://vellssh.io/releases/1.0.0</link>"
                         "<vell:version>1.0.0</vell:version><vell:shortVersion>1.0"
                         "</vell:shortVersion><vell:releaseNotesLink>https://vellssh.io/"
                         "releases/1.0.0/notes</vell:releaseNotesLink>"
                         "<pubDate>Mon, 07 Dec 2026 09:00:00 +0000</pubDate></item>"
                         "</channel></rss>"));
        m_desktop->help().checkForUpdates->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(window().findChild<UpdateNoticeDialog *>(u"updateNotice"_s),
                                 SampleLibrary::timeoutMs);
        auto *notice = window().findChild<UpdateNoticeDialog *>(u"updateNotice"_s);
        shoot(notice, u"update-notice"_s);
        notice->reject();

        UpdatesSettingsPage page(m_desktop->updaterModel());
        page.resize(560, 240);
        shoot(&page, u"settings-updates"_s);
    }

    // A colleague's file with two profiles the library has and one it has not, under a name
    // it already uses.
    void importDialogs()
    {
        auto colleague = std::move(PersistenceController::openInMemory()).value();
        Profile *theirs = colleague->mainContext()->insertProfile();
        theirs->setName(u"Home lab"_s);
        theirs->setAddress(u"lab.colleague.example.net"_s);
        const QString path = QDir::tempPath() + u"/team.velltunnel"_s;
        QVERIFY(!writeExportFile(path, {m_library.profile(SampleLibrary::busiest),
                                        m_library.profile(SampleLibrary::detailed), theirs}));

        DialogScript script;
        script.then(u"conflictQuestion"_s, [](QWidget *question) {
            shoot(question, u"import-question"_s);
            QCheckBox *applyToAll = qobject_cast<QMessageBox *>(question)->checkBox();
            QVERIFY(applyToAll);
            applyToAll->setChecked(true);
            DialogScript::click(question, localized("Skip"));
        });
        m_desktop->transfer().openFiles({path});
        QTRY_VERIFY_WITH_TIMEOUT(script.done(), SampleLibrary::timeoutMs);
        QTRY_VERIFY_WITH_TIMEOUT(DialogScript::shown(u"importResult"_s), SampleLibrary::timeoutMs);
        shoot(DialogScript::shown(u"importResult"_s), u"import-result"_s);
    }
};

int main(int argc, char *argv[])
{
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: %s FOLDER [test options]\n", argv[0]);
        return 2;
    }
    folder = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    TestEnvironment environment;
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"vellssh"_s);
    QCoreApplication::setOrganizationName(u"VellSSH"_s);
    Screenshots shots;
    QStringList arguments = QApplication::arguments();
    arguments.removeAt(1);
    return QTest::qExec(&shots, arguments);
}

#include "screenshots.moc"
