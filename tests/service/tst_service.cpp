#include "messagechannel.h"
#include "processes.h"
#include "serviceprocess.h"
#include "sshprotocol.h"
#include "testenvironment.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>

using namespace Qt::StringLiterals;

namespace {

// A loopback port with a listener that never accepts: a client's handshake waits forever.
struct SilentServer
{
    UniqueFd socket;
    quint16 port = 0;

    explicit SilentServer(bool listening)
    {
        socket.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(socket.get(), reinterpret_cast<sockaddr *>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(socket.get(), reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
        if (listening)
            ::listen(socket.get(), 4);
        else
            socket.reset();
    }
};

struct Pipe
{
    UniqueFd read;
    UniqueFd write;
    Pipe()
    {
        int fds[2];
        ::pipe2(fds, O_CLOEXEC);
        read.reset(fds[0]);
        write.reset(fds[1]);
    }
};

// A connection to the socket at the path, with the bytes sent.
UniqueFd connectAndSend(const QString &path, const QByteArray &bytes)
{
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    if (::connect(fd.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::send(fd.get(), bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) != bytes.size())
        return {};
    return fd;
}

// Whether the other end closes the connection within the time.
bool closedByPeer(int fd, int milliseconds)
{
    pollfd waiting{fd, POLLIN, 0};
    char byte = 0;
    return ::poll(&waiting, 1, milliseconds) == 1 && ::recv(fd, &byte, 1, 0) <= 0;
}

QByteArray environmentValue(qint64 pid, const QByteArray &name)
{
    QFile file(u"/proc/%1/environ"_s.arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &entry : file.readAll().split('\0')) {
        if (entry.startsWith(name + '='))
            return entry.mid(name.size() + 1);
    }
    return {};
}

SSHProtocol::RunRequest runTo(quint16 port)
{
    SSHProtocol::RunRequest request;
    request.arguments = {u"-F"_s,
                         u"/dev/null"_s,
                         u"-o"_s,
                         u"BatchMode=yes"_s,
                         u"-o"_s,
                         u"UserKnownHostsFile=/dev/null"_s,
                         u"-N"_s,
                         u"-p"_s,
                         QString::number(port),
                         u"127.0.0.1"_s};
    request.environment = {{u"PATH"_s, qEnvironmentVariable("PATH")},
                           {u"HOME"_s, QDir::homePath()}};
    return request;
}

} // namespace

class ServiceTest : public QObject
{
    Q_OBJECT

    struct Run
    {
        ServiceProcess service;
        Pipe input;
        Pipe output;
        Pipe error;
        QList<std::pair<QString, QCborMap>> reports;
        std::optional<int> exitStatus;
    };

    void start(Run &run, quint16 port) { start(run, runTo(port)); }

    void start(Run &run, const SSHProtocol::RunRequest &request)
    {
        QVERIFY(run.service.start(QStringLiteral(VELLSSH_SERVICE)));
        connect(run.service.channel(), &MessageChannel::received, this, [&run](Message &m) {
            if (m.op == SSHProtocol::reportExit)
                run.exitStatus = int(m.args.value(u"status"_s).toInteger());
            run.reports.append({m.op, m.args});
        });
        QVERIFY(run.service.channel()->send(
            SSHProtocol::runWith, SSHProtocol::encode(request),
            {run.input.read.get(), run.output.write.get(), run.error.write.get()}));
        run.input.read.reset();
        run.output.write.reset();
        run.error.write.reset();
    }

    static QStringList ops(const Run &run)
    {
        QStringList result;
        for (const auto &[op, args] : run.reports)
            result.append(op);
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Orphans come to this process, so none can hide from the checks below.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    }

    void aRefusedConnectionIsReportedAndItsErrorPassedOn()
    {
        SilentServer closed(false);
        Run run;
        start(run, closed.port);
        QSignalSpy finished(&run.service, &ServiceProcess::finished);
        QVERIFY(finished.wait(20000));
        QCOMPARE(run.exitStatus, 255);
        QCOMPARE(ops(run).last(), SSHProtocol::reportExit);
        QVERIFY(ops(run).contains(SSHProtocol::reportHost));
        // Only lines within the run's own level come as log reports: no debug lines.
        for (const auto &[op, args] : std::as_const(run.reports)) {
            if (op == SSHProtocol::reportLog)
                QVERIFY(args.value(u"level"_s).toInteger() <= 3);
        }
        char buffer[4096] = {};
        const ssize_t count = ::read(run.error.read.get(), buffer, sizeof buffer - 1);
        QVERIFY(count > 0);
        const QString errors = QString::fromUtf8(buffer);
        QVERIFY2(errors.contains(u"Connection refused"_s), qPrintable(errors));
        QVERIFY(!errors.contains(u"debug1"_s));
        QCOMPARE(::read(run.error.read.get(), buffer, sizeof buffer), 0);
    }

    void terminateEndsAWaitingClient()
    {
        SilentServer silent(true);
        Run run;
        start(run, silent.port);
        QTRY_VERIFY_WITH_TIMEOUT(ops(run).contains(SSHProtocol::reportHost), 20000);
        QSignalSpy finished(&run.service, &ServiceProcess::finished);
        QVERIFY(run.service.channel()->send(SSHProtocol::terminate));
        QVERIFY(finished.wait(20000));
        QVERIFY(run.exitStatus.has_value());
        QVERIFY(childProcesses(::getpid()).isEmpty());
    }

    void theClientDiesWithItsService()
    {
        SilentServer silent(true);
        Run run;
        start(run, silent.port);
        QTRY_VERIFY_WITH_TIMEOUT(ops(run).contains(SSHProtocol::reportHost), 20000);
        const pid_t service = run.service.pid();
        const QList<qint64> clients = childProcesses(service);
        QCOMPARE(clients.size(), 1);
        ::kill(service, SIGKILL);
        // The client comes to this process as an orphan and must end by itself.
        int status = 0;
        bool reaped = false;
        auto reap = [&] {
            return reaped = reaped || ::waitpid(clients.first(), &status, WNOHANG) > 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(reap(), 20000);
        QVERIFY(WIFSIGNALED(status) || WIFEXITED(status));
    }

    // Nothing that reaches the ask-pass socket is parsed before the run's token: a stray
    // connection is dropped, whatever it sends, and the run goes on.
    void theAskPassSocketReadsNothingBeforeTheToken()
    {
        QTemporaryDir runtime;
        SilentServer silent(true);
        SSHProtocol::RunRequest request = runTo(silent.port);
        request.environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        Run run;
        start(run, request);
        QTRY_VERIFY_WITH_TIMEOUT(ops(run).contains(SSHProtocol::reportHost), 20000);
        const QDir folder(runtime.path() + u"/vellssh"_s);
        const QStringList sockets = folder.entryList({u"askpass-*.sock"_s}, QDir::System);
        QCOMPARE(sockets.size(), 1);
        const QString path = folder.filePath(sockets.first());
        const QList<qint64> clients = childProcesses(run.service.pid());
        QCOMPARE(clients.size(), 1);
        const QByteArray token = environmentValue(clients.first(), "VELLSSH_ASKPASS_TOKEN");
        QCOMPARE(token.size(), 32);

        // A map whose text is not UTF-8: it took the service down when frames were parsed
        // before the token was checked.
        const QByteArray broken = QByteArray::fromHex("00000006a161ff626f70");
        QByteArray wrongToken = token;
        wrongToken[31] = wrongToken[31] == 'a' ? 'b' : 'a';
        for (const QByteArray &bytes : {broken, wrongToken + broken, token.left(31)}) {
            const UniqueFd stray = connectAndSend(path, bytes);
            QVERIFY(stray);
            QVERIFY(closedByPeer(stray.get(), bytes == token.left(31) ? 20000 : 5000));
        }
        QVERIFY(run.service.isRunning());

        // The token opens the socket: the question reaches the application.
        MessageChannel helper(connectAndSend(path, token));
        helper.send(u"ask"_s, {{u"prompt"_s, u"Password: "_s}});
        QTRY_VERIFY_WITH_TIMEOUT(ops(run).contains(SSHProtocol::askPass), 20000);

        QSignalSpy finished(&run.service, &ServiceProcess::finished);
        QVERIFY(run.service.channel()->send(SSHProtocol::terminate));
        QVERIFY(finished.wait(20000));
        QVERIFY(run.exitStatus.has_value());
    }

    void aMissingOrBrokenStartIsRefused()
    {
        ServiceProcess service;
        QVERIFY(service.start(QStringLiteral(VELLSSH_SERVICE)));
        QSignalSpy finished(&service, &ServiceProcess::finished);
        QSignalSpy closed(service.channel(), &MessageChannel::closed);
        service.channel()->send(SSHProtocol::runWith, {{u"arguments"_s, 5}});
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toInt(), 1);
    }
};

VELL_TEST_MAIN(ServiceTest)
#include "tst_service.moc"
