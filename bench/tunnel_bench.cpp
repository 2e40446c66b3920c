// Time from the start of a tunnel to a forwarded port that relays a byte: a TunnelSession
// against plain "ssh" started here with the very same arguments, in pairs, on loopback against
// a private sshd.
//   bench_tunnel [runs]
#include "benchsupport.h"
#include "profile.h"
#include "tunnelsession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Milliseconds until the port relays, trying every 5 ms while the event loop keeps running (a
// busy loop here would take a core from the clients being measured).
double waitForRelay(const QElapsedTimer &clock, quint16 port)
{
    while (!relaysAByte(port)) {
        pause(5);
        if (clock.elapsed() > 30000)
            return -1;
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    BenchServer server(QStringLiteral(VELLSSH_SERVICE));
    if (!server.ready())
        return 1;
    BenchProfiles &profiles = server.profiles();
    Profile *profile = profiles.add(u"bench"_s);
    const std::unique_ptr<TunnelSession> session = server.session(profile);
    TunnelSession &tunnel = *session;

    QList<double> plain;
    QList<double> ours;
    for (int run = 0; run < runs; ++run) {
        BenchProfiles::moveToFreePort(profile);
        tunnel.refreshConfig();
        QElapsedTimer clock;
        clock.start();
        QProcess ssh;
        ssh.start(u"ssh"_s, tunnel.config().params);
        plain.append(waitForRelay(clock, BenchProfiles::listenPort(profile)));
        ssh.terminate();
        ssh.waitForFinished();

        BenchProfiles::moveToFreePort(profile);
        tunnel.refreshConfig();
        clock.restart();
        tunnel.connect();
        ours.append(waitForRelay(clock, BenchProfiles::listenPort(profile)));
        if (run == 0) {
            for (qint64 service : descendantsNamed(::getpid(), "vellssh-service")) {
                for (qint64 client : descendantsNamed(service, "ssh"))
                    printf("PSS of one connected tunnel: vellssh-service %lld kB, ssh %lld kB\n",
                           pssOf(service), pssOf(client));
            }
            printf("arguments: %s\n", qPrintable(tunnel.config().params.join(u' ')));
        }
        tunnel.disconnect();
        while (!tunnel.canConnect())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    printf("runs: %d\nplain ssh, median: %.1f ms\nTunnelSession, median: %.1f ms\n"
           "ratio: %.3f\n",
           runs, median(plain), median(ours), median(ours) / median(plain));
    return 0;
}
