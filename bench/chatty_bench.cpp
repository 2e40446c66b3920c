// A chatty tunnel: a profile at log level DEBUG3 while bytes stream through it and short
// connections come and go. Reports the log lines per second that reach the connection log,
// how long the last of them trails the traffic, and the CPU of the application (this
// process), the service and the client meanwhile.
//   bench_chatty [seconds per phase]
#include "benchsupport.h"
#include "profile.h"
#include "quickoptions.h"
#include "textstorageloghandler.h"
#include "tunnelsession.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Streams data through the echo tunnel, writing and reading at once, until told to stop; the
// bytes that came back.
qint64 stream(quint16 port, const std::atomic<bool> &stop)
{
    const int fd = connectTo(port);
    if (fd < 0)
        return 0;
    // The reader stops once nothing came back for a second after the writer stopped (no
    // half-close: a forwarded connection need not pass it on).
    timeval timeout{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::thread writer([fd, &stop] {
        const std::vector<char> buffer(64 * 1024, 'x');
        while (!stop && ::write(fd, buffer.data(), buffer.size()) > 0) {
        }
    });
    std::vector<char> buffer(64 * 1024);
    qint64 moved = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n > 0)
            moved += n;
        else if (n == 0 || stop)
            break;
    }
    writer.join();
    ::close(fd);
    return moved;
}

// Opens, uses and closes one connection after another until told to stop; how many.
qint64 churn(quint16 port, const std::atomic<bool> &stop)
{
    qint64 count = 0;
    while (!stop && relaysAByte(port))
        ++count;
    return count;
}

struct Phase
{
    const char *name;
    qint64 (*work)(quint16, const std::atomic<bool> &);
    const char *unit;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    BenchServer server(QStringLiteral(VELLSSH_SERVICE));
    if (!server.ready())
        return 1;
    BenchProfiles &profiles = server.profiles();
    Profile *profile = profiles.add(u"chatty"_s);
    setLogLevel(*profile, LogLevel::debug3);
    const std::unique_ptr<TunnelSession> session = server.session(profile);
    TunnelSession &tunnel = *session;
    qint64 lines = 0;
    QElapsedTimer sinceLastLine;
    QObject::connect(tunnel.connectionLog(), &ConnectionLog::lineAppended, &app, [&] {
        ++lines;
        sinceLastLine.restart();
    });
    printf("arguments: %s\n", qPrintable(tunnel.config().params.join(u' ')));
    tunnel.connect();
    const quint16 port = BenchProfiles::listenPort(profile);
    QElapsedTimer clock;
    clock.start();
    while (!relaysAByte(port) && clock.elapsed() < 30000)
        pause(5);
    pause(500);
    qint64 client = 0;
    qint64 service = 0;
    for (qint64 pid : descendantsNamed(::getpid(), "vellssh-service")) {
        service = pid;
        client = descendantsNamed(pid, "ssh").value(0);
    }

    const Phase phases[] = {{"bulk transfer through the tunnel", stream, "bytes echoed"},
                            {"short connections one after another", churn, "connections"}};
    for (const Phase &phase : phases) {
        const qint64 linesBefore = lines;
        const double cpu[] = {mainThreadCpuMilliseconds(), cpuMillisecondsOf(service),
                              cpuMillisecondsOf(client)};
        std::atomic<bool> stop = false;
        std::atomic<bool> finished = false;
        qint64 done = 0;
        std::thread worker([&] {
            done = phase.work(port, stop);
            finished = true;
        });
        clock.restart();
        pause(seconds * 1000);
        stop = true;
        // The event loop keeps running: the client's log lines must get through for the
        // traffic to end.
        while (!finished)
            pause(10);
        worker.join();
        const double elapsed = double(clock.elapsed()) / 1000.0;
        // Lines still on their way arrive now; the log has kept up once they stop coming.
        clock.restart();
        sinceLastLine.restart();
        while (sinceLastLine.elapsed() < 1000 && clock.elapsed() < 60000)
            pause(50);
        const double trailing = std::max(0.0, double(clock.elapsed() - 1000) / 1000.0);
        printf("%s: %lld %s in %.1f s\n", phase.name, done, phase.unit, elapsed);
        printf("  log lines: %lld, %.0f per second; the last came %.2f s after the traffic\n",
               lines - linesBefore, double(lines - linesBefore) / elapsed, trailing);
        printf("  CPU per second: application %.0f ms, vellssh-service %.0f ms, ssh %.0f ms\n",
               (mainThreadCpuMilliseconds() - cpu[0]) / elapsed,
               (cpuMillisecondsOf(service) - cpu[1]) / elapsed,
               (cpuMillisecondsOf(client) - cpu[2]) / elapsed);
    }
    printf("connection log: %lld characters kept\n",
           qint64(tunnel.connectionLog()->toPlainText().size()));
    tunnel.disconnect();
    while (!tunnel.canConnect())
        pause(50);
    return 0;
}
