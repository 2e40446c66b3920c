#include "descriptors.h"
#include "messagechannel.h"
#include "processes.h"
#include "servicepool.h"
#include "serviceprocess.h"
#include "sshprotocol.h"
#include "testenvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
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
                           {u"HOME"_s, QDir::homePath()},
                           {u"XDG_RUNTIME_DIR"_s, qEnvironmentVariable("XDG_RUNTIME_DIR")}};
    return request;
}

QString privateFolder(const QString &path)
{
    QDir().mkpath(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

mode_t modeOf(const QString &path)
{
    struct stat info
    {
    };
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 0777;
}

UniqueFd boundSocket(const QString &path, bool listening)
{
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        (listening && ::listen(fd.get(), 4) != 0))
        return {};
    return fd;
}

// The peer credentials of a socket are those of the process that called listen().
bool listenAs(uid_t uid, const UniqueFd &socket)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const bool listening = ::setresgid(uid, uid, uid) == 0 && ::setresuid(uid, uid, uid) == 0 &&
                               ::listen(socket.get(), 4) == 0;
        ::_exit(listening ? 0 : 1);
    }
    int status = 1;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// The pid of a process that has ended and been reaped.
pid_t goneProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

constexpr uid_t nobody = 65534;

bool giveToNobody(const QString &path)
{
    return ::chown(QFile::encodeName(path).constData(), nobody, nobody) == 0;
}

