// Many tunnels at once to a private sshd on loopback: how long until every forwarded port
// relays, for TunnelSessions against the same number of plain "ssh" clients started here with
// the same arguments; then, with every tunnel idle, the memory our processes add per tunnel
// beyond the ssh client itself and the CPU the application and the services use.
//   bench_fleet [tunnels]
#include "benchsupport.h"
#include "profile.h"
#include "tunnelsession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Seconds until every port relays (tried in turn, each pass 5 ms apart), or -1 after 5 minutes.
double waitForAll(const QElapsedTimer &clock, QList<quint16> ports)
{
    while (!ports.isEmpty()) {
        ports.removeIf([](quint16 port) { return relaysAByte(port); });
        if (clock.elapsed() > 300000)
            return -1;
        pause(5);
    }
    return double(clock.elapsed()) / 1000.0;
}

struct Usage
{
    qint64 pssKB = 0;
    double cpuMilliseconds = 0;
    int count = 0;
};

Usage usageOf(const QList<qint64> &pids)
{
    Usage usage;
    for (qint64 pid : pids) {
        usage.pssKB += pssOf(pid);
        usage.cpuMilliseconds += cpuMillisecondsOf(pid);
        ++usage.count;
    }
    return usage;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 200;
    BenchServer server(QStringLiteral(VELLSSH_SERVICE));
    if (!server.ready())
        return 1;
    const qint64 ownBefore = pssOf(::getpid());
    BenchProfiles &profiles = server.profiles();
    std::vector<std::unique_ptr<TunnelSession>> tunnels;
    QList<quint16> ports;
    for (int i = 0; i < count; ++i) {
        Profile *profile = profiles.add(u"fleet %1"_s.arg(i));
        tunnels.push_back(server.session(profile));
        ports.append(BenchProfiles::listenPort(profile));
    }

    // Plain clients first, on the same ports; they are gone before ours start.
    std::vector<std::unique_ptr<QProcess>> plain;
    QElapsedTimer clock;
    clock.start();
    for (const auto &tunnel : tunnels) {
        plain.push_back(std::make_unique<QProcess>());
        plain.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        plain.back()->setStandardOutputFile(QProcess::nullDevice());
        plain.back()->start(u"ssh"_s, tunnel->config().params);
    }
    const double plainSeconds = waitForAll(clock, ports);
    pause(2000);
    const Usage plainClients = usageOf(descendantsNamed(::getpid(), "ssh"));
    for (auto &process : plain)
        process->terminate();
    for (auto &process : plain)
        process->waitForFinished();
    plain.clear();
    pause(1000);

    const double ownCpuAtConnect = mainThreadCpuMilliseconds();
    clock.restart();
    for (const auto &tunnel : tunnels)
        tunnel->connect();
    const double oursSeconds = waitForAll(clock, ports);
    const int connected = int(std::count_if(tunnels.begin(), tunnels.end(), [](const auto &t) {
        return t->lastState() == SessionState::connected;
    }));
    const double ownConnectCpu = mainThreadCpuMilliseconds() - ownCpuAtConnect;
    pause(2000);

    // The scans of /proc here are the benchmark's own work: the idle window is between them.
    const Usage servicesBefore = usageOf(descendantsNamed(::getpid(), "vellssh-service"));
    const double ownCpuBefore = mainThreadCpuMilliseconds();
    pause(10000);
    const double ownIdleCpu = mainThreadCpuMilliseconds() - ownCpuBefore;
    const Usage services = usageOf(descendantsNamed(::getpid(), "vellssh-service"));
    const Usage clients = usageOf(descendantsNamed(::getpid(), "ssh"));
    const qint64 ownGrowth = pssOf(::getpid()) - ownBefore;

    printf("tunnels: %d, connected: %d\n", count, connected);
    printf("all relaying: plain ssh %.1f s, TunnelSession %.1f s, ratio %.3f\n", plainSeconds,
           oursSeconds, oursSeconds / plainSeconds);
    printf("PSS per idle client: plain ssh %.0f kB, ssh under the service %.0f kB\n",
           double(plainClients.pssKB) / std::max(1, plainClients.count),
           double(clients.pssKB) / std::max(1, clients.count));
    printf("PSS per tunnel beyond ssh: vellssh-service %.0f kB (%d processes), "
           "application (profiles, sessions and logs) %.0f kB, together %.0f kB\n",
           double(services.pssKB) / count, services.count, double(ownGrowth) / count,
           double(services.pssKB + ownGrowth) / count);
    printf("CPU per tunnel while connecting: plain ssh %.0f ms; ssh under the service %.0f ms, "
           "vellssh-service %.0f ms, application %.0f ms\n",
           plainClients.cpuMilliseconds / std::max(1, plainClients.count),
           clients.cpuMilliseconds / std::max(1, clients.count),
           servicesBefore.cpuMilliseconds / count, ownConnectCpu / count);
    printf("CPU over 10 s idle: application %.0f ms, all services %.0f ms\n", ownIdleCpu,
           services.cpuMilliseconds - servicesBefore.cpuMilliseconds);

    for (const auto &tunnel : tunnels)
        tunnel->disconnect();
    QElapsedTimer stopping;
    stopping.start();
    while (std::any_of(tunnels.begin(), tunnels.end(),
                       [](const auto &t) { return !t->canConnect(); }) &&
           stopping.elapsed() < 60000)
        pause(50);
    return connected == count ? 0 : 1;
}
