#include "echoserver.h"
#include "forwarding.h"
#include "machinemonitor.h"
#include "machineservices.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "sessioncontainer.h"
#include "settings.h"
#include "sshdfixture.h"
#include "testenvironment.h"
#include "vellappdelegate.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {} // namespace

// Tunnels of the whole application core while the machine sleeps and loses its network, played
// by login1 and NetworkManager on a private system bus; the server is a real sshd whose
// connection processes are killed to drop the tunnels.
class OutageTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SshdFixture> m_sshd;
    std::unique_ptr<MachineServices> m_machine;
    std::unique_ptr<VellAppDelegate> m_app;
    EchoServer m_echo;

    ObjectContext &context() { return *m_app->store().mainContext(); }

    Profile *addProfile(const QString &name, quint16 listen, qint16 retryAttempts = 999)
    {
        Profile *p = nullptr;
        context().performWithoutUndo([&] {
            p = context().insertProfile();
            p->setName(name);
            p->setAddress(u"127.0.0.1"_s);
            p->setUser(u"root"_s);
            p->setPort(m_sshd->port());
            p->setRetryAttempts(retryAttempts);
            p->setStringOption(m_sshd->clientKey(), u"IdentityFile"_s);
            Forwarding *f = context().insertForwarding();
            f->edit([&](ForwardingData &d) {
                d.type = qint16(ForwardingType::local);
                d.bindAddress = u"127.0.0.1"_s;
                d.bindPort = listen;
                d.targetAddress = u"127.0.0.1"_s;
                d.targetPort = m_echo.serverPort();
            });
            f->setProfile(p);
        });
        const Status saved = context().save();
        if (saved)
            qWarning("%s", qPrintable(saved->message));
        return p;
    }

    void setPort(Profile *p, quint16 port)
    {
        context().performWithoutUndo([&] { p->setPort(port); });
        QVERIFY(!context().save());
    }

    // The profile's session once it is connected; none if it never gets there.
    TunnelSession *connected(Profile *p)
    {
        TunnelSession *session = m_app->container().session(*p->uuid());
        if (!session)
            return nullptr;
        session->connect();
        const bool up = QTest::qWaitFor(
            [session] { return session->lastState() == SessionState::connected; }, 30000);
        return up ? session : nullptr;
    }

    void dropConnections()
    {
        const QList<qint64> victims = m_sshd->connectionProcesses();
        QVERIFY(!victims.isEmpty());
        for (qint64 pid : victims)
            ::kill(pid_t(pid), SIGKILL);
    }

    void setOnline(bool online)
    {
        m_machine->network().setState(online ? FakeNetworkManager::connectedGlobal
                                             : FakeNetworkManager::disconnected);
        QTRY_COMPARE_WITH_TIMEOUT(m_app->container().isNetworkAvailable(), online, 10000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sshd = std::make_unique<SshdFixture>(QDir::tempPath() + u"/sshd"_s);
        const QString problem = m_sshd->start();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void init()
    {
        m_machine = std::make_unique<MachineServices>();
        QCOMPARE(m_machine->startLogin1(), QString());
        QCOMPARE(m_machine->startNetworkManager(), QString());
        const QString folder =
            QDir::tempPath() + u"/app-"_s + QLatin1StringView(QTest::currentTestFunction());
        QDir().mkpath(folder);
        VellAppDelegate::Options options;
        options.storePath = folder + u"/VellSSH.sqlite"_s;
        options.settingsPath = folder + u"/VellSSH.conf"_s;
        options.serviceProgram = QStringLiteral(VELLSSH_SERVICE);
        options.askPassProgram = VellAppDelegate::defaultAskPassProgram(options.serviceProgram);
        options.autoConnect = false;
        auto started = VellAppDelegate::start(options);
        if (!started)
            QFAIL(qPrintable(started.error().message));
        m_app = std::move(started).value();
        QVERIFY(!m_app->settings().set(SettingKeys::userConfigFilePath, m_sshd->clientConfig()));
    }

    void cleanup()
    {
        m_app.reset();
        m_machine.reset();
    }

    void cleanupTestCase() { m_sshd.reset(); }

    void aTunnelThatDropsOfflineWaitsWithoutTriesAndReturnsWithTheNetwork()
    {
        const quint16 listen = SshdFixture::freePort();
        TunnelSession *tunnel = connected(addProfile(u"offline"_s, listen, 5));
        QVERIFY(tunnel);
        QCOMPARE(relay(listen, "ping\n"), QByteArray("ping\n"));

        setOnline(false);
        QCOMPARE(tunnel->lastState(), SessionState::connected);
        dropConnections();
        QTRY_VERIFY_WITH_TIMEOUT(tunnel->isWaitingForNetwork(), 30000);
        QCOMPARE(tunnel->lastState(), SessionState::retrying);
        QCOMPARE(tunnel->statusSummary(), u"Waiting for the network"_s);
        QCOMPARE(tunnel->retryRemains(), 5);
        QVERIFY(!tunnel->isRetryScheduled());

        QSignalSpy online(&m_app->machine(), &MachineMonitor::onlineChanged);
        m_machine->network().setState(FakeNetworkManager::connectedGlobal);
        QVERIFY(online.wait(10000));
        // Under way already, not 3 seconds later.
        QVERIFY(!tunnel->isWaitingForNetwork());
        QCOMPARE(tunnel->lastState(), SessionState::connecting);
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::connected, 30000);
        QCOMPARE(tunnel->retryRemains(), 5);
        QCOMPARE(relay(listen, "back\n"), QByteArray("back\n"));
    }

    void aRetryPendingOfflineStopsUntilTheNetworkReturns()
    {
        const quint16 listen = SshdFixture::freePort();
        TunnelSession *tunnel = connected(addProfile(u"pending"_s, listen));
        QVERIFY(tunnel);
        dropConnections();
        QTRY_VERIFY_WITH_TIMEOUT(tunnel->isRetryScheduled(), 30000);
        setOnline(false);
        QVERIFY(!tunnel->isRetryScheduled());
        QVERIFY(tunnel->isWaitingForNetwork());
        setOnline(true);
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::connected, 30000);
        QCOMPARE(relay(listen, "ping\n"), QByteArray("ping\n"));
    }

    void wakingUpBringsBackDroppedTunnelsAtOnceAndLeavesTheRest()
    {
        // One tunnel runs out of tries while its server cannot be reached.
        const quint16 spentPort = SshdFixture::freePort();
        Profile *spentProfile = addProfile(u"spent"_s, spentPort, 1);
        TunnelSession *spent = connected(spentProfile);
        QVERIFY(spent);
        setPort(spentProfile, SshdFixture::freePort());
        dropConnections();
        QTRY_COMPARE_WITH_TIMEOUT(spent->retryRemains(), 0, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(spent->lastState(), SessionState::abnormalDisconnect, 30000);
        QVERIFY(!spent->isRetryScheduled());
        setPort(spentProfile, m_sshd->port());

        // One the user ended; another dropped just now and waits for its next try.
        TunnelSession *ended = connected(addProfile(u"ended"_s, SshdFixture::freePort()));
        QVERIFY(ended);
        ended->disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(ended->lastState(), SessionState::disconnected, 30000);
        const quint16 waitingPort = SshdFixture::freePort();
        TunnelSession *waiting = connected(addProfile(u"waiting"_s, waitingPort));
        QVERIFY(waiting);
        dropConnections();
        QTRY_VERIFY_WITH_TIMEOUT(waiting->isRetryScheduled(), 30000);

        QSignalSpy resumed(&m_app->machine(), &MachineMonitor::resumed);
        m_machine->login1().sleepAndWake();
        QVERIFY(resumed.wait(10000));
        QCOMPARE(spent->lastState(), SessionState::connecting);
        QCOMPARE(waiting->lastState(), SessionState::connecting);
        QVERIFY(!waiting->isRetryScheduled());
        QCOMPARE(ended->lastState(), SessionState::disconnected);
        QTRY_COMPARE_WITH_TIMEOUT(spent->lastState(), SessionState::connected, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(waiting->lastState(), SessionState::connected, 30000);
        QCOMPARE(relay(spentPort, "spent\n"), QByteArray("spent\n"));
        QCOMPARE(relay(waitingPort, "waiting\n"), QByteArray("waiting\n"));
        QCOMPARE(spent->retryRemains(), 1);
    }
};

VELL_TEST_MAIN(OutageTest)
#include "tst_outage.moc"
