// vellssh-service: runs one OpenSSH client for the application that started it, on the socket
// it was given as a descriptor, and reports the client's progress back.
#include "askpassserver.h"
#include "clientrunner.h"
#include "knownhostsfile.h"
#include "messagechannel.h"
#include "peerclosed.h"
#include "programinformation.h"
#include "reportmessages.h"
#include "sshprotocol.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <optional>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The ask-pass socket, for the SIGTERM handler: a service that is asked to end (its application
// quits or dies) leaves no socket behind. unlink() may be called from a signal handler.
char askPassSocket[sizeof(sockaddr_un::sun_path)] = {};

void removeSocketAndEnd(int signal)
{
    if (askPassSocket[0])
        ::unlink(askPassSocket);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

class Service : public QObject
{
public:
    static constexpr int serverWatchMs = 1000;

    explicit Service(UniqueFd socket) : m_channel(std::move(socket))
    {
        connect(&m_channel, &MessageChannel::received, this, &Service::handle);
        connect(&m_channel, &MessageChannel::closed, this, &Service::applicationGone);
        connect(&m_runner, &ClientRunner::report, this, &Service::report);
        connect(&m_askPass, &AskPassServer::secretRefused, this, [this] {
            // Without an answer the client would send an empty one and ask again.
            reportFatal(u"Authentication cancelled."_s);
            m_runner.terminate();
        });
        // While a question waits, the server may give up on the login (sshd's LoginGraceTime);
        // the run then ends with its question unanswered, and the session tries again.
        m_serverWatch.setInterval(serverWatchMs);
        connect(&m_askPass, &AskPassServer::askingChanged, this, [this] {
            if (m_askPass.isAsking())
                m_serverWatch.start();
            else
                m_serverWatch.stop();
        });
        connect(&m_serverWatch, &QTimer::timeout, this, [this] {
            if (!holdsConnectionClosedByPeer(m_runner.processId()))
                return;
            m_serverWatch.stop();
            reportFatal(u"The server closed the connection while a question waited for its "
                        "answer."_s);
            m_runner.terminate();
        });
        connect(&m_runner, &ClientRunner::finished, this, [this](int status) {
            report(ClientReport::Exit{status});
            QCoreApplication::exit(0);
        });
    }

private:
    void report(const ClientReportItem &item)
    {
        const auto [op, args] = reportMessage(item);
        m_channel.send(op, args);
    }
    void reportFatal(const QString &text) { report(ClientReport::Log{OpenSSHLevel::fatal, text}); }

    void handle(Message &message)
    {
        if (message.op == SSHProtocol::runWith && !m_started) {
            auto request = SSHProtocol::decodeRunRequest(message.args);
            const Status refused = request ? offerAskPass(*request) : std::nullopt;
            std::array<UniqueFd, 3> handles;
            for (size_t i = 0; i < message.fds.size() && i < handles.size(); ++i)
                handles[i] = std::move(message.fds[i]);
            m_started = request && !refused && m_runner.start(*request, std::move(handles));
            if (!m_started) {
                reportFatal(refused ? refused->message : u"The SSH client could not be started."_s);
                if (refused)
                    report(ClientReport::RunRefused{});
                report(ClientReport::Exit{255});
                QCoreApplication::exit(1);
            }
        } else if (message.op == SSHProtocol::loadKnownHost) {
            const auto entries = readKnownHostsFile(message.args.value(u"path"_s).toString());
            if (entries)
                m_channel.reply(message.id, {{u"data"_s, knownHostsJSON(*entries)}});
            else
                m_channel.reply(message.id, {{u"error"_s, entries.error().message}});
        } else if (message.op == SSHProtocol::dumpKnownHost) {
            const auto entries = knownHostsFromJSON(message.args.value(u"json"_s).toByteArray());
            Status error =
                entries ? writeKnownHostsFile(message.args.value(u"path"_s).toString(), *entries)
                        : Status(entries.error());
            m_channel.reply(message.id,
                            error ? QCborMap{{u"error"_s, error->message}} : QCborMap());
        } else if (message.op == SSHProtocol::terminate) {
            m_runner.terminate();
            if (!m_started)
                QCoreApplication::exit(0);
        }
    }

    // The client's questions come to this run's own socket, whatever ask-pass program runs. A
    // run whose questions another user could answer is not started.
    Status offerAskPass(SSHProtocol::RunRequest &request)
    {
        if (Status refused = m_askPass.listen(request.environment.value(u"XDG_RUNTIME_DIR"_s)))
            return refused;
        const QByteArray path = QFile::encodeName(m_askPass.socketPath());
        std::memcpy(askPassSocket, path.constData(),
                    std::min(size_t(path.size()), sizeof askPassSocket - 1));
        request.environment.insert(u"VELLSSH_ASKPASS_SOCKET"_s, m_askPass.socketPath());
        request.environment.insert(u"VELLSSH_ASKPASS_TOKEN"_s,
                                   QString::fromLatin1(m_askPass.token()));
        return std::nullopt;
    }

    void applicationGone()
    {
        if (m_runner.isRunning())
            m_runner.terminate();
        else
            QCoreApplication::exit(0);
    }

    MessageChannel m_channel;
    ClientRunner m_runner;
    AskPassServer m_askPass{&m_channel};
    QTimer m_serverWatch;
    bool m_started = false;
};

// Answered before anything else: a person who runs the helper by hand gets no socket, no
// parent watch and no client.
constexpr const char *helpText =
    "Usage: vellssh-service --socket-fd N\n"
    "The SSH service helper of VellSSH: runs one OpenSSH client for the application\n"
    "that started it and reports its progress on the socket N. VellSSH starts it;\n"
    "it is not run by hand.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n";

} // namespace

int main(int argc, char *argv[])
{
    if (const std::optional<int> code = answerInformation(argc, argv, "vellssh-service", helpText))
        return *code;
    const pid_t parent = ::getppid();
    // The service goes when its application goes; the client follows the service.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent)
        return 1;
    // A run parses a few dozen lines: compiling the patterns to machine code would cost more
    // than it saves.
    qputenv("QT_ENABLE_REGEXP_JIT", "0");
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype at = arguments.indexOf(u"--socket-fd"_s);
    bool ok = false;
    const int fd = at >= 0 ? arguments.value(at + 1).toInt(&ok) : -1;
    if (!ok || ::fcntl(fd, F_GETFD) < 0) {
        fprintf(stderr, "usage: vellssh-service --socket-fd N (started by VellSSH)\n");
        return 2;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::signal(SIGTERM, removeSocketAndEnd);
    // A hangup of the terminal the application was started from reaches its whole process
    // group; the service stays with its application, and the client, in a group of its own
    // and with the default dispositions, is not reached at all.
    ::signal(SIGHUP, SIG_IGN);
    Service service{UniqueFd(fd)};
    return app.exec();
}
