#include "keychain.h"
#include "notificationserver.h"
#include "programrun.h"
#include "sshdfixture.h"
#include "testenvironment.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>

#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using Run = ProgramRun;

Run cli(const QStringList &args, const QByteArray &input = {})
{
    return runProgram(QStringLiteral(VELLSSH_CLI), args, input);
}

Run secondDevice(const QStringList &args)
{
    return runProgramAsSecondDevice(QStringLiteral(VELLSSH_CLI), args);
}

bool daemonOnBus()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(u"io.vellssh.Tunnel"_s);
}

} // namespace

// The daemon and the command line together, on a private bus, against a private sshd.
class DaemonTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SshdFixture> m_sshd;
    QProcess m_daemon;
    QProcess m_watch;
    QProcess m_follow;
    QString m_watched;
    QString m_followed;

    static void startCli(QProcess &process, const QStringList &arguments)
    {
        process.start(QStringLiteral(VELLSSH_CLI), arguments);
    }

    // A profile on one of a fixture's keys. Requests see it at once: the daemon merges what
    // others committed before it answers.
    static bool addProfile(const QString &name, const SshdFixture &sshd, const QString &key,
                           const QStringList &more = {})
    {
        return cli(QStringList{u"add"_s, u"--name"_s, name, u"--host"_s, u"127.0.0.1"_s,
                               u"--port"_s, QString::number(sshd.port()), u"--user"_s, u"root"_s,
                               u"--option"_s, u"IdentityFile="_s + key} +
                   more)
                   .code == 0;
    }

    // The same on the passphrase key, whose question is asked.
    static bool addPassphraseProfile(const QString &name, const SshdFixture &sshd,
                                     const QStringList &more = {})
    {
        return addProfile(name, sshd, sshd.passphraseKey(),
                          QStringList{u"--option"_s, u"BatchMode=no"_s} + more);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sshd = std::make_unique<SshdFixture>(QDir::tempPath() + u"/sshd"_s);
        const QString problem = m_sshd->start();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(
            cli({u"settings"_s, u"set"_s, u"user_config_file_path"_s, m_sshd->clientConfig()}).code,
            0);
    }

    void cleanupTestCase()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(30000);
        m_sshd.reset();
    }

    void withoutTheDaemonTheCommandsSaySo()
    {
        const Run run = cli({u"connect"_s, u"--all"_s});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(u"VellSSH is not running"_s));
    }

    void connectWaitsForTheTunnelAndTrashEndsIt()
    {
        QCOMPARE(cli({u"add"_s, u"--name"_s, u"db"_s, u"--host"_s, u"127.0.0.1"_s, u"--port"_s,
                      QString::number(m_sshd->port()), u"--user"_s, u"root"_s, u"--option"_s,
                      u"IdentityFile="_s + m_sshd->clientKey(), u"-D"_s,
                      QString::number(SshdFixture::freePort())})
                     .code,
                 0);
        QCOMPARE(cli({u"add"_s, u"--name"_s, u"wrong"_s, u"--host"_s, u"127.0.0.1"_s, u"--port"_s,
                      QString::number(m_sshd->port()), u"--user"_s, u"root"_s, u"--option"_s,
                      u"IdentityFile="_s + m_sshd->otherKey()})
                     .code,
                 0);

        m_daemon.setProcessChannelMode(QProcess::ForwardedChannels);
        m_daemon.start(QStringLiteral(VELLSSH), {u"--headless"_s});
        QTRY_VERIFY_WITH_TIMEOUT(daemonOnBus(), 30000);
        // The stock client's system-wide file is the one written, and nothing in our own folder.
        QVERIFY(QFile::exists(qEnvironmentVariable("VELLSSH_TEST_ETC_SSH") + u"/ssh_config"_s));
        QVERIFY(!QFile::exists(qEnvironmentVariable("XDG_CONFIG_HOME") + u"/VellSSH/ssh_config"_s));
        QProcess second;
        second.start(QStringLiteral(VELLSSH), {u"--headless"_s});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(QString::fromUtf8(second.readAllStandardError()).contains(u"already running"_s));

        const Run connected = cli({u"connect"_s, u"db"_s});
        QCOMPARE(connected.code, 0);
        QCOMPARE(connected.out, u"db: Connected\n"_s);
        QVERIFY(!m_sshd->connectionProcesses().isEmpty());

        const Run refused = cli({u"connect"_s, u"wrong"_s});
        QCOMPARE(refused.code, 1);
        QCOMPARE(refused.out, u"wrong: root@127.0.0.1: Permission denied (publickey).\n"_s);

        const Run status = cli({u"status"_s});
        QVERIFY(status.out.contains(u"db\tConnected\t\n"_s));
        QVERIFY(status.out.contains(u"wrong\tAbnormal Disconnect\t"_s));
        QVERIFY(cli({u"log"_s, u"db"_s}).out.contains(u"Equivalent Command: ssh -N -F "_s));

        // The command line writes the store; the daemon merges it and ends the tunnel.
        QCOMPARE(cli({u"trash"_s, u"db"_s}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_sshd->connectionProcesses().isEmpty(), 30000);
        QCOMPARE(cli({u"connect"_s, u"db"_s}).code, 1);
    }

    void changesAreBackedUpAfterAQuietMoment()
    {
        const QString folder = QDir::tempPath() + u"/daemon-backups"_s;
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(cli({u"backup"_s, u"folder"_s, folder}).code, 0);
        QCOMPARE(
            cli({u"add"_s, u"--name"_s, u"backed up"_s, u"--host"_s, u"h"_s, u"--user"_s, u"u"_s})
                .code,
            0);
        QTRY_VERIFY_WITH_TIMEOUT(
            !QDir(folder).entryList({u"*.velltunnel"_s}, QDir::Files).isEmpty(), 30000);
        const QString first = QDir(folder).entryList({u"*.velltunnel"_s}, QDir::Files).first();
        QFile backup(folder + u'/' + first);
        QVERIFY(backup.open(QIODevice::ReadOnly));
        QVERIFY(backup.readAll().contains("\"backed up\""));
    }

    void questionsGoToTheClientThatAskedForTheConnection()
    {
        QVERIFY(addPassphraseProfile(u"locked"_s, *m_sshd, {u"--retries"_s, u"0"_s}));
        const Run cancelled = cli({u"connect"_s, u"locked"_s});
        QCOMPARE(cancelled.code, 1);
        QVERIFY2(cancelled.err.contains(u"Enter passphrase for key: "_s),
                 qPrintable(cancelled.err + cancelled.out));
        QCOMPARE(cancelled.out, u"locked: Authentication cancelled.\n"_s);

        const Run answered = cli({u"connect"_s, u"locked"_s}, "labpass\n");
        QCOMPARE(answered.code, 0);
        QCOMPARE(answered.out, u"locked: Connected\n"_s);
        QCOMPARE(cli({u"disconnect"_s, u"locked"_s}).code, 0);
    }

    void aRememberedPassphraseIsUsedUntilItProvesWrong()
    {
        const Run remembered = cli({u"connect"_s, u"locked"_s}, "labpass\ny\n");
        QCOMPARE(remembered.code, 0);
        QVERIFY2(remembered.err.contains(u"Remember the passphrase in keychain? [y/N]"_s),
                 qPrintable(remembered.err));
        QCOMPARE(cli({u"disconnect"_s, u"locked"_s}).code, 0);

        const Run silent = cli({u"connect"_s, u"locked"_s});
        QCOMPARE(silent.code, 0);
        QVERIFY2(!silent.err.contains(u"Enter passphrase"_s), qPrintable(silent.err));
        QCOMPARE(cli({u"disconnect"_s, u"locked"_s}).code, 0);

        const Keychain keychain;
        PromptRequest question;
        question.type = AuthPrompt::PublicKey{m_sshd->passphraseKey()};
        const KeychainItem item = *keychainItem(question);
        QCOMPARE(keychain.store(item, u"outdated"_s), std::nullopt);
        const Run corrected = cli({u"connect"_s, u"locked"_s}, "labpass\nn\n");
        QCOMPARE(corrected.code, 0);
        QCOMPARE(corrected.err.count(u"Enter passphrase"_s), 1);
        QCOMPARE(keychain.find(item), u"outdated"_s);
        QCOMPARE(cli({u"disconnect"_s, u"locked"_s}).code, 0);
    }

    // After a drop, the retry of a tunnel on a passphrase key asks with nobody to answer: the
    // question waits until a client connects the profile, or until the user disconnects it.
    // The desktop hears of each turn.
    void aDroppedTunnelIsAnnouncedAndItsQuestionWaitsForAClient()
    {
        NotificationServer desktop;
        QVERIFY(desktop.serve(u"desktop"_s));
        PromptRequest question;
        question.type = AuthPrompt::PublicKey{m_sshd->passphraseKey()};
        QCOMPARE(Keychain().remove(*keychainItem(question)), std::nullopt);
        QVERIFY(addPassphraseProfile(u"resumed"_s, *m_sshd,
                                     {u"--option"_s, u"UserNotification=yes"_s}));
        QCOMPARE(cli({u"connect"_s, u"resumed"_s}, "labpass\nn\n").out, u"resumed: Connected\n"_s);
        QTRY_COMPARE_WITH_TIMEOUT(desktop.summaries(), QStringList{u"Connected"_s}, 30000);
        QCOMPARE(desktop.calls.first().body, u"resumed"_s);

        auto dropAndWait = [&] {
            for (qint64 pid : m_sshd->connectionProcesses())
                ::kill(pid_t(pid), SIGKILL);
            QTRY_VERIFY_WITH_TIMEOUT(
                cli({u"status"_s})
                    .out.contains(u"resumed\tAuthenticating\tWaiting for passphrase\n"_s),
                30000);
        };
        dropAndWait();
        QCOMPARE(desktop.summaries().last(), u"Connection Interrupted"_s);
        const Run attached = cli({u"connect"_s, u"resumed"_s}, "labpass\nn\n");
        QCOMPARE(attached.out, u"resumed: Connected\n"_s);
        QCOMPARE(attached.err.count(u"Enter passphrase for key: "_s), 1);
        QTRY_COMPARE_WITH_TIMEOUT(desktop.summaries().last(), u"Connection Restored"_s, 30000);
        QCOMPARE(desktop.calls.last().replaces, desktop.calls.first().id);

        // A client that is still asking when the run ends stops asking.
        dropAndWait();
        QProcess asking;
        asking.setChildProcessModifier([] { ::setsid(); });
        startCli(asking, {u"connect"_s, u"resumed"_s});
        QByteArray asked;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (asked += asking.readAllStandardError()).contains("Enter passphrase"),
            (asked + cli({u"status"_s}).out.toUtf8()).constData(), 30000);
        QCOMPARE(cli({u"disconnect"_s, u"resumed"_s}).code, 0);
        QVERIFY(asking.waitForFinished(30000));
        QVERIFY(asking.readAllStandardError().contains("The question was withdrawn"));
        QTRY_VERIFY_WITH_TIMEOUT(m_sshd->connectionProcesses().isEmpty(), 30000);
        QVERIFY(!cli({u"status"_s}).out.contains(u"Waiting for"_s));
        desktop.stop();
    }

    // No notification server runs, but the bus can start one: the first notice starts it.
    void aNotificationServerThatTheBusStartsIsUsed()
    {
        const QString name = u"org.freedesktop.Notifications"_s;
        QDBusConnection session = QDBusConnection::sessionBus();
        QVERIFY(!session.interface()->isServiceRegistered(name));
        const QString record = QDir::tempPath() + u"/notifications"_s;
        QFile service(qEnvironmentVariable("VELL_BUS_SERVICES") + u'/' + name + u".service"_s);
        QVERIFY(service.open(QIODevice::WriteOnly));
        service.write("[D-BUS Service]\nName=" + name.toUtf8() + "\nExec=" NOTIFICATION_SERVER " " +
                      record.toUtf8() + "\n");
        service.close();
        const QDBusMessage reload =
            QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                           u"org.freedesktop.DBus"_s, u"ReloadConfig"_s);
        QCOMPARE(session.call(reload).type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY_WITH_TIMEOUT(
            session.interface()->activatableServiceNames().value().contains(name), 10000);

        QCOMPARE(cli({u"add"_s, u"--name"_s, u"announced"_s, u"--host"_s, u"127.0.0.1"_s,
                      u"--port"_s, QString::number(m_sshd->port()), u"--user"_s, u"root"_s,
                      u"--option"_s, u"IdentityFile="_s + m_sshd->clientKey(), u"--option"_s,
                      u"UserNotification=yes"_s})
                     .code,
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(cli({u"status"_s, u"--all"_s}).out.contains(u"announced"_s),
                                 30000);
        QCOMPARE(cli({u"connect"_s, u"announced"_s}).out, u"announced: Connected\n"_s);
        auto recorded = [&] {
            QFile file(record);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE_WITH_TIMEOUT(recorded(), QByteArray("Connected\n"), 30000);
        QCOMPARE(cli({u"disconnect"_s, u"announced"_s}).code, 0);

        QVERIFY(service.remove());
        QCOMPARE(session.call(reload).type(), QDBusMessage::ReplyMessage);
        ::kill(pid_t(session.interface()->servicePid(name).value()), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!session.interface()->isServiceRegistered(name), 30000);
    }

    // A server gives a login only so long (LoginGraceTime): a question that nobody answers in
    // that time did not fail the login, so the run is retried and its question waits again,
    // until a client answers it.
    void aWaitingQuestionOutlastsTheServersGraceTime()
    {
        SshdFixture impatient(QDir::tempPath() + u"/sshd-impatient"_s);
        const QString problem = impatient.start(u"LoginGraceTime 5"_s);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(addPassphraseProfile(
            u"patient"_s, impatient,
            {u"--option"_s, u"UserKnownHostsFile="_s + impatient.knownHosts()}));
        QCOMPARE(cli({u"connect"_s, u"patient"_s}, "labpass\nn\n").out, u"patient: Connected\n"_s);

        const QString waiting = u"patient\tAuthenticating\tWaiting for passphrase\n"_s;
        auto runs = [] { return cli({u"log"_s, u"patient"_s}).out.count(u"Equivalent Command"_s); };
        for (qint64 pid : impatient.connectionProcesses())
            ::kill(pid_t(pid), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(cli({u"status"_s}).out.contains(waiting), 30000);
        const qsizetype dropped = runs();
        QTRY_VERIFY_WITH_TIMEOUT(runs() > dropped, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(cli({u"status"_s}).out.contains(waiting), 30000);

        const Run answered = cli({u"connect"_s, u"patient"_s}, "labpass\nn\n");
        QCOMPARE(answered.out, u"patient: Connected\n"_s);
        QCOMPARE(answered.err.count(u"Enter passphrase for key: "_s), 1);
        QCOMPARE(cli({u"disconnect"_s, u"patient"_s}).code, 0);
    }

    // status shows the tunnels that were used, unless told to show all; scripts read the states
    // as JSON, from list as from status.
    void scriptsReadTheStatesOfTheTunnelsUsed()
    {
        QVERIFY(addProfile(u"in use"_s, *m_sshd, m_sshd->clientKey(), {u"--pin"_s}));
        QVERIFY(addProfile(u"idle"_s, *m_sshd, m_sshd->clientKey()));
        QCOMPARE(cli({u"connect"_s, u"in use"_s}).code, 0);

        const QString status = cli({u"status"_s}).out;
        QVERIFY2(status.contains(u"in use\tConnected\t\n"_s), qPrintable(status));
        QVERIFY2(!status.contains(u"idle\t"_s), qPrintable(status));
        QCOMPARE(cli({u"status"_s, u"in use"_s}).out, u"in use\tConnected\t\n"_s);
        QVERIFY(cli({u"status"_s, u"--all"_s}).out.contains(u"idle\tNot Connected\t\n"_s));

        auto byName = [](const QString &text) {
            QHash<QString, QJsonObject> profiles;
            for (const QJsonValue &value : QJsonDocument::fromJson(text.toUtf8()).array())
                profiles.insert(value[u"name"_s].toString(), value.toObject());
            return profiles;
        };
        const auto used = byName(cli({u"status"_s, u"--json"_s}).out);
        QVERIFY(!used.contains(u"idle"_s));
        QCOMPARE(used[u"in use"_s][u"state"_s].toString(), u"connected"_s);
        QCOMPARE(used[u"in use"_s][u"textState"_s].toString(), u"Connected"_s);
        QCOMPARE(used[u"in use"_s][u"pinned"_s], QJsonValue(true));
        QVERIFY(!used[u"in use"_s][u"uuid"_s].toString().isEmpty());
        const auto all = byName(cli({u"status"_s, u"--all"_s, u"--json"_s}).out);
        QCOMPARE(all[u"idle"_s][u"state"_s].toString(), QString());
        QCOMPARE(all[u"idle"_s][u"pinned"_s], QJsonValue(false));
        const auto listed = byName(cli({u"list"_s, u"--json"_s}).out);
        QCOMPARE(listed[u"in use"_s][u"state"_s].toString(), u"connected"_s);
        QCOMPARE(listed[u"idle"_s][u"state"_s].toString(), QString());

        // A tag that does not exist is refused as list refuses it, not taken for an empty one.
        const Run listNone = cli({u"list"_s, u"--tag"_s, u"nosuch"_s});
        const Run connectNone = cli({u"connect"_s, u"--tag"_s, u"nosuch"_s});
        QCOMPARE(connectNone.code, listNone.code);
        QCOMPARE(connectNone.err, listNone.err);
        QCOMPARE(connectNone.err, u"No tag “nosuch”.\n"_s);
        QCOMPARE(cli({u"disconnect"_s, u"in use"_s}).code, 0);
    }

    void watchersSeeStatesAndLogLinesAsTheyCome()
    {
        QVERIFY(addProfile(u"watched"_s, *m_sshd, m_sshd->clientKey()));
        QCOMPARE(cli({u"connect"_s, u"watched"_s}).code, 0);
        QCOMPARE(cli({u"disconnect"_s, u"watched"_s}).code, 0);

        startCli(m_watch, {u"status"_s, u"--watch"_s});
        startCli(m_follow, {u"log"_s, u"watched"_s, u"--follow"_s});
        auto readInto = [](QProcess &process, QString &text) {
            text += QString::fromUtf8(process.readAllStandardOutput());
            return text;
        };
        QTRY_VERIFY_WITH_TIMEOUT(readInto(m_watch, m_watched).contains(u"watched\t"_s), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(readInto(m_follow, m_followed).count(u"Equivalent Command"_s) == 1,
                                 30000);

        QCOMPARE(cli({u"connect"_s, u"watched"_s}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(
            readInto(m_watch, m_watched).contains(u"watched\tConnected\t\n"_s), 30000);
        // Every watched line starts with the time it was printed.
        const QRegularExpression timed(
            u"^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(Z|[+-]\\d\\d:\\d\\d)\t"_s);
        for (const QString &line : m_watched.split(u'\n', Qt::SkipEmptyParts))
            QVERIFY2(timed.match(line).hasMatch(), qPrintable(line));
        QTRY_VERIFY_WITH_TIMEOUT(readInto(m_follow, m_followed).count(u"Equivalent Command"_s) == 2,
                                 30000);
        QCOMPARE(m_watch.state(), QProcess::Running);
    }

    // The server accepts and never speaks, so the client is surely running when the user gives up.
    void aDisconnectWhileConnectingIsANormalEnd()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QCOMPARE(cli({u"add"_s, u"--name"_s, u"silent"_s, u"--host"_s, u"127.0.0.1"_s, u"--port"_s,
                      QString::number(silent.serverPort()), u"--user"_s, u"root"_s})
                     .code,
                 0);
        QTRY_VERIFY_WITH_TIMEOUT(cli({u"status"_s, u"--all"_s}).out.contains(u"silent\t"_s), 30000);
        QCOMPARE(cli({u"connect"_s, u"--no-wait"_s, u"silent"_s}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 30000);
        const Run ended = cli({u"disconnect"_s, u"silent"_s});
        QCOMPARE(ended.code, 0);
        QCOMPARE(ended.out, u"silent: Disconnected\n"_s);
        QVERIFY(cli({u"status"_s}).out.contains(u"silent\tDisconnected\t\n"_s));
    }

    // The daemon is one device, the command line with other folders the second one.
    void theDaemonKeepsTheSyncFolderInStep()
    {
        const QString folder = QDir::tempPath() + u"/daemon-sync"_s;
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(secondDevice({u"sync"_s, u"folder"_s, folder}).code, 0);
        QCOMPARE(secondDevice({u"add"_s, u"--name"_s, u"from afar"_s, u"--host"_s, u"far"_s,
                               u"--user"_s, u"u"_s})
                     .code,
                 0);
        QCOMPARE(secondDevice({u"sync"_s, u"now"_s}).out, u"1 records written, 0 applied.\n"_s);

        QCOMPARE(cli({u"sync"_s, u"folder"_s, folder}).code, 0);
        QTRY_VERIFY_WITH_TIMEOUT(cli({u"status"_s, u"--all"_s}).out.contains(u"from afar\t"_s),
                                 30000);
        QTRY_COMPARE_WITH_TIMEOUT(
            secondDevice({u"sync"_s, u"status"_s}).out.count(u"Other devices: \n"_s), 0, 30000);

        // Each side's later changes cross while the daemon keeps running.
        for (const QString &name : {u"made here"_s, u"made here later"_s}) {
            QCOMPARE(
                cli({u"add"_s, u"--name"_s, name, u"--host"_s, u"h"_s, u"--user"_s, u"u"_s}).code,
                0);
            QTRY_VERIFY_WITH_TIMEOUT(cli({u"status"_s, u"--all"_s}).out.contains(name + u'\t'),
                                     30000);
            QTRY_VERIFY_WITH_TIMEOUT(
                (secondDevice({u"sync"_s, u"now"_s}), secondDevice({u"show"_s, name}).code == 0),
                30000);
        }
        QCOMPARE(secondDevice({u"edit"_s, u"from afar"_s, u"--host"_s, u"moved"_s}).code, 0);
        // What the daemon journals meanwhile depends on when its passes run.
        QVERIFY(secondDevice({u"sync"_s, u"now"_s}).out.startsWith(u"1 records written, "_s));
        QTRY_VERIFY_WITH_TIMEOUT(cli({u"show"_s, u"from afar"_s}).out.contains(u"moved"_s), 30000);
    }

    // The command line writes the store and at once asks the daemon: the daemon answers from
    // that write. Writers in parallel lose nothing, whatever the daemon merges meanwhile.
    void writesAreSeenAtOnceAndKeptWhenParallel()
    {
        QVERIFY(addProfile(u"fresh"_s, *m_sshd, m_sshd->clientKey()));
        QCOMPARE(cli({u"connect"_s, u"fresh"_s}).out, u"fresh: Connected\n"_s);
        QCOMPARE(cli({u"edit"_s, u"fresh"_s, u"--name"_s, u"renamed"_s}).code, 0);
        QCOMPARE(cli({u"disconnect"_s, u"renamed"_s}).code, 0);
        QCOMPARE(cli({u"trash"_s, u"renamed"_s}).code, 0);

        std::vector<std::unique_ptr<QProcess>> writers;
        for (int i = 0; i < 10; ++i) {
            auto &writer = writers.emplace_back(std::make_unique<QProcess>());
            writer->setStandardInputFile(QProcess::nullDevice());
            startCli(*writer,
                     {u"add"_s, u"--name"_s, u"writer %1"_s.arg(i), u"--host"_s, u"h"_s,
                      u"--user"_s, u"u"_s, u"--tag"_s, u"shared-1"_s, u"--tag"_s, u"shared-2"_s});
        }
        for (auto &writer : writers) {
            QVERIFY(writer->waitForFinished(60000));
            QVERIFY2(writer->exitCode() == 0, writer->readAllStandardError().constData());
        }
        // Asking the daemon makes it merge every one of those writes first.
        const QString status = cli({u"status"_s, u"--all"_s}).out;
        for (int i = 0; i < 10; ++i)
            QVERIFY2(status.contains(u"writer %1\t"_s.arg(i)), qPrintable(status));
        const QString tags = cli({u"tag"_s, u"list"_s}).out;
        QVERIFY2(tags.count(u"shared-1\t10\n"_s) == 1 && tags.count(u"shared-2\t10\n"_s) == 1,
                 qPrintable(tags));
    }

    void theDaemonEndsItsTunnelsWhenItStops()
    {
        QCOMPARE(cli({u"recover"_s, u"db"_s}).code, 0);
        QCOMPARE(cli({u"connect"_s, u"db"_s}).code, 0);
        QVERIFY(!m_sshd->connectionProcesses().isEmpty());
        m_daemon.terminate();
        QVERIFY(m_daemon.waitForFinished(30000));
        QCOMPARE(m_daemon.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_sshd->connectionProcesses().isEmpty(), 30000);
        // Whoever was watching hears that it stopped.
        for (QProcess *watcher : {&m_watch, &m_follow}) {
            QVERIFY(watcher->waitForFinished(30000));
            QCOMPARE(watcher->exitCode(), 1);
            QVERIFY(watcher->readAllStandardError().contains("VellSSH stopped."));
        }
    }
};

VELL_TEST_MAIN(DaemonTest)
#include "tst_daemon.moc"
