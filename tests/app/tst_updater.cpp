#include "appcastfeed.h"
#include "feedserver.h"
#include "softwareupdater.h"
#include "softwareversion.h"
#include "testenvironment.h"
#include "updatermodel.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace std::chrono;
namespace Keys = SettingKeys;

namespace {

QByteArray item(const QByteArray &version, const QByteArray &channel = {})
{
    QByteArray text = "<item><title>VellSSH " + version +
                      "</title>"
                      "<pubDate>Mon, 07 Dec 2026 10:00:00 +0000</pubDate>"
                      "<link>https://vellssh.io/releases/" +
                      version + "</link><vell:version>" + version + "</vell:version>";
    if (!channel.isEmpty())
        text += "<vell:channel>" + channel + "</vell:channel>";
    return text + "</item>";
}

QByteArray feed(const QByteArray &items)
{
    return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" "
           "xmlns:vell=\"https://vellssh.io/xmlns/appcast\"><channel><title>VellSSH</title>" +
           items + "</channel></rss>";
}

} // namespace

class UpdaterTest : public QObject
{
    Q_OBJECT

    FeedServer m_server;
    int m_count = 0;

    struct Checker
    {
        std::unique_ptr<Settings> settings;
        std::unique_ptr<SoftwareUpdater> updater;
    };

    Checker checker(const QString &path, const QString &version = u"1.2.0"_s,
                    FeedFetcher::Limits limits = {})
    {
        auto settings = std::make_unique<Settings>(QDir::tempPath() +
                                                   u"/updater-%1/VellSSH.conf"_s.arg(++m_count));
        auto updater = std::make_unique<SoftwareUpdater>(
            *settings, SoftwareUpdater::Options{m_server.url(path), version, limits});
        return Checker{std::move(settings), std::move(updater)};
    }

