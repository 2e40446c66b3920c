#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "singleinstance.h"
#include "testenvironment.h"
#include "tunnelservice.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString writeProfiles(const QString &folder, const QString &name, const QString &profile)
{
    QDir().mkpath(folder);
    const QString path = folder + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    const QJsonArray profiles{
        QJsonObject{{u"name"_s, profile}, {u"address"_s, profile + u".example"_s}}};
    file.write(QJsonDocument(profiles).toJson());
    return path;
}

// The names in the store that the application writes, as another process reads them.
QStringList storedNames()
{
    auto store =
        PersistenceController::open(StoreLocation::file(PersistenceController::defaultStorePath()));
    if (!store)
        return {};
    QStringList names;
    for (const Profile *profile : (*store)->mainContext()->profiles())
        names.append(profile->name().value_or(QString()));
    names.sort();
    return names;
}

bool nameTaken()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(
        TunnelService::serviceName);
}

struct Finished
{
    int code = -1;
    QString err;
};

// Runs vellssh while this process's event loop keeps going, so that it can answer on the bus.
Finished runVellssh(const QStringList &arguments, const QString &folder = QDir::tempPath())
{
    QProcess process;
    process.setWorkingDirectory(folder);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral(VELLSSH), arguments);
    if (!finished.wait(60000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

// One desktop application per session bus: later starts hand their files over and go.
class SingleInstanceTest : public QObject
{
    Q_OBJECT

    QProcess m_first;

    void startFirst(const QStringList &arguments)
    {
        m_first.setProcessChannelMode(QProcess::ForwardedChannels);
        m_first.start(QStringLiteral(VELLSSH), arguments);
        QTRY_VERIFY_WITH_TIMEOUT(nameTaken(), 30000);
    }

    void stopFirst()
    {
        m_first.terminate();
        QVERIFY(m_first.waitForFinished(30000));
        QCOMPARE(m_first.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!nameTaken(), 30000);
    }

private Q_SLOTS:
    void launchFilesAreTheInterchangeFiles()
    {
        const auto launch = SingleInstance::launchFiles(
            {u"team.velltunnel"_s, u"file:///srv/shared/Old.VELLSHELL"_s, u"export.json"_s,
             u"--verbose"_s, u"/abs/x.velltunnel"_s});
        QCOMPARE(launch.files,
                 (QStringList{QDir::current().absoluteFilePath(u"team.velltunnel"_s),
                              u"/srv/shared/Old.VELLSHELL"_s, u"/abs/x.velltunnel"_s}));
        QCOMPARE(launch.ignored, (QStringList{u"export.json"_s, u"--verbose"_s}));
    }

    void aSecondStartHandsItsFilesToTheRunningInstance()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        SingleInstance running(true);
        QCOMPARE(running.registerOn(bus), QString());
        QVERIFY(bus.registerService(TunnelService::serviceName));
        QSignalSpy activated(&running, &SingleInstance::activationRequested);

        const QString folder = QDir::tempPath() + u"/handed"_s;
        QDir().mkpath(folder);
        // An option it does not know hands nothing over.
        const Finished refused = runVellssh({u"team.velltunnel"_s, u"-x"_s}, folder);
        QCOMPARE(refused.code, 2);
        QVERIFY2(refused.err.contains(u"unknown option “-x”"_s), qPrintable(refused.err));
        const Finished second = runVellssh({u"team.velltunnel"_s, u"notes.txt"_s}, folder);
        QCOMPARE(second.code, 0);
        QVERIFY2(second.err.contains(u"“notes.txt” is no .velltunnel or .vellshell file"_s),
                 qPrintable(second.err));
        QTRY_COMPARE_WITH_TIMEOUT(activated.size(), 1, 10000);
        QCOMPARE(activated.first().first().toStringList(),
                 QStringList{folder + u"/team.velltunnel"_s});

        // Without files it only asks for the window.
        QCOMPARE(runVellssh({}).code, 0);
        QTRY_COMPARE_WITH_TIMEOUT(activated.size(), 2, 10000);
        QCOMPARE(activated.last().first().toStringList(), QStringList());

        QVERIFY(bus.unregisterService(TunnelService::serviceName));
        bus.unregisterObject(SingleInstance::objectPath);
    }

    void theRunningApplicationImportsWhatLaterStartsHandOver()
    {
        const QString folder = QDir::tempPath() + u"/files"_s;
        startFirst({writeProfiles(folder, u"first.velltunnel"_s, u"alpha"_s)});
        QTRY_COMPARE_WITH_TIMEOUT(storedNames(), QStringList{u"alpha"_s}, 30000);

        writeProfiles(folder, u"second.vellshell"_s, u"beta"_s);
        const Finished second = runVellssh({u"second.vellshell"_s}, folder);
        QCOMPARE(second.code, 0);
        QCOMPARE(second.err, QString());
        QTRY_COMPARE_WITH_TIMEOUT(storedNames(), (QStringList{u"alpha"_s, u"beta"_s}), 30000);
        QCOMPARE(m_first.state(), QProcess::Running);
        stopFirst();
    }

    void aWindowlessInstanceSaysSoAndOpensNothing()
    {
        startFirst({u"--headless"_s});
        const QString file =
            writeProfiles(QDir::tempPath() + u"/files"_s, u"third.velltunnel"_s, u"gamma"_s);
        const Finished second = runVellssh({file});
        QCOMPARE(second.code, 1);
        QCOMPARE(second.err.count(u'\n'), 1);
        QVERIFY2(second.err.contains(u"without a window"_s), qPrintable(second.err));
        QVERIFY2(second.err.contains(u"vellssh-cli import"_s), qPrintable(second.err));
        QVERIFY(!storedNames().contains(u"gamma"_s));
        // Asked only for the window, it says how to get one and nothing about files.
        const Finished window = runVellssh({});
        QCOMPARE(window.code, 1);
        QVERIFY2(window.err.contains(u"systemctl --user stop vellssh"_s), qPrintable(window.err));
        QVERIFY2(!window.err.contains(u"import"_s), qPrintable(window.err));
        // A second daemon is refused before it starts anything that could warn.
        const Finished daemon = runVellssh({u"--headless"_s});
        QCOMPARE(daemon.code, 1);
        QCOMPARE(daemon.err, u"Another VellSSH is already running on this session bus "
                             "(io.vellssh.Tunnel is taken).\n"_s);
        stopFirst();
    }
};

VELL_TEST_MAIN(SingleInstanceTest)
#include "tst_singleinstance.moc"
