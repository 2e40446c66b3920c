#include "connectionnotices.h"
#include "handshakegate.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "profile.h"
#include "servicepool.h"
#include "sshclientconfig.h"
#include "sshdfixture.h"
#include "testenvironment.h"
#include "tunnelsession.h"

#include <QFile>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

class RecordedNotices : public ConnectionNoticeSink
{
public:
    void post(ConnectionNotice notice, const QString &name, const QUuid &, const QString &) override
    {
        posted.append({notice, name});
    }
    QList<std::pair<ConnectionNotice, QString>> posted;
};

} // namespace

class TunnelSessionTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<PersistenceController> m_store;
    RecordedNotices m_notices;
    HandshakeGate m_gate;
    ServicePool m_pool;
    QString m_clientConfig;

    std::unique_ptr<TunnelSession> session(Profile *profile,
                                           std::function<ChildEnvironmentInputs()> environment = {})
    {
        const QString config = m_clientConfig;
        auto invocation = [config] {
            return InvocationInputs{SSHClientConfig::shared().knownOptionNameSet(),
                                    QDir::homePath() + u"/.ssh"_s, config};
        };
        SecureSession::Services services{QStringLiteral(VELLSSH_SERVICE),
                                         std::move(environment),
                                         &m_notices,
                                         {},
                                         &m_gate,
                                         &m_pool};
        return std::make_unique<TunnelSession>(
            profile, invocation, SSHClientConfig::shared().strictOptionNames(), services);
    }

    Profile *profile(quint16 port, int retries)
    {
        Profile *p = m_store->mainContext()->insertProfile();
        p->setName(u"db"_s);
        p->setAddress(u"127.0.0.1"_s);
        p->setUser(u"me"_s);
        p->setPort(port);
        p->setRetryAttempts(qint16(retries));
        p->setYesNoOption(true, u"UserNotification"_s);
        return p;
    }

    static QList<SessionState> states(const QSignalSpy &spy)
    {
        QList<SessionState> result;
        for (const QList<QVariant> &arguments : spy)
            result.append(arguments.at(1).value<SessionState>());
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_clientConfig = QDir::tempPath() + u"/ssh_config"_s;
        QFile file(m_clientConfig);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Host *\n  BatchMode yes\n  UserKnownHostsFile /dev/null\n");
    }

    void init()
    {
        m_store = std::move(PersistenceController::openInMemory()).value();
        m_notices.posted.clear();
    }

    void cleanup() { m_store.reset(); }

    void aRefusedConnectionFailsRetriesAndStopsOnDisconnect()
    {
        const quint16 port = SshdFixture::freePort();
        auto tunnel = session(profile(port, 5));
        QCOMPARE(tunnel->statusSummary(), u"Not Connected"_s);
        QSignalSpy changes(tunnel.get(), &SecureSession::stateChanged);
        tunnel->connect();
        QCOMPARE(tunnel->lastState(), SessionState::connecting);
        QVERIFY(!tunnel->canConnect());
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::retrying, 20000);
        QCOMPARE(states(changes),
                 (QList<SessionState>{SessionState::connecting, SessionState::abnormalDisconnect,
                                      SessionState::retrying}));
        QCOMPARE(tunnel->exitStatus(), 255);
        QCOMPARE(tunnel->lastErrorMessage(),
                 u"ssh: connect to host 127.0.0.1 port %1: Connection refused"_s.arg(port));
        QCOMPARE(tunnel->hostIP(), u"127.0.0.1"_s);
        QCOMPARE(tunnel->statusSummary(), u"Connection failed (%1), Retrying in 3 seconds..."_s.arg(
                                              *tunnel->lastErrorMessage()));
        QCOMPARE(m_notices.posted.size(), 1);
        QCOMPARE(m_notices.posted.first().first, ConnectionNotice::connectionFailed);

        const QString log = tunnel->connectionLog()->toPlainText();
        QVERIFY(log.section(u'\n', 0, 0).endsWith(u"## db ##"_s));
        QVERIFY(log.contains(u"Equivalent Command: ssh -N -F "_s));
        QVERIFY(log.contains(u"Connection refused"_s));
        QVERIFY(log.contains(u"Unexpectedly disconnected."_s));

        // The retry runs 3 seconds later, fails again and tells nobody.
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->retryRemains(), 4, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::retrying, 20000);
        QVERIFY(tunnel->isRetrying());
        QCOMPARE(m_notices.posted.size(), 1);

        tunnel->disconnect();
        QCOMPARE(tunnel->lastState(), SessionState::disconnected);
        changes.clear();
        QVERIFY(!changes.wait(SecureSession::retryDelayMs + 1000));
        QVERIFY(tunnel->canConnect());
    }

    void aRunWaitsForItsTurnAtTheServer()
    {
        std::vector<std::unique_ptr<HandshakeGate::Pass>> others;
        for (int i = 0; i < HandshakeGate::perServer; ++i)
            others.push_back(m_gate.enter(u"127.0.0.1"_s, this, [] {}));
        auto tunnel = session(profile(SshdFixture::freePort(), 0));
        tunnel->connect();
        QCOMPARE(tunnel->lastState(), SessionState::connecting);
        // Given up before its turn: nothing ran, and its turn never comes.
        tunnel->disconnect();
        QCOMPARE(tunnel->lastState(), SessionState::disconnected);
        QVERIFY(tunnel->canConnect());

        tunnel->connect();
        QSignalSpy changes(tunnel.get(), &SecureSession::stateChanged);
        QVERIFY(!changes.wait(500));
        others.pop_back();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::abnormalDisconnect, 20000);
        QCOMPARE(tunnel->exitStatus(), 255);
    }

    void noBudgetMeansNoRetry()
    {
        auto tunnel = session(profile(SshdFixture::freePort(), 0));
        tunnel->connect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::abnormalDisconnect, 20000);
        QSignalSpy changes(tunnel.get(), &SecureSession::stateChanged);
        QVERIFY(!changes.wait(500));
        QCOMPARE(tunnel->statusSummary(), *tunnel->lastErrorMessage());
    }

    void editsApplyToTheNextRun()
    {
        Profile *p = profile(2222, 1);
        auto tunnel = session(p);
        QVERIFY(tunnel->equivalentCommand().endsWith(u"-p 2222 me@127.0.0.1"_s));
        p->setAddress(u"db.example"_s);
        tunnel->refreshConfig();
        QCOMPARE(tunnel->destination(), u"db.example"_s);
        QVERIFY(tunnel->equivalentCommand().endsWith(u"-p 2222 me@db.example"_s));
    }

    void environmentTooLargeToPassFailsWithoutRetry()
    {
        auto huge = [] {
            ChildEnvironmentInputs inputs;
            const QString value(1000, u'x');
            for (int i = 0; i < 20000; ++i)
                inputs.applicationEnvironment.insert(u"HUGE_%1"_s.arg(i), value);
            return inputs;
        };
        auto tunnel = session(profile(SshdFixture::freePort(), 5), huge);
        QSignalSpy changes(tunnel.get(), &SecureSession::stateChanged);
        tunnel->connect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::abnormalDisconnect, 20000);
        QVERIFY(tunnel->statusSummary().startsWith(
            u"The environment variables are too large to pass to the client ("_s));
        QVERIFY(tunnel->connectionLog()->toPlainText().contains(u"too large to pass"_s));
        QVERIFY(!changes.wait(SecureSession::retryDelayMs + 1000));
        QCOMPARE(tunnel->lastState(), SessionState::abnormalDisconnect);
        QVERIFY(tunnel->canConnect());
    }
};

VELL_TEST_MAIN(TunnelSessionTest)
#include "tst_tunnelsession.moc"
