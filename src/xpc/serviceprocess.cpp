#include "serviceprocess.h"

#include "buildinfo.h"
#include "descriptors.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

Q_DECLARE_LOGGING_CATEGORY(lcXpc)

ServiceProcess::ServiceProcess(QObject *parent) : QObject(parent) {}

ServiceProcess::~ServiceProcess()
{
    m_channel.reset();
    if (m_pid > 0) {
        // SIGTERM first, so that the service removes its ask-pass socket on the way out; one
        // that does not go at once is killed.
        ::kill(m_pid, SIGTERM);
        pollfd exited{m_pidFd.get(), POLLIN, 0};
        if (!m_pidFd || ::poll(&exited, 1, terminateGraceMs) != 1)
            ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

QString ServiceProcess::defaultProgram()
{
    const QString here = QCoreApplication::applicationDirPath();
    // Installed, the helpers have a folder of their own; in the build tree they lie beside.
    const QString installed = here + u'/' + QLatin1StringView(BuildInfo::helperDirFromBinDir);
    for (const QString &candidate :
         {installed + u"/vellssh-service"_s, here + u"/vellssh-service"_s}) {
        if (QFileInfo(candidate).isExecutable())
            return QFileInfo(candidate).canonicalFilePath();
    }
    return here + u"/vellssh-service"_s;
}

bool ServiceProcess::start(const QString &program)
{
    Q_ASSERT(m_pid == 0);
    auto [mine, theirs] = makeSocketPair();
    if (!mine)
        return false;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // dup2 onto a new number drops close-on-exec, so only this end crosses into the helper.
    posix_spawn_file_actions_adddup2(&actions, theirs.get(), socketDescriptor);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const QByteArray path = QFile::encodeName(program);
    const QByteArray fdArgument = QByteArray::number(socketDescriptor);
    char *argv[] = {const_cast<char *>(path.constData()), const_cast<char *>("--socket-fd"),
                    const_cast<char *>(fdArgument.constData()), nullptr};
    char *envp[] = {nullptr};
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, path.constData(), &actions, &attributes, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        qCWarning(lcXpc) << "cannot start" << program << ":" << strerror(rc);
        return false;
    }
    m_pid = pid;
    m_pidFd.reset(int(::syscall(SYS_pidfd_open, pid, 0)));
    if (m_pidFd) {
        m_exitNotifier = std::make_unique<QSocketNotifier>(m_pidFd.get(), QSocketNotifier::Read);
        connect(m_exitNotifier.get(), &QSocketNotifier::activated, this, &ServiceProcess::reap);
    }
    m_channel = std::make_unique<MessageChannel>(std::move(mine));
    return true;
}

void ServiceProcess::reap()
{
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid)
        return;
    m_exitNotifier.reset();
    m_pidFd.reset();
    m_pid = 0;
    Q_EMIT finished(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}
