#include "sshdfixture.h"

#include "processes.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

bool run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool accepts(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

SshdFixture::SshdFixture(const QString &directory) : m_dir(directory) {}

SshdFixture::~SshdFixture()
{
    stop();
}

quint16 SshdFixture::freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

QString SshdFixture::start(const QString &extraConfig)
{
    QDir().mkpath(m_dir + u"/run"_s);
    QDir().mkpath(m_dir + u"/log"_s);
    for (const QString &key : {u"/host_key"_s, u"/id_client"_s, u"/id_other"_s}) {
        if (!QFile::exists(m_dir + key) &&
            !run(u"ssh-keygen"_s,
                 {u"-q"_s, u"-t"_s, u"ed25519"_s, u"-N"_s, u""_s, u"-f"_s, m_dir + key}))
            return u"ssh-keygen failed"_s;
    }
    if (!QFile::exists(passphraseKey()) &&
        !run(u"ssh-keygen"_s,
             {u"-q"_s, u"-t"_s, u"ed25519"_s, u"-N"_s, u"labpass"_s, u"-f"_s, passphraseKey()}))
        return u"ssh-keygen failed"_s;
    QFile clientPublic(clientKey() + u".pub"_s);
    QFile passPublic(passphraseKey() + u".pub"_s);
    QFile hostPublic(m_dir + u"/host_key.pub"_s);
    if (!clientPublic.open(QIODevice::ReadOnly) || !hostPublic.open(QIODevice::ReadOnly) ||
        !passPublic.open(QIODevice::ReadOnly))
        return u"keys missing"_s;
    m_port = freePort();
    const QByteArray hostKey = hostPublic.readAll().trimmed().split(' ').mid(0, 2).join(' ');
    write(m_dir + u"/authorized_keys"_s, clientPublic.readAll() + passPublic.readAll());
    write(m_dir + u"/known_hosts"_s,
          "[127.0.0.1]:" + QByteArray::number(m_port) + ' ' + hostKey + '\n');
    const QByteArray common = "Host *\n  IdentitiesOnly yes\n";
    const QByteArray known = "  UserKnownHostsFile " + m_dir.toUtf8() + "/known_hosts\n";
    write(clientConfig(), common + known + "  StrictHostKeyChecking yes\n  BatchMode yes\n");
    write(askingConfig(), common + known + "  StrictHostKeyChecking yes\n");
    QFile::remove(m_dir + u"/unknown_hosts"_s);
    write(unknownHostConfig(), common + "  UserKnownHostsFile " + m_dir.toUtf8() +
                                   "/unknown_hosts\n  StrictHostKeyChecking ask\n");
    // sshd keeps the first value of a keyword: the test's own lines come first.
    QByteArray config = extraConfig.toUtf8() + '\n';
    config += "Port " + QByteArray::number(m_port) +
              "\nListenAddress 127.0.0.1\n"
              "HostKey " +
              m_dir.toUtf8() +
              "/host_key\n"
              "AuthorizedKeysFile " +
              m_dir.toUtf8() +
              "/authorized_keys\n"
              "PidFile " +
              m_dir.toUtf8() +
              "/sshd.pid\n"
              "StrictModes no\nPermitRootLogin yes\nUsePAM no\n"
              "PasswordAuthentication no\nKbdInteractiveAuthentication no\n"
              "PubkeyAuthentication yes\nAllowTcpForwarding yes\nAllowStreamLocalForwarding yes\n"
              "X11Forwarding no\nPrintMotd no\nUseDNS no\nMaxStartups 500\n"
              "MaxSessions 100\nLogLevel VERBOSE\n";
    write(m_dir + u"/sshd_config"_s, config);

    const QString sshd = u"exec /usr/sbin/sshd -D -e -f "_s + m_dir + u"/sshd_config"_s;
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->setStandardOutputFile(m_dir + u"/sshd.log"_s);
    m_process->setChildProcessModifier([] { ::setpgid(0, 0); });
    if (::getuid() == 0) {
        // sshd as root wants /run/sshd; a private mount namespace keeps the real one untouched.
        const QString inner = u"mount -n --bind %1/run /run && mount -n --bind %1/log /var/log && "
                              "install -d -m 0755 /run/sshd && "_s.arg(m_dir) +
                              sshd;
        if (run(u"unshare"_s, {u"-m"_s, u"true"_s}))
            m_process->start(u"unshare"_s,
                             {u"-m"_s, u"--propagation"_s, u"private"_s, u"sh"_s, u"-c"_s, inner});
        else
            m_process->start(u"sh"_s, {u"-c"_s, u"install -d -m 0755 /run/sshd && "_s + sshd});
    } else {
        m_process->start(u"sh"_s, {u"-c"_s, sshd});
    }
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (accepts(m_port))
            return {};
        if (m_process->state() == QProcess::NotRunning)
            return u"sshd ended: see "_s + m_dir + u"/sshd.log"_s;
        m_process->waitForFinished(50);
    }
    return u"sshd did not start listening"_s;
}

void SshdFixture::stop()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    const qint64 group = m_process->processId();
    ::kill(pid_t(-group), SIGTERM);
    if (!m_process->waitForFinished(5000)) {
        ::kill(pid_t(-group), SIGKILL);
        m_process->waitForFinished(5000);
    }
    ::kill(pid_t(-group), SIGKILL);
}

QList<qint64> SshdFixture::connectionProcesses() const
{
    QList<qint64> result;
    if (!m_process)
        return result;
    QFile pidFile(m_dir + u"/sshd.pid"_s);
    if (!pidFile.open(QIODevice::ReadOnly))
        return result;
    return childProcesses(pidFile.readAll().trimmed().toLongLong());
}
