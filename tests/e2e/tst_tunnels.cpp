#include "authprompt.h"
#include "connectionnotices.h"
#include "echoserver.h"
#include "forwarding.h"
#include "handshakegate.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "processes.h"
#include "profile.h"
#include "queries.h"
#include "quickoptions.h"
#include "servicepool.h"
#include "sessioncontainer.h"
#include "sshclientconfig.h"
#include "sshdfixture.h"
#include "testenvironment.h"
#include "tunnelsession.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

class RecordedNotices : public ConnectionNoticeSink
{
public:
    void post(ConnectionNotice notice, const QString &, const QUuid &, const QString &) override
    {
        posted.append(notice);
    }
    QList<ConnectionNotice> posted;
};

// The same through a SOCKS5 proxy on the port: no authentication, an IPv4 target.
QByteArray relayThroughSocks(quint16 proxy, quint16 target, const QByteArray &bytes)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, proxy);
    QByteArray received;
    int stage = 0;
    QObject::connect(&socket, &QTcpSocket::connected, &socket,
                     [&] { socket.write(QByteArray("\x05\x01\x00", 3)); });
    QObject::connect(&socket, &QTcpSocket::readyRead, &socket, [&] {
        received += socket.readAll();
        if (stage == 0 && received.size() >= 2) {
            received.remove(0, 2);
            QByteArray request("\x05\x01\x00\x01\x7f\x00\x00\x01", 8);
            request.append(char(target >> 8)).append(char(target & 0xff));
            socket.write(request);
            stage = 1;
        }
        if (stage == 1 && received.size() >= 10) {
            received.remove(0, 10);
            socket.write(bytes);
            stage = 2;
        }
    });
    QDeadlineTimer deadline(10000);
    while ((stage < 2 || received.size() < bytes.size()) && !deadline.hasExpired() &&
           socket.state() != QAbstractSocket::UnconnectedState)
        QTest::qWait(10);
    return stage == 2 ? received : QByteArray();
}

QByteArray relayThroughSocket(const QString &path, const QByteArray &bytes)
{
    QLocalSocket socket;
    QByteArray received;
    QObject::connect(&socket, &QLocalSocket::readyRead, &socket,
                     [&] { received += socket.readAll(); });
    socket.connectToServer(path);
    if (!socket.waitForConnected(10000))
        return {};
    socket.write(bytes);
    QDeadlineTimer deadline(10000);
    while (received.size() < bytes.size() && !deadline.hasExpired())
        QTest::qWait(10);
    return received;
}

} // namespace

class TunnelsTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<SshdFixture> m_sshd;
    std::unique_ptr<PersistenceController> m_store;
    RecordedNotices m_notices;
    HandshakeGate m_gate;
    ServicePool m_pool;

    std::unique_ptr<TunnelSession> session(Profile *profile, QString config = {},
                                           PromptPresenter presenter = {})
    {
        if (config.isEmpty())
            config = m_sshd->clientConfig();
        auto invocation = [config] {
            return InvocationInputs{SSHClientConfig::shared().knownOptionNameSet(),
                                    QDir::homePath() + u"/.ssh"_s, config};
        };
        auto environment = [] {
            ChildEnvironmentInputs inputs;
            inputs.askPassProgram = QStringLiteral(VELLSSH_ASKPASS);
            return inputs;
        };
        SecureSession::Services services{QStringLiteral(VELLSSH_SERVICE),
                                         environment,
                                         &m_notices,
                                         std::move(presenter),
                                         &m_gate,
                                         &m_pool};
        return std::make_unique<TunnelSession>(
            profile, invocation, SSHClientConfig::shared().strictOptionNames(), services);
    }

    Profile *profile(const QString &key)
    {
        Profile *p = m_store->mainContext()->insertProfile();
        p->setName(u"e2e"_s);
        p->setAddress(u"127.0.0.1"_s);
        p->setUser(u"root"_s);
        p->setPort(m_sshd->port());
        p->setStringOption(key, u"IdentityFile"_s);
        p->setYesNoOption(true, u"UserNotification"_s);
        return p;
    }

    void addForward(Profile *p, ForwardingType type, const QString &bind, quint16 listen,
                    quint16 target = 0)
    {
        Forwarding *f = m_store->mainContext()->insertForwarding();
        f->edit([&](ForwardingData &d) {
            d.type = qint16(type);
            d.bindAddress = bind;
            d.bindPort = listen;
            if (target) {
                d.targetAddress = u"127.0.0.1"_s;
                d.targetPort = target;
            }
        });
        f->setProfile(p);
    }

    void addLocalForward(Profile *p, quint16 listen, quint16 target)
    {
        addForward(p, ForwardingType::local, u"127.0.0.1"_s, listen, target);
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
        m_sshd = std::make_unique<SshdFixture>(QDir::tempPath() + u"/sshd"_s);
        const QString problem = m_sshd->start();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void cleanupTestCase() { m_sshd.reset(); }

    void init()
    {
        m_store = std::move(PersistenceController::openInMemory()).value();
        m_notices.posted.clear();
    }

    void aLocalForwardComesBackAfterItsConnectionOrItsServiceDies_data()
    {
        QTest::addColumn<bool>("killService");
        QTest::newRow("the server drops the connection") << false;
        QTest::newRow("the service is killed") << true;
    }
    void aLocalForwardComesBackAfterItsConnectionOrItsServiceDies()
    {
        QFETCH(bool, killService);
        EchoServer echo;
        const quint16 listen = SshdFixture::freePort();
        Profile *p = profile(m_sshd->clientKey());
        addLocalForward(p, listen, echo.serverPort());
        auto tunnel = session(p);
        tunnel->connect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::connected, 30000);
        QCOMPARE(relay(listen, "ping\n"), QByteArray("ping\n"));
        QVERIFY(tunnel->hostKey()->startsWith(u"ssh-ed25519 SHA256:"_s));
        QVERIFY(tunnel->cipherCtoS().has_value());
        QCOMPARE(tunnel->authInfo(), u"publickey("_s + m_sshd->clientKey() + u')');
        QCOMPARE(m_notices.posted, QList<ConnectionNotice>{ConnectionNotice::connected});

        const QList<qint64> services = descendantsNamed(::getpid(), "vellssh-service");
        QCOMPARE(services.size(), 1);
        const QList<qint64> clients = childProcesses(services.first());
        QCOMPARE(clients.size(), 1);
        const QList<qint64> victims = killService ? services : m_sshd->connectionProcesses();
        QVERIFY(!victims.isEmpty());
        for (qint64 pid : victims)
            ::kill(pid_t(pid), SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::retrying, 30000);
        // The old client is gone either way: it never outlives its service.
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(u"/proc/%1"_s.arg(clients.first())), 10000);
        QCOMPARE(tunnel->connectionLog()->toPlainText().contains(
                     u"The OpenSSH process terminated unexpectedly."_s),
                 killService);
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::connected, 30000);
        QCOMPARE(m_notices.posted, (QList<ConnectionNotice>{ConnectionNotice::connected,
                                                            ConnectionNotice::connectionInterrupted,
                                                            ConnectionNotice::connectionRestored}));
        QCOMPARE(relay(listen, "again\n"), QByteArray("again\n"));

        tunnel->disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::disconnected, 30000);
        QCOMPARE(tunnel->exitStatus(), 0);
        QCOMPARE(tunnel->statusSummary(), u"Disconnected"_s);
    }

    void everyKindOfForwardingCarriesBytes()
    {
        EchoServer echo;
        const quint16 remote = SshdFixture::freePort();
        const quint16 dynamic = SshdFixture::freePort();
        const quint16 reverseDynamic = SshdFixture::freePort();
        const QString socketPath = QDir::tempPath() + u"/forward.sock"_s;
        Profile *p = profile(m_sshd->clientKey());
        addForward(p, ForwardingType::remote, u"127.0.0.1"_s, remote, echo.serverPort());
        addForward(p, ForwardingType::dynamic, u"127.0.0.1"_s, dynamic);
        addForward(p, ForwardingType::reverseDynamic, u"127.0.0.1"_s, reverseDynamic);
        addForward(p, ForwardingType::local, socketPath, 0, echo.serverPort());
        auto tunnel = session(p);
        QVERIFY(tunnel->config().requirePrivilegedHelper);
        tunnel->connect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::connected, 30000);
        // Remote listeners are confirmed a moment after the session is up.
        QTRY_COMPARE_WITH_TIMEOUT(relay(remote, "remote\n"), QByteArray("remote\n"), 10000);
        QCOMPARE(relayThroughSocks(dynamic, echo.serverPort(), "dynamic\n"),
                 QByteArray("dynamic\n"));
        QTRY_COMPARE_WITH_TIMEOUT(relayThroughSocks(reverseDynamic, echo.serverPort(), "back\n"),
                                  QByteArray("back\n"), 10000);
        QCOMPARE(relayThroughSocket(socketPath, "socket\n"), QByteArray("socket\n"));
        tunnel->disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::disconnected, 30000);
    }

    // Login has succeeded; what the server or this machine then refuses (a remote port still
    // held by the server's previous session, a local one taken meanwhile) is retried until it
    // is free again.
    void aForwardingRefusedAfterLoginIsRetried_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("local port taken here") << int(ForwardingType::local);
        QTest::newRow("remote port taken on the server") << int(ForwardingType::remote);
    }
    void aForwardingRefusedAfterLoginIsRetried()
    {
        QFETCH(int, type);
        EchoServer echo;
        auto holder = std::make_unique<QTcpServer>();
        QVERIFY(holder->listen(QHostAddress::LocalHost));
        const quint16 port = holder->serverPort();
        Profile *p = profile(m_sshd->clientKey());
        p->setYesNoOption(true, u"ExitOnForwardFailure"_s);
        addForward(p, ForwardingType(type), u"127.0.0.1"_s, port, echo.serverPort());
        auto tunnel = session(p);
        QSignalSpy changes(tunnel.get(), &SecureSession::stateChanged);
        tunnel->connect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::retrying, 30000);
        QCOMPARE(states(changes).mid(states(changes).size() - 2),
                 (QList<SessionState>{SessionState::abnormalDisconnect, SessionState::retrying}));
        QVERIFY(tunnel->lastErrorMessage()->contains(u"forwarding"_s));
        // The row names the cause, not only its consequence.
        const QString cause = ForwardingType(type) == ForwardingType::local
                                  ? u"Address already in use"_s
                                  : u"port forwarding failed"_s;
        QVERIFY2(tunnel->statusSummary().contains(cause), qPrintable(tunnel->statusSummary()));

        holder.reset();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::connected, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(relay(port, "free\n"), QByteArray("free\n"), 10000);
        tunnel->disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::disconnected, 30000);
    }

    // A server that accepts the connection and never speaks: the run ends by its timeout (here
    // the profile's own, short one) and is retried, or by the user, which is a normal end.
    void aServerThatNeverSpeaks_data()
    {
        QTest::addColumn<bool>("userGivesUp");
        QTest::newRow("the timeout ends the run") << false;
        QTest::newRow("the user disconnects") << true;
    }
    void aServerThatNeverSpeaks()
    {
        QFETCH(bool, userGivesUp);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        Profile *p = profile(m_sshd->clientKey());
        p->setPort(silent.serverPort());
        if (!userGivesUp)
            p->setStringOption(u"1"_s, u"ConnectTimeout"_s);
        auto tunnel = session(p);
        QSignalSpy changes(tunnel.get(), &SecureSession::stateChanged);
        tunnel->connect();
        if (userGivesUp) {
            QTRY_VERIFY_WITH_TIMEOUT(silent.hasPendingConnections(), 30000);
            tunnel->disconnect();
            QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::disconnected, 30000);
            QCOMPARE(states(changes),
                     (QList<SessionState>{SessionState::connecting, SessionState::disconnected}));
            QCOMPARE(tunnel->statusSummary(), u"Disconnected"_s);
            QVERIFY(m_notices.posted.isEmpty());
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::retrying, 30000);
        QCOMPARE(states(changes),
                 (QList<SessionState>{SessionState::connecting, SessionState::abnormalDisconnect,
                                      SessionState::retrying}));
        QVERIFY2(tunnel->lastErrorMessage()->contains(u"timed out"_s),
                 qPrintable(*tunnel->lastErrorMessage()));
        tunnel->disconnect();
        QCOMPARE(tunnel->lastState(), SessionState::disconnected);
    }

    void aJumpHostAndASharedConnectionCarryBytes()
    {
        // The jump's own client reads only the configuration file, so the key goes there. The
        // jump host is the same server under another name (ssh refuses a jump to itself).
        const QString config = QDir::tempPath() + u"/ssh_config_jump"_s;
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Host localhost\n  HostKeyAlias [127.0.0.1]:" +
                   QByteArray::number(m_sshd->port()) + "\nHost *\n  IdentityFile " +
                   m_sshd->clientKey().toUtf8() + "\n  ControlPath " + QDir::tempPath().toUtf8() +
                   "/cm-%C\nInclude " + m_sshd->clientConfig().toUtf8() + "\n");
        file.close();
        EchoServer echo;

        const quint16 jumpedPort = SshdFixture::freePort();
        Profile *jumped = profile(m_sshd->clientKey());
        jumped->setStringOption(u"root@localhost:%1"_s.arg(m_sshd->port()), u"ProxyJump"_s);
        setLogLevel(*jumped, LogLevel::debug1);
        addLocalForward(jumped, jumpedPort, echo.serverPort());
        auto jump = session(jumped, config);
        QSignalSpy jumpChanges(jump.get(), &SecureSession::stateChanged);
        jump->connect();
        QTRY_COMPARE_WITH_TIMEOUT(jump->lastState(), SessionState::connected, 30000);
        QVERIFY(states(jumpChanges).contains(SessionState::jumping));
        QCOMPARE(relay(jumpedPort, "jumped\n"), QByteArray("jumped\n"));
        const QString jumpLog = jump->connectionLog()->toPlainText();
        QVERIFY(jumpLog.contains(u"[localhost] Authenticated to localhost"_s));
        QVERIFY(jumpLog.contains(u" Authenticated to 127.0.0.1 (via proxy)"_s));
        QVERIFY(!jumpLog.contains(u"] Authenticated to 127.0.0.1"_s));

        const quint16 masterPort = SshdFixture::freePort();
        const quint16 sharedPort = SshdFixture::freePort();
        Profile *master = profile(m_sshd->clientKey());
        master->setStringOption(u"auto"_s, u"ControlMaster"_s);
        addLocalForward(master, masterPort, echo.serverPort());
        Profile *shared = profile(m_sshd->clientKey());
        shared->setStringOption(u"auto"_s, u"ControlMaster"_s);
        setLogLevel(*shared, LogLevel::debug1);
        addLocalForward(shared, sharedPort, echo.serverPort());
        auto first = session(master, config);
        first->connect();
        QTRY_COMPARE_WITH_TIMEOUT(first->lastState(), SessionState::connected, 30000);
        auto second = session(shared, config);
        QSignalSpy sharedChanges(second.get(), &SecureSession::stateChanged);
        second->connect();
        QTRY_COMPARE_WITH_TIMEOUT(second->lastState(), SessionState::connected, 30000);
        QVERIFY(states(sharedChanges).contains(SessionState::multiplexing));
        QVERIFY(!states(sharedChanges).contains(SessionState::authenticating));
        QCOMPARE(relay(sharedPort, "shared\n"), QByteArray("shared\n"));
        QVERIFY(second->connectionLog()->toPlainText().contains(
            u"[mux] debug1: mux_client_request_session: master session id"_s));
        QCOMPARE(relay(masterPort, "master\n"), QByteArray("master\n"));

        for (SecureSession *tunnel : {jump.get(), second.get(), first.get()}) {
            tunnel->disconnect();
            QTRY_VERIFY_WITH_TIMEOUT(tunnel->canConnect(), 30000);
        }
    }

    void theContainerFollowsProfilesAndEndsTrashedTunnels()
    {
        const QString config = m_sshd->clientConfig();
        auto invocation = [config] {
            return InvocationInputs{SSHClientConfig::shared().knownOptionNameSet(),
                                    QDir::homePath() + u"/.ssh"_s, config};
        };
        SessionContainer container(
            m_store->mainContext(), invocation, SSHClientConfig::shared().strictOptionNames(),
            {QStringLiteral(VELLSSH_SERVICE), {}, &m_notices, {}, &m_gate, &m_pool});
        Profile *p = profile(m_sshd->clientKey());
        QVERIFY(!m_store->mainContext()->save());
        QCOMPARE(container.textState(*p), QString());
        QSignalSpy summary(&container, &SessionContainer::currentStateChanged);
        container.connectAll({p});
        TunnelSession *tunnel = container.existingSession(*p->uuid());
        QVERIFY(tunnel);
        QCOMPARE(container.session(*p->uuid()), tunnel);
        QTRY_COMPARE_WITH_TIMEOUT(container.textState(*p), u"Connected"_s, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(container.currentState(),
                                  SessionContainer::State::atLeastOneConnected, 5000);
        QCOMPARE(summary.last().first().value<SessionContainer::State>(),
                 SessionContainer::State::atLeastOneConnected);
        QVERIFY(!m_sshd->connectionProcesses().isEmpty());

        p->setPort(2222);
        m_store->mainContext()->processPendingChanges();
        QVERIFY(tunnel->equivalentCommand().contains(u"-p 2222"_s));
        QCOMPARE(tunnel->lastState(), SessionState::connected);

        moveToTrash({p});
        m_store->mainContext()->processPendingChanges();
        QVERIFY(!container.existingSession(*p->uuid()));
        QVERIFY(!container.session(*p->uuid()));
        QTRY_VERIFY_WITH_TIMEOUT(m_sshd->connectionProcesses().isEmpty(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(container.currentState(),
                                  SessionContainer::State::allDisconnected, 5000);
    }

    void aPassphraseIsAskedUntilItIsRight()
    {
        QList<PromptRequest> asked;
        const QStringList answers = {u"wrong"_s, u"labpass"_s};
        auto presenter = [&](const PromptRequest &request, PromptAnswer answer) {
            asked.append(request);
            answer(answers.value(asked.size() - 1));
        };
        auto tunnel = session(profile(m_sshd->passphraseKey()), m_sshd->askingConfig(), presenter);
        tunnel->connect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::connected, 30000);
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked[0].type, AuthPromptType(AuthPrompt::PublicKey{m_sshd->passphraseKey()}));
        QCOMPARE(asked[0].attempt, 1);
        QCOMPARE(asked[1].attempt, 2);
        QCOMPARE(asked[0].info, u"root@127.0.0.1:%1"_s.arg(m_sshd->port()));
        QCOMPARE(asked[0].sessionName, u"e2e"_s);
        tunnel->disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::disconnected, 30000);
    }

    // The jump host asks before the target's client has said where it goes: a later run's
    // question carries nothing of an earlier run, neither its target nor its attempts.
    void aJumpHostsQuestionCarriesNoEarlierRunsContext()
    {
        // The jump's own client reads only the configuration file, so its key goes there.
        const QString config = QDir::tempPath() + u"/ssh_config_locked_jump"_s;
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            "Host localhost\n  HostKeyAlias [127.0.0.1]:" + QByteArray::number(m_sshd->port()) +
            "\n  IdentityFile " + m_sshd->passphraseKey().toUtf8() + "\nHost *\nInclude " +
            m_sshd->askingConfig().toUtf8() + "\n");
        file.close();
        QList<PromptRequest> asked;
        const QStringList answers = {u"wrong"_s, u"labpass"_s, u"labpass"_s};
        auto presenter = [&](const PromptRequest &request, PromptAnswer answer) {
            asked.append(request);
            answer(answers.value(asked.size() - 1));
        };
        Profile *jumped = profile(m_sshd->clientKey());
        jumped->setStringOption(u"root@localhost:%1"_s.arg(m_sshd->port()), u"ProxyJump"_s);
        auto tunnel = session(jumped, config, presenter);
        for (int run = 1; run <= 2; ++run) {
            tunnel->connect();
            QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::connected, 30000);
            tunnel->disconnect();
            QTRY_VERIFY_WITH_TIMEOUT(tunnel->canConnect(), 30000);
        }
        QCOMPARE(asked.size(), 3);
        QList<qint64> attempts;
        for (const PromptRequest &request : std::as_const(asked)) {
            QCOMPARE(request.type, AuthPromptType(AuthPrompt::PublicKey{m_sshd->passphraseKey()}));
            QCOMPARE(request.info, QString());
            attempts.append(request.attempt);
        }
        QCOMPARE(attempts, (QList<qint64>{1, 2, 1}));
    }

    void aCancelledPassphraseEndsTheRunWithoutRetry()
    {
        int asked = 0;
        auto presenter = [&](const PromptRequest &, PromptAnswer answer) {
            ++asked;
            answer(std::nullopt);
        };
        auto tunnel = session(profile(m_sshd->passphraseKey()), m_sshd->askingConfig(), presenter);
        tunnel->connect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::abnormalDisconnect, 30000);
        QSignalSpy changes(tunnel.get(), &SecureSession::stateChanged);
        QVERIFY(!changes.wait(1000));
        QCOMPARE(asked, 1);
        QCOMPARE(tunnel->statusSummary(), u"Authentication cancelled."_s);
    }

    void anUnknownHostKeyIsConfirmedOrRefused()
    {
        for (const QString &reply : {u"no"_s, u"yes"_s}) {
            QList<PromptRequest> asked;
            auto presenter = [&](const PromptRequest &request, PromptAnswer answer) {
                asked.append(request);
                answer(reply);
            };
            auto tunnel =
                session(profile(m_sshd->clientKey()), m_sshd->unknownHostConfig(), presenter);
            tunnel->connect();
            const SessionState expected =
                reply == u"yes"_s ? SessionState::connected : SessionState::abnormalDisconnect;
            QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), expected, 30000);
            QCOMPARE(asked.size(), 1);
            QVERIFY(std::holds_alternative<AuthPrompt::Permission>(asked.first().type));
            QVERIFY(asked.first().prompt.contains(u"can't be established"_s));
            if (reply == u"no"_s)
                QCOMPARE(tunnel->statusSummary(), u"Host key verification failed."_s);
            tunnel->disconnect();
        }
    }

    void aChangedHostKeyStopsAndSaysSo()
    {
        QFile otherKey(m_sshd->otherKey() + u".pub"_s);
        QVERIFY(otherKey.open(QIODevice::ReadOnly));
        const QString knownHosts = QDir::tempPath() + u"/changed_hosts"_s;
        QFile hosts(knownHosts);
        QVERIFY(hosts.open(QIODevice::WriteOnly));
        hosts.write("[127.0.0.1]:" + QByteArray::number(m_sshd->port()) + ' ' +
                    otherKey.readAll().split(' ').mid(0, 2).join(' ') + '\n');
        hosts.close();
        const QString config = QDir::tempPath() + u"/ssh_config_changed"_s;
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Host *\n  IdentitiesOnly yes\n  StrictHostKeyChecking yes\n  BatchMode yes\n"
                   "  UserKnownHostsFile " +
                   knownHosts.toUtf8() + '\n');
        file.close();

        auto tunnel = session(profile(m_sshd->clientKey()), config);
        QSignalSpy changes(tunnel.get(), &SecureSession::stateChanged);
        tunnel->connect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::abnormalDisconnect, 30000);
        QVERIFY(!changes.wait(SecureSession::retryDelayMs + 1000));
        QCOMPARE(states(changes),
                 (QList<SessionState>{SessionState::connecting, SessionState::abnormalDisconnect}));
        QCOMPARE(
            tunnel->statusSummary(),
            u"Host key for [127.0.0.1]:%1 has changed and you have requested strict checking."_s
                .arg(m_sshd->port()));
        QVERIFY(!tunnel->canRetry());
    }

    void theProfilesLogLevelDecidesWhatTheLogKeeps()
    {
        for (const auto level : {std::optional<LogLevel>(), std::optional(LogLevel::debug2)}) {
            Profile *p = profile(m_sshd->clientKey());
            setLogLevel(*p, level);
            auto tunnel = session(p);
            tunnel->connect();
            QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::connected, 30000);
            const QString log = tunnel->connectionLog()->toPlainText();
            QCOMPARE(log.contains(u"Server accepts key: "_s), bool(level));
            QCOMPARE(log.contains(u"KEX algorithms: "_s), bool(level));
            QCOMPARE(log.contains(u"OpenSSH_"_s), bool(level));
            tunnel->disconnect();
            QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::disconnected, 30000);
        }
    }

    void aRefusedKeyFailsWithoutRetry()
    {
        auto tunnel = session(profile(m_sshd->otherKey()));
        QSignalSpy changes(tunnel.get(), &SecureSession::stateChanged);
        tunnel->connect();
        QTRY_COMPARE_WITH_TIMEOUT(tunnel->lastState(), SessionState::abnormalDisconnect, 30000);
        QVERIFY(!changes.wait(1000));
        QCOMPARE(states(changes),
                 (QList<SessionState>{SessionState::connecting, SessionState::authenticating,
                                      SessionState::abnormalDisconnect}));
        QCOMPARE(tunnel->statusSummary(), u"root@127.0.0.1: Permission denied (publickey)."_s);
        QVERIFY(!tunnel->canRetry());
        QCOMPARE(m_notices.posted, QList<ConnectionNotice>{ConnectionNotice::connectionFailed});
    }
};

VELL_TEST_MAIN(TunnelsTest)
#include "tst_tunnels.moc"