    static UpdateCheck run(SoftwareUpdater &updater)
    {
        QSignalSpy finished(&updater, &SoftwareUpdater::checkFinished);
        updater.checkForUpdates();
        if (finished.isEmpty() && !finished.wait(20000))
            return UpdateCheck{UpdateCheck::Origin::user, std::nullopt, Error(u"no answer"_s)};
        return finished.first().first().value<UpdateCheck>();
    }

private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<UpdateCheck>(); }

    void versionsOrderAsPeopleReadThem_data()
    {
        QTest::addColumn<QString>("lower");
        QTest::addColumn<QString>("higher");
        QTest::newRow("numbers, not text") << u"1.9"_s << u"1.10"_s;
        QTest::newRow("more parts") << u"1.2"_s << u"1.2.1"_s;
        QTest::newRow("pre-release before its release") << u"1.2-beta.2"_s << u"1.2"_s;
        QTest::newRow("pre-release after the one before") << u"1.1.9"_s << u"1.2b1"_s;
        QTest::newRow("pre-release numbers") << u"1.2-beta.2"_s << u"1.2-beta.10"_s;
        QTest::newRow("glued pre-release numbers") << u"2.0b2"_s << u"2.0b10"_s;
        QTest::newRow("beta before release candidate") << u"2.0-beta.3"_s << u"2.0-rc.1"_s;
        QTest::newRow("big numbers") << u"2026.1"_s << u"20261.0"_s;
        QTest::newRow("numbers past 64 bits")
            << u"18446744073709551615.9"_s << u"999999999999999999999.1"_s;
        QTest::newRow("long numbers, same length")
            << u"1.99999999999999999999998"_s << u"1.99999999999999999999999"_s;
        QTest::newRow("long pre-release numbers")
            << u"1.0-rc.99999999999999999999"_s << u"1.0-rc.100000000000000000000"_s;
    }
    void versionsOrderAsPeopleReadThem()
    {
        QFETCH(QString, lower);
        QFETCH(QString, higher);
        QCOMPARE(compareVersions(lower, higher), -1);
        QCOMPARE(compareVersions(higher, lower), 1);
        QCOMPARE(compareVersions(higher, higher), 0);
    }

    void trailingZerosAndCaseDoNotMatter()
    {
        QCOMPARE(compareVersions(u"1.2"_s, u"1.2.0.0"_s), 0);
        QCOMPARE(compareVersions(u"1.02"_s, u"01.2.000"_s), 0);
        QCOMPARE(compareVersions(u"1.0-rc.007"_s, u"1.0-rc.7"_s), 0);
        QCOMPARE(compareVersions(u"1.2-Beta.1"_s, u"1.2-beta.1"_s), 0);
    }

    void intervalsMatchTheirSecondsExactly()
    {
        QCOMPARE(updateCheckIntervalFromSeconds(2629800),
                 std::optional(UpdateCheckInterval::monthly));
        QCOMPARE(displayName(UpdateCheckInterval::monthly), u"Monthly"_s);
        QCOMPARE(updateCheckIntervalFromSeconds(3600), std::optional(UpdateCheckInterval::hourly));
        QVERIFY(displayName(UpdateCheckInterval::hourly).isEmpty());
        QVERIFY(!updateCheckIntervalFromSeconds(1234));

        Settings settings(QDir::tempPath() + u"/intervals/VellSSH.conf"_s);
        QCOMPARE(settings.get(Keys::automaticallyChecksForUpdates), true);
        QCOMPARE(settings.get(Keys::updateCheckInterval), UpdateCheckInterval::daily);
        settings.write(Keys::updateCheckInterval.name, 1234);
        QCOMPARE(settings.get(Keys::updateCheckInterval), UpdateCheckInterval::daily);
        QVERIFY(!settings.set(Keys::updateCheckInterval, UpdateCheckInterval::monthly));
        QCOMPARE(Settings(settings.filePath()).get(Keys::updateCheckInterval),
                 UpdateCheckInterval::monthly);
    }

    void theNextAutomaticCheckFollowsTheLast_data()
    {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QTest::addColumn<std::optional<QDateTime>>("last");
        QTest::addColumn<UpdateCheckInterval>("interval");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<qint64>("wait");
        QTest::newRow("never checked")
            << std::optional<QDateTime>() << UpdateCheckInterval::daily << now << 0ll;
        QTest::newRow("an hour ago, daily")
            << std::optional(now.addSecs(-3600)) << UpdateCheckInterval::daily << now << 82800000ll;
        QTest::newRow("overdue") << std::optional(now.addDays(-8)) << UpdateCheckInterval::weekly
                                 << now << 0ll;
        QTest::newRow("monthly") << std::optional(now) << UpdateCheckInterval::monthly << now
                                 << 2629800000ll;
        QTest::newRow("clock set back")
            << std::optional(now.addDays(3)) << UpdateCheckInterval::daily << now << 0ll;
    }
    void theNextAutomaticCheckFollowsTheLast()
    {
        QFETCH(std::optional<QDateTime>, last);
        QFETCH(UpdateCheckInterval, interval);
        QFETCH(QDateTime, now);
        QFETCH(qint64, wait);
        QCOMPARE(untilNextCheck(last, interval, now).count(), wait);
    }

    void theFeedNamesVersionsInElementsOrOnTheEnclosure()
    {
        const auto items = parseAppcast(
            feed("<item><title>One</title><enclosure url=\"https://vellssh.io/one.tar.gz\" "
                 "length=\"4096\" vell:version=\"1.3.0\" vell:shortVersion=\"1.3\"/></item>"
                 "<item><title>Two</title><link>https://vellssh.io/two</link>"
                 "<vell:version>1.4.0</vell:version><vell:channel>beta</vell:channel>"
                 "<vell:releaseNotesLink>https://vellssh.io/notes/1.4</vell:releaseNotesLink>"
                 "<pubDate>Tue, 01 Dec 2026 08:30:00 +0100</pubDate></item>"
                 "<item><title>No version</title><link>https://vellssh.io/x</link></item>"
                 "<item><title>Nowhere to get it</title><vell:version>9</vell:version></item>"));
        QVERIFY(items);
        QCOMPARE(items->size(), 2);
        const AppcastItem &one = items->at(0);
        QCOMPARE(one.version, u"1.3.0"_s);
        QCOMPARE(one.displayVersion(), u"1.3"_s);
        QCOMPARE(one.enclosureLength, 4096);
        QCOMPARE(one.downloadUrl(), QUrl(u"https://vellssh.io/one.tar.gz"_s));
        QVERIFY(one.channel.isEmpty());
        const AppcastItem &two = items->at(1);
        QCOMPARE(two.channel, u"beta"_s);
        QCOMPARE(two.displayVersion(), u"1.4.0"_s);
        QCOMPARE(two.downloadUrl(), QUrl(u"https://vellssh.io/two"_s));
        QCOMPARE(two.releaseNotesLink, QUrl(u"https://vellssh.io/notes/1.4"_s));
        QCOMPARE(two.pubDate, QDateTime(QDate(2026, 12, 1), QTime(7, 30), Qt::UTC));

        QVERIFY(!parseAppcast("<html><body>moved</body></html>"));
        QVERIFY(!parseAppcast(feed(item("1.3")).chopped(12)));
        QCOMPARE(parseAppcast(feed({}))->size(), 0);
    }

    void theCheckerOffersWhatTheChannelAllows_data()
    {
        QTest::addColumn<QByteArray>("items");
        QTest::addColumn<UpdateChannel>("channel");
        QTest::addColumn<QString>("offered");
        const QByteArray mixed = item("1.1.0") + item("1.3.0") + item("1.4.0-beta.1", "beta");
        QTest::newRow("newer stable") << mixed << UpdateChannel::stable << u"1.3.0"_s;
        QTest::newRow("beta on beta") << mixed << UpdateChannel::beta << u"1.4.0-beta.1"_s;
        QTest::newRow("beta alone on stable")
            << item("1.4.0-beta.1", "beta") << UpdateChannel::stable << QString();
        QTest::newRow("other channels never")
            << item("1.5.0", "nightly") << UpdateChannel::beta << QString();
        QTest::newRow("huge version") << item("999999999999999999999.1") << UpdateChannel::stable
                                      << u"999999999999999999999.1"_s;
        QTest::newRow("same version") << item("1.2.0") << UpdateChannel::stable << QString();
        QTest::newRow("older only")
            << item("1.1.9") + item("1.2.0-rc.1") << UpdateChannel::beta << QString();
    }
    void theCheckerOffersWhatTheChannelAllows()
    {
        QFETCH(QByteArray, items);
        QFETCH(UpdateChannel, channel);
        QFETCH(QString, offered);
        const QString path = u"/feed-%1.xml"_s.arg(m_count);
        m_server.serve(path, FeedServer::document(feed(items)));
        Checker c = checker(path);
        QVERIFY(!c.settings->set(Keys::updateChannel, channel));
        QVERIFY(!c.settings->get(Keys::lastUpdateCheckDate));

        const UpdateCheck check = run(*c.updater);
        QVERIFY2(!check.error, qPrintable(check.error ? check.error->message : QString()));
        QCOMPARE(check.origin, UpdateCheck::Origin::user);
        QCOMPARE(check.update ? check.update->version : QString(), offered);
        QVERIFY(c.settings->get(Keys::lastUpdateCheckDate));
        QVERIFY(c.updater->canCheckForUpdates());
    }

    void switchingBackToStableLimitsTheOffer()
    {
        m_server.serve(u"/mixed.xml"_s,
                       FeedServer::document(feed(item("1.3.0") + item("1.4.0b1", "beta"))));
        Checker c = checker(u"/mixed.xml"_s);
        UpdaterModel model(*c.updater);
        QSignalSpy channelChanged(&model, &UpdaterModel::updateChannelChanged);
        model.setUpdateChannel(UpdateChannel::beta);
        QCOMPARE(channelChanged.size(), 1);
        QCOMPARE(run(*c.updater).update->version, u"1.4.0b1"_s);
        model.setUpdateChannel(UpdateChannel::stable);
        QCOMPARE(run(*c.updater).update->version, u"1.3.0"_s);
    }

    void failuresSayWhatWentWrong_data()
    {
        QTest::addColumn<FeedServer::Answer>("answer");
        QTest::addColumn<QString>("message");
        QTest::newRow("broken XML") << FeedServer::document(feed(item("1.3")).chopped(20))
                                    << u"The update information could not be read."_s;
        QTest::newRow("not a feed") << FeedServer::document("<html></html>")
                                    << u"The update information could not be read."_s;
        QTest::newRow("missing") << FeedServer::document("gone", 404)
                                 << u"The update server answered with an error (HTTP 404)."_s;
        QTest::newRow("server error") << FeedServer::document("busy", 503)
                                      << u"The update server answered with an error (HTTP 503)."_s;
        QTest::newRow("silent") << FeedServer::silence()
                                << u"The update server did not answer in time."_s;
        QTest::newRow("oversized, announced")
            << FeedServer::document(QByteArray(300 * 1024, ' '))
            << u"The update information is larger than expected."_s;
        QTest::newRow("oversized, streamed")
            << FeedServer::stream(QByteArray(300 * 1024, ' '))
            << u"The update information is larger than expected."_s;
        QTest::newRow("redirect loop")
            << FeedServer::redirect("/failure-loop")
            << u"The update server redirected the check too many times."_s;
        QTest::newRow("redirect off HTTPS")
            << FeedServer::redirect("http://vellssh.io/appcast.xml")
            << u"Updates are only checked over a secure connection."_s;
    }
    void failuresSayWhatWentWrong()
    {
        QFETCH(FeedServer::Answer, answer);
        QFETCH(QString, message);
        m_server.serve(u"/failure-loop"_s, answer);
        m_server.requests.clear();
        Checker c =
            checker(u"/failure-loop"_s, u"1.2.0"_s, FeedFetcher::Limits{seconds(2), 256 * 1024, 3});
        const UpdateCheck check = run(*c.updater);
        QVERIFY(check.error);
        QCOMPARE(check.error->message, message);
        QVERIFY(!check.error->recoverySuggestion.isEmpty());
        QVERIFY(!check.update);
        // The first request and three redirects; the network layer may send one of them again
        // on a fresh connection.
        QVERIFY2(m_server.requests.size() <= 5, qPrintable(m_server.requests.join(u' ')));
        QVERIFY(c.updater->canCheckForUpdates());
    }

    // A server that sends a byte now and then never runs into the timeout for silence.
    void aTrickleOfBytesRunsIntoTheDeadline()
    {
        m_server.serve(u"/drip.xml"_s, FeedServer::drip(feed(item("1.3.0")), milliseconds(50)));
        FeedFetcher::Limits limits{seconds(2), 1024 * 1024, 3, milliseconds(800)};
        Checker c = checker(u"/drip.xml"_s, u"1.2.0"_s, limits);
        const UpdateCheck check = run(*c.updater);
        QVERIFY(check.error);
        QCOMPARE(check.error->message,
                 u"The update server took too long to send the update information."_s);
        QVERIFY(c.updater->canCheckForUpdates());
    }

    void onlyLoopbackMayGoWithoutHttps()
    {
        QVERIFY(FeedFetcher::isSecure(QUrl(u"https://vellssh.io/appcast.xml"_s)));
        QVERIFY(FeedFetcher::isSecure(QUrl(u"http://127.0.0.1:8080/a.xml"_s)));
        QVERIFY(FeedFetcher::isSecure(QUrl(u"http://[::1]/a.xml"_s)));
        QVERIFY(!FeedFetcher::isSecure(QUrl(u"http://vellssh.io/appcast.xml"_s)));
        QVERIFY(!FeedFetcher::isSecure(QUrl(u"http://127.0.0.1.vellssh.io/a.xml"_s)));
        QVERIFY(!FeedFetcher::isSecure(QUrl(u"ftp://127.0.0.1/a.xml"_s)));
        QVERIFY(!FeedFetcher::isSecure(QUrl(u"file:///etc/passwd"_s)));
    }

    // The check in progress keeps a second one out, and the model says so.
    void aCheckRunsAloneWhileTheModelFollows()
    {
        m_server.serve(u"/slow.xml"_s, FeedServer::silence());
        Checker c = checker(u"/slow.xml"_s, u"1.2.0"_s, FeedFetcher::Limits{seconds(1), 1024, 1});
        UpdaterModel model(*c.updater);
        QSignalSpy can(&model, &UpdaterModel::canCheckForUpdatesChanged);
        QSignalSpy finished(c.updater.get(), &SoftwareUpdater::checkFinished);
        QSignalSpy lastDate(&model, &UpdaterModel::lastUpdateCheckDateChanged);
        model.checkForUpdates();
        QVERIFY(!model.canCheckForUpdates());
        QCOMPARE(can.size(), 1);
        QCOMPARE(can.first().first().toBool(), false);
        model.checkForUpdates();
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(can.last().first().toBool(), true);
        QCOMPARE(lastDate.size(), 1);
        QVERIFY(model.lastUpdateCheckDate());
    }

    // An automatic check keeps quiet about a version the user skipped; one the user asks for
    // still names it.
    void automaticChecksRunWhenDueAndRespectASkippedVersion()
    {
        m_server.serve(u"/auto.xml"_s, FeedServer::document(feed(item("1.3.0"))));
        Checker c = checker(u"/auto.xml"_s);
        QSignalSpy finished(c.updater.get(), &SoftwareUpdater::checkFinished);
        c.updater->startAutomaticChecks(milliseconds(0));
        QVERIFY(finished.wait(20000));
        auto check = finished.takeFirst().first().value<UpdateCheck>();
        QCOMPARE(check.origin, UpdateCheck::Origin::schedule);
        QCOMPARE(check.update->version, u"1.3.0"_s);

        c.updater->skipVersion(u"1.3.0"_s);
        QVERIFY(!c.settings->set(Keys::lastUpdateCheckDate, std::optional<QDateTime>()));
        c.settings->set(Keys::updateCheckInterval, UpdateCheckInterval::weekly);
        QVERIFY(finished.wait(20000));
        check = finished.takeFirst().first().value<UpdateCheck>();
        QCOMPARE(check.origin, UpdateCheck::Origin::schedule);
        QVERIFY(!check.update);
        QVERIFY(!check.error);
        QCOMPARE(run(*c.updater).update->version, u"1.3.0"_s);
    }

    void automaticChecksFollowTheSwitchAndTheInterval()
    {
        Checker c = checker(u"/never-asked.xml"_s);
        UpdaterModel model(*c.updater);
        QVERIFY(!c.updater->nextAutomaticCheck());
        const QDateTime last = QDateTime::currentDateTimeUtc().addSecs(-60);
        QVERIFY(!c.settings->set(Keys::lastUpdateCheckDate, std::optional(last)));
        c.updater->startAutomaticChecks(milliseconds(0));
        QCOMPARE(c.updater->nextAutomaticCheck(), last.addSecs(86400));
        model.setUpdateCheckInterval(UpdateCheckInterval::monthly);
        QCOMPARE(c.updater->nextAutomaticCheck(), last.addSecs(2629800));
        model.setAutomaticallyChecksForUpdates(false);
        QVERIFY(!c.settings->get(Keys::automaticallyChecksForUpdates));
        QVERIFY(!c.updater->nextAutomaticCheck());
        model.setAutomaticallyChecksForUpdates(true);
        QCOMPARE(c.updater->nextAutomaticCheck(), last.addSecs(2629800));
    }
};

VELL_TEST_MAIN(UpdaterTest)
#include "tst_updater.moc"
