#include "clientrunner.h"

#include "descriptors.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcService, "io.vellssh.service")

namespace {

bool isVerbosityFlag(const QString &word)
{
    static const QRegularExpression flag(u"^-v+$"_s);
    return flag.match(word).hasMatch();
}

// "-o ConnectTimeout=...", "-oConnectTimeout ..." and the like: option names are case-blind,
// and the value follows "=" or white space.
bool setsConnectTimeout(const QStringList &arguments)
{
    static const QRegularExpression option(u"^\\s*ConnectTimeout(\\s|=)"_s,
                                           QRegularExpression::CaseInsensitiveOption);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &word = arguments[i];
        if (!word.startsWith(u"-o"_s))
            continue;
        const QString value = word == u"-o"_s ? arguments.value(++i) : word.mid(2);
        if (option.match(value).hasMatch())
            return true;
    }
    return false;
}

// Everything the child needs, made before fork: between fork and exec only async-signal-safe
// calls are allowed.
struct ExecPlan
{
    QByteArray path;
    QList<QByteArray> arguments;
    QList<QByteArray> environment;
    std::vector<char *> argv;
    std::vector<char *> envp;

    void seal()
    {
        for (QByteArray &a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (QByteArray &e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);
    }
};

[[noreturn]] void execChild(const ExecPlan &plan, const int handles[3], int logWrite, pid_t parent)
{
    ::setpgid(0, 0);
    // The client goes when this service goes, whatever ends it; a client waiting for a server
    // does not always heed SIGTERM, so it is SIGKILL.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)
        ::_exit(127);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig = 1; sig < NSIG; ++sig)
        ::signal(sig, SIG_DFL);
    const int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(handles[0] >= 0 ? handles[0] : devNull, 0);
    ::dup2(handles[1] >= 0 ? handles[1] : devNull, 1);
    ::dup2(logWrite, 2);
    ::syscall(SYS_close_range, 3, ~0U, 0);
    ::execve(plan.path.constData(), plan.argv.data(), plan.envp.data());
    ::_exit(127);
}

} // namespace

ClientRunner::ClientRunner(QObject *parent) : QObject(parent)
{
    m_killTimer.setSingleShot(true);
    connect(&m_killTimer, &QTimer::timeout, this, [this] {
        if (m_pid > 0)
            ::kill(-m_pid, SIGKILL);
    });
}

ClientRunner::~ClientRunner()
{
    if (m_pid > 0) {
        ::kill(-m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

OpenSSHLevel ClientRunner::requestedLevel(const QStringList &arguments)
{
    int verbosity = 0;
    for (const QString &word : arguments) {
        if (isVerbosityFlag(word))
            verbosity += int(word.size()) - 1;
    }
    return OpenSSHLevel(std::min(int(OpenSSHLevel::info) + (verbosity ? verbosity + 1 : 0),
                                 int(OpenSSHLevel::debug3)));
}

QStringList ClientRunner::argumentsForRun(const QStringList &arguments)
{
    QStringList run = arguments;
    if (!setsConnectTimeout(arguments)) {
        run.prepend(u"ConnectTimeout="_s + QString::number(defaultConnectTimeoutSeconds));
        run.prepend(u"-o"_s);
    }
    if (!std::any_of(arguments.cbegin(), arguments.cend(), isVerbosityFlag))
        run.prepend(u"-v"_s);
    return run;
}

bool ClientRunner::start(const SSHProtocol::RunRequest &request, std::array<UniqueFd, 3> handles,
                         const QString &program)
{
    Q_ASSERT(m_pid == 0);
    ExecPlan plan;
    const QString path = program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        qCWarning(lcService) << "no" << program << "on PATH";
        return false;
    }
    plan.path = QFile::encodeName(path);
    plan.arguments.append(QFile::encodeName(program));
    for (const QString &word : argumentsForRun(request.arguments))
        plan.arguments.append(word.toUtf8());
    for (auto it = request.environment.cbegin(); it != request.environment.cend(); ++it)
        plan.environment.append((it.key() + u'=' + it.value()).toUtf8());
    plan.seal();
    m_level = requestedLevel(request.arguments);

    auto [logRead, logWrite] = makePipe();
    if (!logRead)
        return false;
    const int raw[3] = {handles[0].get(), handles[1].get(), -1};
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0)
        execChild(plan, raw, logWrite.get(), parent);

    ::setpgid(pid, pid);
    m_pid = pid;
    m_sessionError = std::move(handles[2]);
    m_log = std::move(logRead);
    setNonBlocking(m_log.get());
    m_logNotifier = std::make_unique<QSocketNotifier>(m_log.get(), QSocketNotifier::Read);
    connect(m_logNotifier.get(), &QSocketNotifier::activated, this, &ClientRunner::readLog);
    m_pidFd.reset(int(::syscall(SYS_pidfd_open, pid, 0)));
    m_exitNotifier = std::make_unique<QSocketNotifier>(m_pidFd.get(), QSocketNotifier::Read);
    connect(m_exitNotifier.get(), &QSocketNotifier::activated, this, &ClientRunner::reap);
    return true;
}

void ClientRunner::terminate()
{
    if (m_pid <= 0)
        return;
    ::kill(-m_pid, SIGTERM);
    m_killTimer.start(terminateGraceMs);
}

void ClientRunner::handle(const QList<ClientReportItem> &items)
{
    for (const ClientReportItem &item : items) {
        if (const auto *log = std::get_if<ClientReport::Log>(&item)) {
            // Fatal lines travel as reports, so that the session keeps them as the reason the
            // run ended.
            if (log->level == OpenSSHLevel::error) {
                if (m_sessionError) {
                    const QByteArray line = log->text.toUtf8() + '\n';
                    [[maybe_unused]] const ssize_t written =
                        ::write(m_sessionError.get(), line.constData(), size_t(line.size()));
                }
                continue;
            }
            if (log->level > m_level)
                continue;
        }
        Q_EMIT report(item);
    }
}

void ClientRunner::readLog()
{
    const Drain drained = drainAvailable(
        m_log.get(), [this](QByteArrayView chunk) { handle(m_parser.feed(chunk.toByteArray())); });
    if (drained == Drain::ended) {
        m_logNotifier.reset();
        m_log.reset();
    }
}

void ClientRunner::reap()
{
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid)
        return;
    // Whatever the client left in its group (a jump host's client) goes with it.
    ::kill(-m_pid, SIGTERM);
    m_exitNotifier.reset();
    m_pidFd.reset();
    m_killTimer.stop();
    m_pid = 0;
    // The rest of the log is in the pipe; a writer that lingers gets two seconds.
    QDeadlineTimer deadline(2000);
    while (m_log && !deadline.hasExpired()) {
        pollfd waiting{m_log.get(), POLLIN, 0};
        if (::poll(&waiting, 1, int(deadline.remainingTime())) <= 0)
            break;
        readLog();
    }
    handle(m_parser.finish());
    m_sessionError.reset();
    Q_EMIT finished(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}
