// One line of 20 MB from the server: a tunnel whose remote command prints it, and the CPU time
// the application spends (this process's main thread, where sessions read their pipes) from
// the start of the connection until the line is in the connection log.
//   bench_longline [megabytes]
#include "benchsupport.h"
#include "profile.h"
#include "textstorageloghandler.h"
#include "tunnelsession.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <unistd.h>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    BenchServer server(QStringLiteral(VELLSSH_SERVICE));
    if (!server.ready())
        return 1;
    Profile *profile = server.profiles().add(u"long line"_s);
    const qint64 bytes = megabytes * 1000 * 1000;
    profile->setStringOption(u"default"_s, u"SessionType"_s);
    profile->setStringOption(
        u"sleep 1; head -c %1 /dev/zero | tr -c x x; echo; sleep 600"_s.arg(bytes),
        u"RemoteCommand"_s);
    const std::unique_ptr<TunnelSession> session = server.session(profile);
    TunnelSession &tunnel = *session;
    bool arrived = false;
    qsizetype longest = 0;
    QObject::connect(tunnel.connectionLog(), &ConnectionLog::lineAppended, &app,
                     [&](const ConnectionLogLine &line) {
                         longest = std::max(longest, line.message.size());
                         arrived = arrived || line.message.size() > 60000;
                     });
    printf("arguments: %s\n", qPrintable(tunnel.config().params.join(u' ')));
    const double cpuBefore = mainThreadCpuMilliseconds();
    QElapsedTimer clock;
    clock.start();
    tunnel.connect();
    while (!arrived && clock.elapsed() < 300000)
        pause(20);
    const double cpu = mainThreadCpuMilliseconds() - cpuBefore;
    if (!arrived) {
        fprintf(stderr, "the line did not arrive (longest line: %lld characters)\n",
                qint64(longest));
        return 1;
    }
    printf("one line of %lld MB: in the log after %.2f s, as %lld characters\n", megabytes,
           double(clock.elapsed()) / 1000.0, qint64(longest));
    printf("  CPU of the application: %.0f ms\n", cpu);
    tunnel.disconnect();
    while (!tunnel.canConnect())
        pause(50);
    return 0;
}
