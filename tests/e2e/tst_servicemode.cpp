#include "processes.h"
#include "programrun.h"
#include "sshdfixture.h"
#include "testenvironment.h"
#include "uniquefd.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int waitMs = 30000;

ProgramRun cli(const QStringList &args)
{
    return runProgram(QStringLiteral(VELLSSH_CLI), args);
}

bool daemonOnBus()
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(u"io.vellssh.Tunnel"_s);
}

QDBusMessage busCall(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call);
}

// Ends the instance the bus started, as a session's end would.
bool stopActivated()
{
    const QDBusReply<uint> pid =
        QDBusConnection::sessionBus().interface()->servicePid(u"io.vellssh.Tunnel"_s);
    return pid.isValid() && ::kill(pid_t(pid.value()), SIGTERM) == 0;
}

} // namespace

// The application as the package installs it: its programs' answers about themselves, and
// --headless as a service manager runs it, with the helpers from the installed folder.
class ServiceModeTest : public QObject
{
    Q_OBJECT

    QString m_usr;
    std::unique_ptr<SshdFixture> m_sshd;
    UniqueFd m_manager;
    std::unique_ptr<QSocketNotifier> m_managerNotifier;
    QByteArrayList m_told;

    // The service manager's side of NOTIFY_SOCKET: what the application tells it.
    bool listenAsManager(const QString &path)
    {
        m_manager = UniqueFd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        if (::bind(m_manager.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address))
            return false;
        m_managerNotifier =
            std::make_unique<QSocketNotifier>(m_manager.get(), QSocketNotifier::Read);
        connect(m_managerNotifier.get(), &QSocketNotifier::activated, this, [this] {
            char buffer[256];
            for (ssize_t size; (size = ::recv(m_manager.get(), buffer, sizeof buffer, 0)) > 0;)
                m_told.append(QByteArray(buffer, size));
        });
        return true;
    }

    // The helper processes that run from the installed folder.
    QList<qint64> installedServices(qint64 daemon) const
    {
        QList<qint64> installed;
        const QString service = m_usr + QStringLiteral("/" HELPERDIR "/vellssh-service");
        for (const qint64 pid : childProcesses(daemon)) {
            if (QFileInfo(u"/proc/%1/exe"_s.arg(pid)).symLinkTarget() == service)
                installed.append(pid);
        }
        return installed;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString destination = QDir::tempPath() + u"/destdir"_s;
        QProcess install;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DESTDIR"_s, destination);
        install.setProcessEnvironment(environment);
        install.start(QStringLiteral(CMAKE_COMMAND),
                      {u"--install"_s, QStringLiteral(BUILD_DIR), u"--prefix"_s, u"/usr"_s});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
        m_usr = QFileInfo(destination + u"/usr"_s).canonicalFilePath();

        m_sshd = std::make_unique<SshdFixture>(QDir::tempPath() + u"/sshd"_s);
        const QString problem = m_sshd->start();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(
            cli({u"settings"_s, u"set"_s, u"user_config_file_path"_s, m_sshd->clientConfig()}).code,
            0);
    }

    void cleanupTestCase() { m_sshd.reset(); }

