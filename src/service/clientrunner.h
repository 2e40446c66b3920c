#pragma once

#include "clientlogparser.h"
#include "sshprotocol.h"
#include "uniquefd.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <sys/types.h>

class QSocketNotifier;

// Runs one OpenSSH client with the session's standard input and output, and its own pipe for
// standard error: the client's log is parsed into reports, and its error lines are passed on to
// the session's standard error. The client runs in its own process group, dies with this
// process, and is always reaped.
class ClientRunner : public QObject
{
    Q_OBJECT

public:
    static constexpr int terminateGraceMs = 3000;
    // A server that accepts the connection and never speaks would hold a run in "connecting"
    // for good; with a limit the run fails and is retried like any other.
    static constexpr int defaultConnectTimeoutSeconds = 30;

    explicit ClientRunner(QObject *parent = nullptr);
    ~ClientRunner() override;

    // Index 0, 1 and 2: the session's standard input, output and error; any may be invalid.
    bool start(const SSHProtocol::RunRequest &request, std::array<UniqueFd, 3> handles,
               const QString &program = QStringLiteral("ssh"));
    // SIGTERM to the client's group now, SIGKILL after the grace period.
    void terminate();
    bool isRunning() const { return m_pid > 0; }
    pid_t processId() const { return m_pid; }

    // The client's own log level from its arguments (how many -v), and the arguments it is run
    // with: at least one -v, which this runner needs to follow its progress, and the default
    // connect timeout unless the arguments give one.
    static OpenSSHLevel requestedLevel(const QStringList &arguments);
    static QStringList argumentsForRun(const QStringList &arguments);

Q_SIGNALS:
    // Only the log lines within the client's own log level are reported; error lines go to the
    // session's standard error instead.
    void report(const ClientReportItem &item);
    void finished(int exitStatus);

private:
    void readLog();
    void reap();
    void handle(const QList<ClientReportItem> &items);

    pid_t m_pid = 0;
    UniqueFd m_pidFd;
    UniqueFd m_log;
    UniqueFd m_sessionError;
    std::unique_ptr<QSocketNotifier> m_logNotifier;
    std::unique_ptr<QSocketNotifier> m_exitNotifier;
    QTimer m_killTimer;
    ClientLogParser m_parser;
    OpenSSHLevel m_level = OpenSSHLevel::info;
};
