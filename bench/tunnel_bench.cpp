// Time from the start of a tunnel to a forwarded port that relays a byte: a TunnelSession
// against plain "ssh -N -L" started here, in pairs, on loopback against a private sshd.
//   bench_tunnel [runs]
#include "forwarding.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "processes.h"
#include "profile.h"
#include "servicepool.h"
#include "sshclientconfig.h"
#include "sshdfixture.h"
#include "tunnelsession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A blocking echo server on its own thread, so that waiting here never starves it.
quint16 startEchoServer()
{
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(server, 64);
    socklen_t length = sizeof address;
    ::getsockname(server, reinterpret_cast<sockaddr *>(&address), &length);
    std::thread([server] {
        for (;;) {
            const int client = ::accept(server, nullptr, nullptr);
            if (client < 0)
                return;
            std::thread([client] {
                char byte;
                while (::read(client, &byte, 1) == 1 && ::write(client, &byte, 1) == 1) {
                }
                ::close(client);
            }).detach();
        }
    }).detach();
    return ntohs(address.sin_port);
}

bool relaysAByte(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{0, 500000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char byte = 'x';
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                    ::write(fd, &byte, 1) == 1 && ::read(fd, &byte, 1) == 1;
    ::close(fd);
    return ok;
}

// Milliseconds until the port relays, while the event loop keeps running.
double waitForRelay(const QElapsedTimer &clock, quint16 port)
{
    while (!relaysAByte(port)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        if (clock.elapsed() > 30000)
            return -1;
    }
    return clock.nsecsElapsed() / 1e6;
}

// Proportional set size of a process, in kB.
qint64 pssOf(qint64 pid)
{
    QFile file(u"/proc/%1/smaps_rollup"_s.arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

QByteArray nameOf(qint64 pid)
{
    QFile file(u"/proc/%1/comm"_s.arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ServicePool::setEnabled(true);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir dir;
    qputenv("VELLSSH_TEST_REAL_HOME", dir.path().toLocal8Bit());
    SshdFixture sshd(dir.path() + u"/sshd"_s);
    if (const QString problem = sshd.start(); !problem.isEmpty()) {
        fprintf(stderr, "sshd: %s\n", qPrintable(problem));
        return 1;
    }
    const quint16 echo = startEchoServer();
    auto store = std::move(PersistenceController::openInMemory()).value();
    Profile *profile = store->mainContext()->insertProfile();
    profile->setName(u"bench"_s);
    profile->setAddress(u"127.0.0.1"_s);
    profile->setUser(u"root"_s);
    profile->setPort(sshd.port());
    profile->setStringOption(sshd.clientKey(), u"IdentityFile"_s);
    Forwarding *forwarding = store->mainContext()->insertForwarding();
    forwarding->setProfile(profile);
    const QString config = sshd.clientConfig();
    auto invocation = [config] {
        return InvocationInputs{SSHClientConfig::shared().knownOptionNameSet(), {}, config};
    };
    TunnelSession tunnel(profile, invocation, {},
                         {QStringLiteral(VELLSSH_SERVICE), {}, nullptr, {}});

    QList<double> plain;
    QList<double> ours;
    for (int run = 0; run < runs; ++run) {
        const quint16 port = SshdFixture::freePort();
        QElapsedTimer clock;
        clock.start();
        QProcess ssh;
        ssh.start(u"ssh"_s, {u"-F"_s, config, u"-i"_s, sshd.clientKey(), u"-N"_s, u"-L"_s,
                             u"%1:127.0.0.1:%2"_s.arg(port).arg(echo), u"-p"_s,
                             QString::number(sshd.port()), u"root@127.0.0.1"_s});
        plain.append(waitForRelay(clock, port));
        ssh.terminate();
        ssh.waitForFinished();

        const quint16 ourPort = SshdFixture::freePort();
        forwarding->edit([&](ForwardingData &d) {
            d.bindPort = ourPort;
            d.targetAddress = u"127.0.0.1"_s;
            d.targetPort = echo;
        });
        tunnel.refreshConfig();
        clock.restart();
        tunnel.connect();
        ours.append(waitForRelay(clock, ourPort));
        if (run == 0) {
            for (qint64 child : childProcesses(::getpid())) {
                if (nameOf(child) != "vellssh-service")
                    continue;
                for (qint64 client : childProcesses(child)) {
                    if (nameOf(client) == "ssh")
                        printf(
                            "PSS of one connected tunnel: vellssh-service %lld kB, ssh %lld kB\n",
                            pssOf(child), pssOf(client));
                }
            }
        }
        tunnel.disconnect();
        while (!tunnel.canConnect())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    printf("runs: %d\nplain ssh -N -L, median: %.1f ms\nTunnelSession, median: %.1f ms\n"
           "ratio: %.3f\n",
           runs, median(plain), median(ours), median(ours) / median(plain));
    return 0;
}
