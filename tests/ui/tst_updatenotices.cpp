#include "aboutwindow.h"
#include "appfixture.h"
#include "desktopapplication.h"
#include "feedserver.h"
#include "helpcommands.h"
#include "opensshversion.h"
#include "persistencecontroller.h"
#include "projectsite.h"
#include "softwareupdater.h"
#include "tunnelservice.h"
#include "updatenoticedialog.h"
#include "updatermodel.h"
#include "updatessettingspage.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
namespace Keys = SettingKeys;

// Stands in for the browser: the addresses the program asked to open.
class Browser : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

namespace {

QByteArray feedWith(const QByteArray &version)
{
    return "<rss version=\"2.0\" xmlns:vell=\"https://vellssh.io/xmlns/appcast\"><channel>"
           "<item><title>VellSSH " +
           version + "</title><link>https://vellssh.io/releases/" + version +
           "</link><vell:version>" + version +
           "</vell:version><vell:releaseNotesLink>https://vellssh.io/notes</vell:releaseNotesLink>"
           "<pubDate>Mon, 07 Dec 2026 10:00:00 +0000</pubDate></item></channel></rss>";
}

template<class T>
QList<T *> shown(const QString &name)
{
    QList<T *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *typed = qobject_cast<T *>(widget);
            typed && typed->objectName() == name && typed->isVisible())
            found.append(typed);
    }
    return found;
}

QPushButton *button(QWidget *dialog, const QString &text)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

QString labelTexts(QWidget *widget)
{
    QStringList texts;
    for (const QLabel *label : widget->findChildren<QLabel *>())
        texts.append(label->text());
    return texts.join(u'\n');
}

} // namespace

// The updater as the desktop presents it, against a feed served on this machine.
class UpdateNoticesTest : public QObject
{
    Q_OBJECT

    FeedServer m_server;
    Browser m_browser;
    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<TunnelService> m_service;
    std::unique_ptr<DesktopApplication> m_desktop;

    QAction *checkForUpdates() const { return m_desktop->help().checkForUpdates; }
    Settings &settings() const { return m_fixture->app().settings(); }