bool setMode(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

class ServiceTest : public QObject
{
    Q_OBJECT

    struct Run
    {
        ServiceProcess service;
        Pipe input = makePipe();
        Pipe output = makePipe();
        Pipe error = makePipe();
        QList<std::pair<QString, QCborMap>> reports;
        std::optional<int> exitStatus;
    };

    void start(Run &run, quint16 port, const QString &runtime = {})
    {
        SSHProtocol::RunRequest request = runTo(port);
        if (!runtime.isEmpty())
            request.environment.insert(u"XDG_RUNTIME_DIR"_s, runtime);
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

    // Starts a run against the port and waits until its client is connecting.
    void startConnecting(Run &run, quint16 port, const QString &runtime = {})
    {
        start(run, port, runtime);
        QTRY_VERIFY_WITH_TIMEOUT(ops(run).contains(SSHProtocol::reportHost), 20000);
    }

    // Runs against a closed port until the service ends.
    void runRefused(Run &run, const QString &runtime = {})
    {
        SilentServer closed(false);
        start(run, closed.port, runtime);
        QSignalSpy finished(&run.service, &ServiceProcess::finished);
        QVERIFY(finished.wait(20000));
    }

    static void endWith(Run &run, int signal)
    {
        QSignalSpy finished(&run.service, &ServiceProcess::finished);
        ::kill(run.service.pid(), signal);
        QVERIFY(finished.wait(20000));
    }

    // The client the service started comes to this process as an orphan when the service is
    // killed.
    static void reapOrphan(qint64 client)
    {
        int status = 0;
        bool reaped = false;
        auto reap = [&] {
            return reaped = reaped || ::waitpid(pid_t(client), &status, WNOHANG) > 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(reap(), 20000);
        QVERIFY(WIFSIGNALED(status) || WIFEXITED(status));
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
        Run run;
        runRefused(run);
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

    void onlyAPrivateRuntimeFolderIsUsed_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QString>("reason");
        QTest::newRow("runtime folder of another user")
            << u"owner"_s << u"run"_s << u"it belongs to another user (uid 65534)."_s;
        QTest::newRow("runtime folder others can write to")
            << u"mode 0757"_s << u"run"_s
            << u"its mode is 0757, and only 0700 keeps other users out."_s;
        // As older versions made it: nobody else can have put anything there.
        QTest::newRow("runtime folder others can read") << u"mode 0755"_s << u"run"_s << QString();
        QTest::newRow("runtime folder is a link")
            << u"link"_s << u"run"_s << u"it is a symbolic link."_s;
        QTest::newRow("socket folder of another user")
            << u"socket folder owner"_s << u"run/vellssh"_s
            << u"it belongs to another user (uid 65534)."_s;
    }

    void onlyAPrivateRuntimeFolderIsUsed()
    {
        QFETCH(QString, damage);
        QFETCH(QString, refused);
        QFETCH(QString, reason);
        if (damage.contains(u"owner"_s) && ::geteuid() != 0)
            QSKIP("Only root can give a folder to another user.");
        QTemporaryDir dir;
        const QString runtime = dir.path() + u"/run"_s;
        if (damage == u"link"_s)
            QVERIFY(QFile::link(privateFolder(dir.path() + u"/real"_s), runtime));
        else
            privateFolder(runtime);
        if (damage.startsWith(u"mode "_s))
            QVERIFY(setMode(runtime, mode_t(damage.mid(5).toUInt(nullptr, 8))));
        if (damage == u"owner"_s)
            QVERIFY(giveToNobody(runtime));
        if (damage == u"socket folder owner"_s)
            QVERIFY(giveToNobody(privateFolder(runtime + u"/vellssh"_s)));

        Run run;
        runRefused(run, runtime);
        QCOMPARE(run.exitStatus, 255);
        if (reason.isEmpty()) {
            QVERIFY(ops(run).contains(SSHProtocol::reportHost));
            QVERIFY(!ops(run).contains(SSHProtocol::reportRunRefused));
            QCOMPARE(modeOf(runtime), mode_t(0700));
            return;
        }
        QVERIFY(!ops(run).contains(SSHProtocol::reportHost));
        QVERIFY(ops(run).contains(SSHProtocol::reportRunRefused));
        const QCborMap said = run.reports.first().second;
        QCOMPARE(said.value(u"level"_s).toInteger(), 1);
        QCOMPARE(said.value(u"content"_s).toString(),
                 u"The folder “%1/%2” is not private: %3"_s.arg(dir.path(), refused, reason));
        QDirIterator made(dir.path(), {u"askpass-*"_s}, QDir::System, QDirIterator::Subdirectories);
        QVERIFY(!made.hasNext());
    }

    void socketsOfEndedAndKilledServicesAreRemoved()
    {
        QTemporaryDir dir;
        const QString runtime = privateFolder(dir.path() + u"/run"_s);
        const QString folder = runtime + u"/vellssh"_s;
        SilentServer silent(true);
        // A service that is asked to end, as its application does, takes its socket along.
        Run ended;
        startConnecting(ended, silent.port, runtime);
        QCOMPARE(QDir(folder).entryList(QDir::System).size(), 1);
        const QList<qint64> endedClients = childProcesses(ended.service.pid());
        endWith(ended, SIGTERM);
        reapOrphan(endedClients.value(0));
        QVERIFY(QDir(folder).entryList(QDir::System).isEmpty());

        // A killed service cannot take its socket, but its client must still end by itself.
        Run killed;
        startConnecting(killed, silent.port, runtime);
        QCOMPARE(modeOf(folder), mode_t(0700));
        const QStringList sockets = QDir(folder).entryList(QDir::System);
        QCOMPARE(sockets.size(), 1);
        QCOMPARE(modeOf(folder + u'/' + sockets.first()), mode_t(0600));
        const QList<qint64> clients = childProcesses(killed.service.pid());
        QCOMPARE(clients.size(), 1);
        endWith(killed, SIGKILL);
        reapOrphan(clients.first());
        QVERIFY(QFileInfo::exists(folder + u'/' + sockets.first()));

        // Left alone: a live service seen from another pid namespace, where its pid names
        // nobody here, a service between bind and listen, and anything else.
        const QString elsewhere = u"askpass-%1-0123456789ab.sock"_s.arg(goneProcess());
        const UniqueFd listening = boundSocket(folder + u'/' + elsewhere, true);
        const QString starting = u"askpass-%1-0123456789ab.sock"_s.arg(::getpid());
        const UniqueFd bound = boundSocket(folder + u'/' + starting, false);
        QVERIFY(listening && bound);
        QFile other(folder + u"/askpass-notes"_s);
        QVERIFY(other.open(QIODevice::WriteOnly));

        Run next;
        runRefused(next, runtime);
        QStringList kept{elsewhere, starting, u"askpass-notes"_s};
        kept.sort();
        QCOMPARE(QDir(folder).entryList(QDir::System | QDir::Files, QDir::Name), kept);
    }

    void theAskPassTalksOnlyToItsOwnService_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("its own service") << QString() << QString();
        QTest::newRow("listener of another user")
            << u"listener"_s << u"is served by another user (uid 65534)"_s;
        QTest::newRow("folder of another user")
            << u"owner"_s << u"it belongs to another user (uid 65534)"_s;
        QTest::newRow("folder open to others") << u"mode"_s << u"its mode is 0755"_s;
        QTest::newRow("folder is a link") << u"link"_s << u"it is a symbolic link"_s;
    }

    void theAskPassTalksOnlyToItsOwnService()
    {
        QFETCH(QString, damage);
        QFETCH(QString, refusal);
        if ((damage == u"listener"_s || damage == u"owner"_s) && ::geteuid() != 0)
            QSKIP("Only root can act as another user.");
        QTemporaryDir dir;
        QString folder = privateFolder(dir.path() + u"/vellssh"_s);
        if (damage == u"link"_s) {
            QVERIFY(QFile::link(folder, dir.path() + u"/link"_s));
            folder = dir.path() + u"/link"_s;
        }
        const QString path = folder + u"/askpass.sock"_s;
        const UniqueFd listener = boundSocket(path, damage != u"listener"_s);
        QVERIFY(listener);
        if (damage == u"listener"_s)
            QVERIFY(listenAs(nobody, listener));
        if (damage == u"mode"_s)
            QVERIFY(setMode(folder, 0755));
        if (damage == u"owner"_s)
            QVERIFY(giveToNobody(folder));

        QProcess askPass;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"VELLSSH_ASKPASS_SOCKET"_s, path);
        environment.insert(u"VELLSSH_ASKPASS_TOKEN"_s, u"0123456789abcdef"_s);
        askPass.setProcessEnvironment(environment);
        askPass.start(QStringLiteral(VELLSSH_ASKPASS),
                      {u"Are you sure you want to continue connecting (yes/no/[fingerprint])? "_s});
        UniqueFd conversation;
        QByteArray question;
        auto settled = [&] {
            if (!conversation)
                conversation.reset(
                    ::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
            char buffer[4096];
            const ssize_t count =
                conversation ? ::read(conversation.get(), buffer, sizeof buffer) : 0;
            if (count > 0)
                question.append(buffer, count);
            return question.contains("Are you sure") || askPass.state() == QProcess::NotRunning;
        };
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 20000);
        // Without an answer the helper ends.
        conversation.reset();
        QTRY_COMPARE_WITH_TIMEOUT(askPass.state(), QProcess::NotRunning, 20000);
        QCOMPARE(askPass.exitCode(), 1);
        const QString errors = QString::fromUtf8(askPass.readAllStandardError());
        if (refusal.isEmpty()) {
            QVERIFY(question.startsWith("0123456789abcdef"));
            QVERIFY(question.contains("Are you sure"));
        } else {
            QVERIFY(question.isEmpty());
            QVERIFY2(errors.contains(refusal), qPrintable(errors));
            QVERIFY2(errors.contains(damage == u"listener"_s ? path : folder), qPrintable(errors));
        }
    }

    // Nothing that reaches the ask-pass socket is parsed before the run's token: a stray
    // connection is dropped, whatever it sends, and the run goes on.
    void theAskPassSocketReadsNothingBeforeTheToken()
    {
        QTemporaryDir runtime;
        SilentServer silent(true);
        Run run;
        startConnecting(run, silent.port, runtime.path());
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
        QByteArray wrongLast = token;
        wrongLast[31] = wrongLast[31] == 'a' ? 'b' : 'a';
        QByteArray wrongFirst = token;
        wrongFirst[0] = wrongFirst[0] == 'a' ? 'b' : 'a';
        std::vector<UniqueFd> strays;
        for (const QByteArray &bytes : {broken, wrongLast + broken, wrongFirst, token.left(31)}) {
            strays.push_back(connectAndSend(path, bytes));
            QVERIFY(strays.back());
        }
        for (const UniqueFd &stray : strays)
            QVERIFY(closedByPeer(stray.get(), 20000));
        QVERIFY(run.service.isRunning());
        // Anyone who can list the folder reads the socket's name: it holds nothing of the token.
        QVERIFY(!sockets.first().contains(QString::fromLatin1(token.left(8))));

        // The token opens the socket: the question reaches the application.
        MessageChannel helper(connectAndSend(path, token));
        helper.send(u"ask"_s, {{u"prompt"_s, u"Password: "_s}});
        QTRY_VERIFY_WITH_TIMEOUT(ops(run).contains(SSHProtocol::askPass), 20000);

        // Asked to end, the service ends its waiting client and reaps it.
        QSignalSpy finished(&run.service, &ServiceProcess::finished);
        QVERIFY(run.service.channel()->send(SSHProtocol::terminate));
        QVERIFY(finished.wait(20000));
        QVERIFY(run.exitStatus.has_value());
        QVERIFY(childProcesses(::getpid()).isEmpty());
    }

    void aMissingOrBrokenStartIsRefused()
    {
        ServiceProcess service;
        QVERIFY(service.start(QStringLiteral(VELLSSH_SERVICE)));
        QSignalSpy finished(&service, &ServiceProcess::finished);
        service.channel()->send(SSHProtocol::runWith, {{u"arguments"_s, 5}});
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toInt(), 1);
    }

    // Turned on, the pool hands its started reserve to the next launch and starts another a
    // moment later; turned off, it ends the reserve and keeps none.
    void aPoolKeepsOneStartedServiceInReserveWhileItIsOn()
    {
        const QString program = QStringLiteral(VELLSSH_SERVICE);
        const auto running = [] { return childProcesses(::getpid()); };
        ServicePool pool;
        pool.take(program).reset();
        QVERIFY(running().isEmpty());

        pool.setEnabled(true);
        const std::unique_ptr<ServiceProcess> first = pool.take(program);
        QVERIFY(first && first->isRunning());
        QTRY_COMPARE_WITH_TIMEOUT(running().size(), 2, 10000);
        QList<qint64> reserve = running();
        reserve.removeOne(first->pid());
        QCOMPARE(reserve.size(), 1);
        const std::unique_ptr<ServiceProcess> second = pool.take(program);
        QCOMPARE(qint64(second->pid()), reserve.first());

        QTRY_COMPARE_WITH_TIMEOUT(running().size(), 3, 10000);
        pool.setEnabled(false);
        QCOMPARE(running().size(), 2);
    }
};

VELL_TEST_MAIN(ServiceTest)
#include "tst_service.moc"
