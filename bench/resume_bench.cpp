// Time until 50 dropped tunnels relay again after the machine wakes, against the time 50 take
// from a cold start. The tunnels run in a SessionContainer against a private sshd; they are
// dropped by killing the server's connection processes (sshd itself stays up) and the wake-up
// comes from a stand-in login1 on a private system bus, through the MachineMonitor.
//   bench_resume [rounds]
#include "benchsupport.h"
#include "machinemonitor.h"
#include "machineservices.h"
#include "sessioncontainer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

constexpr int tunnelCount = 50;

// A bus of its own for the system's services; the address goes where the application looks.
bool startSystemBus(QProcess &daemon)
{
    daemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
    if (!daemon.waitForStarted() || !daemon.waitForReadyRead(10000))
        return false;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", daemon.readLine().trimmed());
    return true;
}

// Milliseconds until every port relays a byte.
double untilAllRelay(const QElapsedTimer &clock, QList<quint16> ports)
{
    while (!ports.isEmpty()) {
        ports.removeIf([](quint16 port) { return relaysAByte(port); });
        if (clock.elapsed() > 120000)
            return -1;
        if (!ports.isEmpty())
            pause(5);
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

template<class Predicate>
bool waitUntil(Predicate done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 120000)
            return false;
        pause(10);
    }
    return true;
}

bool all(const QList<TunnelSession *> &sessions, const std::function<bool(TunnelSession *)> &is)
{
    return std::all_of(sessions.cbegin(), sessions.cend(), is);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QProcess bus;
    if (!startSystemBus(bus)) {
        fprintf(stderr, "no private system bus: %s\n", qPrintable(bus.errorString()));
        return 1;
    }
    MachineServices machine;
    if (const QString problem = machine.startLogin1(); !problem.isEmpty()) {
        fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    BenchServer server(QStringLiteral(VELLSSH_SERVICE));
    if (!server.ready())
        return 1;
    const std::unique_ptr<SessionContainer> container = server.container();
    MachineMonitor monitor;
    QObject::connect(&monitor, &MachineMonitor::resumed, container.get(),
                     &SessionContainer::machineResumed);

    QList<Profile *> profiles;
    QList<quint16> ports;
    for (int i = 0; i < tunnelCount; ++i) {
        profiles.append(server.profiles().add(u"resume %1"_s.arg(i)));
        ports.append(BenchProfiles::listenPort(profiles.last()));
    }
    QList<double> cold;
    QList<double> resumed;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer clock;
        clock.start();
        container->connectAll(profiles);
        cold.append(untilAllRelay(clock, ports));
        const QList<TunnelSession *> sessions = container->sessions();
        if (!waitUntil([&] {
                return all(sessions,
                           [](auto *s) { return s->lastState() == SessionState::connected; });
            }))
            return 1;

        for (qint64 pid : server.sshd().connectionProcesses())
            ::kill(pid_t(pid), SIGKILL);
        if (!waitUntil(
                [&] { return all(sessions, [](auto *s) { return s->isRetryScheduled(); }); }))
            return 1;
        clock.restart();
        machine.login1().sleepAndWake();
        resumed.append(untilAllRelay(clock, ports));

        container->disconnectAll(profiles);
        if (!waitUntil([&] { return all(sessions, [](auto *s) { return s->canConnect(); }); }))
            return 1;
        printf("round %d: cold %.1f ms, after wake-up %.1f ms\n", round + 1, cold.last(),
               resumed.last());
        fflush(stdout);
    }
    printf("tunnels: %d, rounds: %d\ncold connect, median: %.1f ms\n"
           "after wake-up, median: %.1f ms\nratio: %.3f\n",
           tunnelCount, rounds, median(cold), median(resumed), median(resumed) / median(cold));
    bus.terminate();
    bus.waitForFinished();
    return 0;
}