    void everyProgramAnswersWithoutRunning_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("vellssh") << QStringLiteral(BINDIR "/vellssh");
        QTest::newRow("vellssh-service") << QStringLiteral(HELPERDIR "/vellssh-service");
        QTest::newRow("vellssh-askpass") << QStringLiteral(HELPERDIR "/vellssh-askpass");
    }

    void everyProgramAnswersWithoutRunning()
    {
        QFETCH(QString, program);
        const QString name = QFileInfo(program).fileName();
        const ProgramRun version = runProgram(m_usr + u'/' + program, {u"--version"_s});
        QCOMPARE(version.code, 0);
        QCOMPARE(version.out, name + u' ' + QStringLiteral(VELL_VERSION) + u'\n');
        const ProgramRun help = runProgram(m_usr + u'/' + program, {u"--help"_s});
        QCOMPARE(help.code, 0);
        QVERIFY2(help.out.startsWith(u"Usage: "_s + name), qPrintable(help.out));
        QVERIFY(help.out.contains(u"--version"_s));
        QVERIFY(help.err.isEmpty());
    }

    void anUnknownOptionIsRefused()
    {
        const ProgramRun run = runProgram(m_usr + QStringLiteral("/" BINDIR "/vellssh"),
                                          {u"--headless"_s, u"--frob"_s});
        QCOMPARE(run.code, 2);
        QCOMPARE(run.err, u"vellssh: unknown option “--frob”.\nTry “vellssh --help” for the "
                          "options.\n"_s);
        QVERIFY(!daemonOnBus());
    }

    void headlessServesThroughAHangupUntilTerminated()
    {
        QCOMPARE(cli({u"add"_s, u"--name"_s, u"db"_s, u"--host"_s, u"127.0.0.1"_s, u"--port"_s,
                      QString::number(m_sshd->port()), u"--user"_s, u"root"_s, u"--option"_s,
                      u"IdentityFile="_s + m_sshd->clientKey()})
                     .code,
                 0);
        const QString socket = QDir::tempPath() + u"/notify"_s;
        QVERIFY(listenAsManager(socket));
        QProcess daemon;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"NOTIFY_SOCKET"_s, socket);
        daemon.setProcessEnvironment(environment);
        daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A job of its own, as a shell starts it.
        daemon.setChildProcessModifier([] { ::setpgid(0, 0); });
        daemon.start(m_usr + QStringLiteral("/" BINDIR "/vellssh"), {u"--headless"_s});
        QByteArray output;
        connect(&daemon, &QProcess::readyReadStandardOutput, this,
                [&] { output += daemon.readAllStandardOutput(); });

        QTRY_VERIFY_WITH_TIMEOUT(output.contains('\n'), waitMs);
        QCOMPARE(output, "vellssh: ready\n");
        // Ready means the name is owned: a client that starts now finds it.
        QVERIFY(daemonOnBus());
        QTRY_COMPARE_WITH_TIMEOUT(m_told, QByteArrayList{"READY=1"}, waitMs);

        const ProgramRun connected = cli({u"connect"_s, u"db"_s});
        QCOMPARE(connected.out, u"db: Connected\n"_s);
        QCOMPARE(installedServices(daemon.processId()).size(), 1);

        // The terminal it was started from closes: its shell hangs up the whole job. A
        // signal's default action would end the processes before the daemon answers the next
        // request.
        const QList<qint64> services = installedServices(daemon.processId());
        const QList<qint64> connections = m_sshd->connectionProcesses();
        QCOMPARE(::kill(-pid_t(daemon.processId()), SIGHUP), 0);
        const ProgramRun status = cli({u"status"_s});
        QCOMPARE(status.code, 0);
        QVERIFY2(status.out.contains(u"db\tConnected\t\n"_s), qPrintable(status.out));
        QCOMPARE(daemon.state(), QProcess::Running);
        QCOMPARE(installedServices(daemon.processId()), services);
        QCOMPARE(m_sshd->connectionProcesses(), connections);

        daemon.terminate();
        QTRY_COMPARE_WITH_TIMEOUT(m_told, (QByteArrayList{"READY=1", "STOPPING=1"}), waitMs);
        // Its end may already have been seen while the manager's messages were awaited.
        QTRY_COMPARE_WITH_TIMEOUT(daemon.state(), QProcess::NotRunning, waitMs);
        QCOMPARE(daemon.exitStatus(), QProcess::NormalExit);
        QCOMPARE(daemon.exitCode(), 0);
        QCOMPARE(output, "vellssh: ready\n");
        QTRY_VERIFY_WITH_TIMEOUT(m_sshd->connectionProcesses().isEmpty(), waitMs);
    }

    // A client's request starts the application through the installed activation file. With a
    // display it is the desktop application, whose window a later start opens; without one it
    // is the headless core.
    void theBusStartsTheApplicationForAClient()
    {
        QFile installed(m_usr + u"/share/dbus-1/services/io.vellssh.Tunnel.service"_s);
        QVERIFY(installed.open(QIODevice::ReadOnly));
        QFile service(qEnvironmentVariable("VELL_BUS_SERVICES") + u"/io.vellssh.Tunnel.service"_s);
        QVERIFY(service.open(QIODevice::WriteOnly));
        // The file names the program by the configured prefix, which the test installed elsewhere.
        QString text = QString::fromUtf8(installed.readAll());
        text.replace(
            QRegularExpression(u"^Exec=\\S*/vellssh "_s, QRegularExpression::MultilineOption),
            u"Exec="_s + m_usr + QStringLiteral("/" BINDIR "/vellssh "));
        service.write(text.toUtf8());
        service.close();
        QCOMPARE(busCall(u"ReloadConfig"_s).type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY_WITH_TIMEOUT(
            QDBusConnection::sessionBus().interface()->activatableServiceNames().value().contains(
                u"io.vellssh.Tunnel"_s),
            waitMs);
        qputenv("QT_QPA_PLATFORM", "offscreen");
        const QString vellssh = m_usr + QStringLiteral("/" BINDIR "/vellssh");
        const QStringList disconnectAll{u"disconnect"_s, u"--all"_s, u"--no-wait"_s};

        if (qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            QCOMPARE(cli(disconnectAll).code, 0);
            QVERIFY(daemonOnBus());
            const ProgramRun windowless = runProgram(vellssh, {});
            QCOMPARE(windowless.code, 1);
            QVERIFY2(windowless.err.contains(u"without a window"_s), qPrintable(windowless.err));
            QVERIFY(stopActivated());
            QTRY_VERIFY_WITH_TIMEOUT(!daemonOnBus(), waitMs);
        }

        // What a desktop session tells the bus once its display is up.
        qDBusRegisterMetaType<QMap<QString, QString>>();
        const QMap<QString, QString> display{{u"DISPLAY"_s, u":0"_s},
                                             {u"QT_QPA_PLATFORM"_s, u"offscreen"_s}};
        QCOMPARE(busCall(u"UpdateActivationEnvironment"_s, {QVariant::fromValue(display)}).type(),
                 QDBusMessage::ReplyMessage);
        const ProgramRun disconnected = cli(disconnectAll);
        QVERIFY2(disconnected.code == 0, qPrintable(disconnected.err));
        QVERIFY(daemonOnBus());
        const ProgramRun started = runProgram(vellssh, {});
        QVERIFY2(started.code == 0, qPrintable(started.err));
        QVERIFY(daemonOnBus());
        QVERIFY(stopActivated());
        QTRY_VERIFY_WITH_TIMEOUT(!daemonOnBus(), waitMs);
    }
};

VELL_TEST_MAIN(ServiceModeTest)
#include "tst_servicemode.moc"
