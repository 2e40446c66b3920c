#include "handshakegate.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "processes.h"
#include "profile.h"
#include "queries.h"
#include "servicepool.h"
#include "sessioncontainer.h"
#include "sshclientconfig.h"
#include "sshdfixture.h"
#include "testenvironment.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

qsizetype openDescriptors()
{
    return QDir(u"/proc/self/fd"_s).entryList(QDir::Files).size();
}

// This process's children but the server's own.
QList<qint64> clientProcesses(qint64 server)
{
    QList<qint64> result = childProcesses(::getpid());
    result.removeAll(server);
    return result;
}

} // namespace

// Many tunnels at once against a server with the stock start-up limit, and many runs of one.
class ManyTunnelsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SshdFixture> m_sshd;
    std::unique_ptr<PersistenceController> m_store;
    HandshakeGate m_gate;
    ServicePool m_pool;
    std::unique_ptr<SessionContainer> m_container;

    Profile *add(const QString &name)
    {
        Profile *p = m_store->mainContext()->insertProfile();
        p->setName(name);
        p->setAddress(u"127.0.0.1"_s);
        p->setUser(u"root"_s);
        p->setPort(m_sshd->port());
        p->setStringOption(m_sshd->clientKey(), u"IdentityFile"_s);
        return p;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_sshd = std::make_unique<SshdFixture>(QDir::tempPath() + u"/sshd"_s);
        // The stock limit: beyond 10 unauthenticated connections sshd starts dropping them.
        const QString problem = m_sshd->start(u"MaxStartups 10:30:100"_s);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        m_store = std::move(PersistenceController::openInMemory()).value();
        const QString config = m_sshd->clientConfig();
        auto invocation = [config] {
            return InvocationInputs{SSHClientConfig::shared().knownOptionNameSet(),
                                    QDir::homePath() + u"/.ssh"_s, config};
        };
        m_container = std::make_unique<SessionContainer>(
            m_store->mainContext(), invocation, SSHClientConfig::shared().strictOptionNames(),
            SecureSession::Services{
                QStringLiteral(VELLSSH_SERVICE), {}, nullptr, {}, &m_gate, &m_pool});
    }

    void cleanupTestCase()
    {
        m_container.reset();
        m_store.reset();
        m_sshd.reset();
    }

    // Only a few handshakes at a time go to one server, so its start-up limit drops none of
    // them. (One it dropped would end before authentication and be retried 3 seconds later.)
    void fiftyAtOnceAllConnect()
    {
        QList<Profile *> profiles;
        for (int i = 0; i < 50; ++i)
            profiles.append(add(u"tunnel %1"_s.arg(i)));
        QSignalSpy changes(m_container.get(), &SessionContainer::sessionStateChanged);
        m_container->connectAll(profiles);
        auto connected = [&] {
            return std::count_if(profiles.cbegin(), profiles.cend(), [&](const Profile *p) {
                return m_container->textState(*p) == u"Connected"_s;
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(connected(), 50, 120000);
        for (const QList<QVariant> &change : changes)
            QVERIFY(change.at(1).value<SessionState>() != SessionState::abnormalDisconnect);
        m_container->disconnectAll(profiles);
        QTRY_COMPARE_WITH_TIMEOUT(m_container->currentState(),
                                  SessionContainer::State::allDisconnected, 60000);
        (void)deletePermanently(profiles, *m_store->mainContext());
        QTRY_VERIFY_WITH_TIMEOUT(clientProcesses(m_sshd->processId()).isEmpty(), 30000);
    }

    void fiftyRunsLeaveNothingBehind()
    {
        Profile *p = add(u"cycles"_s);
        TunnelSession *tunnel = m_container->session(*p->uuid());
        // One run first, so that lazily made descriptors (the bus, notifiers) are counted.
        tunnel->connect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::connected, 30000);
        tunnel->disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::disconnected, 30000);
        const qsizetype descriptors = openDescriptors();
        for (int cycle = 0; cycle < 50; ++cycle) {
            tunnel->connect();
            QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::connected, 30000);
            tunnel->disconnect();
            QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::disconnected, 30000);
        }
        QCOMPARE(openDescriptors(), descriptors);
        QTRY_VERIFY_WITH_TIMEOUT(clientProcesses(m_sshd->processId()).isEmpty(), 30000);
        QVERIFY(m_sshd->connectionProcesses().isEmpty());
    }
};

VELL_TEST_MAIN(ManyTunnelsTest)
#include "tst_manytunnels.moc"