    void serve(const FeedServer::Answer &answer) { m_server.serve(u"/appcast.xml"_s, answer); }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("VELLSSH_TEST_APPCAST_URL", m_server.url(u"/appcast.xml"_s).toEncoded());
        QDesktopServices::setUrlHandler(u"https"_s, &m_browser, "open");
    }

    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        VellAppDelegate &app = m_fixture->app();
        m_service = std::make_unique<TunnelService>(app.store(), &app.container());
        m_desktop = std::make_unique<DesktopApplication>(app, *m_service, QString());
        m_desktop->start({});
        QVERIFY(QTest::qWaitForWindowExposed(&m_desktop->window()));
        m_browser.opened.clear();
        // One settings file serves every test here.
        settings().set(Keys::skippedUpdateVersion, std::optional<QString>());
        settings().set(Keys::lastUpdateCheckDate, std::optional<QDateTime>());
        settings().set(Keys::automaticallyChecksForUpdates, true);
        settings().set(Keys::updateCheckInterval, UpdateCheckInterval::daily);
        settings().set(Keys::updateChannel, UpdateChannel::stable);
    }

    void cleanup()
    {
        m_desktop.reset();
        m_service.reset();
        m_fixture.reset();
    }

    void theHelpMenuOpensTheProjectsPages()
    {
        const QList<QAction *> menus = m_desktop->window().menuBar()->actions();
        QMenu *help = menus.last()->menu();
        QCOMPARE(help->title(), u"&Help"_s);
        QStringList texts;
        for (const QAction *action : help->actions()) {
            if (!action->isSeparator())
                texts.append(action->text());
        }
        QCOMPARE(texts,
                 (QStringList{u"Request Support"_s, u"Website"_s, u"Beta Program"_s, u"Howtos"_s,
                              u"Troubleshooting"_s, u"What's New"_s, u"Security && Privacy"_s,
                              u"Check for Updates…"_s, u"About VellSSH"_s}));
        for (QAction *page : m_desktop->help().pages)
            page->trigger();
        QList<QUrl> addresses;
        for (const ProjectSite::HelpPage &page : ProjectSite::helpPages()) {
            QCOMPARE(page.address.scheme(), u"https"_s);
            addresses.append(page.address);
        }
        QCOMPARE(m_browser.opened, addresses);
        m_desktop->openHelp();
        QCOMPARE(m_browser.opened.last(), QUrl(u"https://vellssh.io/howtos"_s));
    }

    void checkForUpdatesShowsTheNoticeAndDownloadOpensTheRelease()
    {
        serve(FeedServer::document(feedWith("9.1.0")));
        checkForUpdates()->trigger();
        QVERIFY(!checkForUpdates()->isEnabled());
        QTRY_COMPARE_WITH_TIMEOUT(shown<UpdateNoticeDialog>(u"updateNotice"_s).size(), 1, 20000);
        QVERIFY(checkForUpdates()->isEnabled());
        UpdateNoticeDialog *notice = shown<UpdateNoticeDialog>(u"updateNotice"_s).first();
        QVERIFY2(labelTexts(notice).contains(u"VellSSH 9.1.0 is available."_s),
                 qPrintable(labelTexts(notice)));
        QVERIFY(labelTexts(notice).contains(u"https://vellssh.io/notes"_s));
        QTest::mouseClick(button(notice, u"Download"_s), Qt::LeftButton);
        QCOMPARE(m_browser.opened, QList<QUrl>{QUrl(u"https://vellssh.io/releases/9.1.0"_s)});
        QTRY_VERIFY(shown<UpdateNoticeDialog>(u"updateNotice"_s).isEmpty());
    }

    void aCheckTheUserAskedForAlwaysAnswers_data()
    {
        QTest::addColumn<FeedServer::Answer>("answer");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("text");
        QTest::newRow("up to date")
            << FeedServer::document(feedWith("0.0.9")) << u"upToDate"_s << u"You're up to date."_s;
        QTest::newRow("missing feed") << FeedServer::document("no", 404) << u"updateError"_s
                                      << u"The update server answered with an error (HTTP 404)."_s;
        QTest::newRow("broken feed") << FeedServer::document("<rss><channel>") << u"updateError"_s
                                     << u"The update information could not be read."_s;
    }
    void aCheckTheUserAskedForAlwaysAnswers()
    {
        QFETCH(FeedServer::Answer, answer);
        QFETCH(QString, box);
        QFETCH(QString, text);
        serve(answer);
        for (int round = 0; round < 2; ++round) {
            QSignalSpy finished(&m_desktop->updater(), &SoftwareUpdater::checkFinished);
            checkForUpdates()->trigger();
            QVERIFY(finished.wait(20000));
            // The second answer replaces the first.
            QTRY_COMPARE(shown<QMessageBox>(box).size(), 1);
        }
        QMessageBox *message = shown<QMessageBox>(box).first();
        QCOMPARE(message->text(), text);
        QVERIFY(!message->informativeText().isEmpty());
        QVERIFY(shown<UpdateNoticeDialog>(u"updateNotice"_s).isEmpty());
    }

    // Automatic checks fill in the open notice instead of stacking another, say nothing when
    // there is nothing, and keep quiet about a skipped version.
    void automaticChecksNotifyQuietly()
    {
        SoftwareUpdater &updater = m_desktop->updater();
        QSignalSpy finished(&updater, &SoftwareUpdater::checkFinished);
        serve(FeedServer::document(feedWith("0.0.9")));
        updater.startAutomaticChecks(std::chrono::milliseconds(0));
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.takeFirst().first().value<UpdateCheck>().origin,
                 UpdateCheck::Origin::schedule);
        QVERIFY(shown<QMessageBox>(u"upToDate"_s).isEmpty());

        const auto checkAgain = [&] {
            settings().set(Keys::lastUpdateCheckDate, std::optional<QDateTime>());
            settings().set(Keys::updateCheckInterval, UpdateCheckInterval::weekly);
            settings().set(Keys::updateCheckInterval, UpdateCheckInterval::daily);
            return finished.wait(20000);
        };
        serve(FeedServer::document(feedWith("9.1.0")));
        QVERIFY(checkAgain());
        QTRY_COMPARE(shown<UpdateNoticeDialog>(u"updateNotice"_s).size(), 1);
        serve(FeedServer::document(feedWith("9.2.0")));
        QVERIFY(checkAgain());
        QCOMPARE(shown<UpdateNoticeDialog>(u"updateNotice"_s).size(), 1);
        UpdateNoticeDialog *notice = shown<UpdateNoticeDialog>(u"updateNotice"_s).first();
        QCOMPARE(notice->item().version, u"9.2.0"_s);

        QTest::mouseClick(button(notice, u"Skip This Version"_s), Qt::LeftButton);
        QCOMPARE(settings().get(Keys::skippedUpdateVersion), u"9.2.0"_s);
        QTRY_VERIFY(shown<UpdateNoticeDialog>(u"updateNotice"_s).isEmpty());
        QVERIFY(checkAgain());
        QVERIFY(!finished.takeLast().first().value<UpdateCheck>().update);
        QVERIFY(shown<UpdateNoticeDialog>(u"updateNotice"_s).isEmpty());
        serve(FeedServer::document("down", 503));
        QVERIFY(checkAgain());
        QVERIFY(shown<QMessageBox>(u"updateError"_s).isEmpty());
    }

    void theUpdatesPageWritesThroughAndFollows()
    {
        UpdatesSettingsPage page(m_desktop->updaterModel());
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QCOMPARE(page.channel()->currentText(), u"Stable"_s);
        QVERIFY(page.automaticChecks()->isChecked());
        QCOMPARE(page.interval()->currentText(), u"Daily"_s);
        QCOMPARE(page.interval()->count(), 3);
        QCOMPARE(page.lastChecked()->text(), u"Never"_s);

        page.channel()->setFocus();
        QTest::keyClick(page.channel(), Qt::Key_Down);
        QCOMPARE(settings().get(Keys::updateChannel), UpdateChannel::beta);
        QTest::mouseClick(page.automaticChecks(), Qt::LeftButton);
        QCOMPARE(settings().get(Keys::automaticallyChecksForUpdates), false);
        QVERIFY(!page.interval()->isEnabled());

        settings().set(Keys::updateCheckInterval, UpdateCheckInterval::monthly);
        QCOMPARE(page.interval()->currentText(), u"Monthly"_s);
        settings().set(Keys::updateCheckInterval, UpdateCheckInterval::hourly);
        QCOMPARE(page.interval()->currentText(), u"Hourly"_s);
        QCOMPARE(page.interval()->count(), 4);
        QTest::mouseClick(page.automaticChecks(), Qt::LeftButton);
        page.interval()->setFocus();
        QTest::keyClick(page.interval(), Qt::Key_Down);
        QCOMPARE(settings().get(Keys::updateCheckInterval), UpdateCheckInterval::daily);
        QCOMPARE(page.interval()->currentText(), u"Daily"_s);
        QCOMPARE(page.interval()->count(), 3);
        settings().set(Keys::updateChannel, UpdateChannel::stable);
        QCOMPARE(page.channel()->currentText(), u"Stable"_s);

        // A failed check counts as the last one, and says so.
        serve(FeedServer::document("no", 404));
        QTest::mouseClick(page.checkNow(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(shown<QMessageBox>(u"updateError"_s).size(), 1, 20000);
        QVERIFY2(page.lastChecked()->text().endsWith(
                     u" — failed: The update server answered with an error (HTTP 404)."_s),
                 qPrintable(page.lastChecked()->text()));
        shown<QMessageBox>(u"updateError"_s).first()->close();

        serve(FeedServer::document(feedWith("0.0.9")));
        QTest::mouseClick(page.checkNow(), Qt::LeftButton);
        QVERIFY(!page.checkNow()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(page.checkNow()->isEnabled(), 20000);
        QVERIFY(page.lastChecked()->text() != u"Never"_s);
        QVERIFY(!page.lastChecked()->text().contains(u"failed"_s));
        QTRY_COMPARE(shown<QMessageBox>(u"upToDate"_s).size(), 1);
    }

    void theAboutWindowNamesTheVersions()
    {
        m_desktop->help().about->trigger();
        QTRY_COMPARE(shown<AboutWindow>(u"about"_s).size(), 1);
        AboutWindow *about = shown<AboutWindow>(u"about"_s).first();
        QCOMPARE(about->windowTitle(), u"About VellSSH"_s);
        const QString texts = labelTexts(about);
        QVERIFY(texts.contains(u"Version "_s + ProjectSite::applicationVersion()));
        QVERIFY(texts.contains(u"Qt "_s + QString::fromLatin1(qVersion())));
        QTRY_VERIFY_WITH_TIMEOUT(!about->openSshText().isEmpty(), 20000);
        QVERIFY2(about->openSshText().startsWith(u"OpenSSH "_s), qPrintable(about->openSshText()));
        m_desktop->showAbout();
        QCOMPARE(shown<AboutWindow>(u"about"_s).size(), 1);
    }

    void theClientsVersionIsReadFromItsAnswer_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<std::optional<QString>>("version");
        QTest::newRow("Debian") << u"OpenSSH_9.2p1 Debian-2+deb12u3, OpenSSL 3.0.15 3 Sep 2024\n"_s
                                << std::optional(u"9.2p1"_s);
        QTest::newRow("portable") << u"OpenSSH_10.0p2, LibreSSL 3.3.6"_s
                                  << std::optional(u"10.0p2"_s);
        QTest::newRow("another client") << u"Dropbear v2022.83"_s << std::optional<QString>();
        QTest::newRow("nothing") << QString() << std::optional<QString>();
    }
    void theClientsVersionIsReadFromItsAnswer()
    {
        QFETCH(QString, output);
        QFETCH(std::optional<QString>, version);
        QCOMPARE(openSshVersionFromOutput(output), version);
    }
};

VELL_UI_TEST_MAIN(UpdateNoticesTest)
#include "tst_updatenotices.moc"
