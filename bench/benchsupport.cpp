#include "benchsupport.h"

#include "forwarding.h"
#include "handshakegate.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "processes.h"
#include "profile.h"
#include "servicepool.h"
#include "sessioncontainer.h"
#include "sshclientconfig.h"
#include "sshdfixture.h"
#include "tunnelsession.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

quint16 startEchoServer()
{
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(server, reinterpret_cast<sockaddr *>(&address), sizeof address);
    ::listen(server, 512);
    socklen_t length = sizeof address;
    ::getsockname(server, reinterpret_cast<sockaddr *>(&address), &length);
    std::thread([server] {
        for (;;) {
            const int client = ::accept(server, nullptr, nullptr);
            if (client < 0)
                return;
            std::thread([client] {
                char buffer[4096];
                ssize_t count;
                while ((count = ::read(client, buffer, sizeof buffer)) > 0 &&
                       ::write(client, buffer, size_t(count)) == count) {
                }
                ::close(client);
            }).detach();
        }
    }).detach();
    return ntohs(address.sin_port);
}

bool relaysAByte(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{0, 500000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char byte = 'x';
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                    ::write(fd, &byte, 1) == 1 && ::read(fd, &byte, 1) == 1;
    ::close(fd);
    return ok;
}

qint64 pssOf(qint64 pid)
{
    QFile file(u"/proc/%1/smaps_rollup"_s.arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("Pss:"))
            return line.mid(4).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

namespace {

double cpuMillisecondsIn(const QString &statPath)
{
    QFile file(statPath);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    // Fields 14 and 15 (utime, stime) follow the command name, which may hold blanks.
    const QByteArray text = file.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

} // namespace

double cpuMillisecondsOf(qint64 pid)
{
    return cpuMillisecondsIn(u"/proc/%1/stat"_s.arg(pid));
}

double mainThreadCpuMilliseconds()
{
    return cpuMillisecondsIn(u"/proc/self/task/%1/stat"_s.arg(::getpid()));
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

namespace {

// Listening ports below the kernel's range for outgoing connections, so that none of the many
// client connections of a run can take one before its tunnel listens on it.
quint16 nextListenPort()
{
    static quint16 next = 20000;
    for (;;) {
        const quint16 port = next++;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool free = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        if (free)
            return port;
    }
}

} // namespace

BenchProfiles::BenchProfiles(const SshdFixture &sshd, quint16 echoPort)
    : m_sshd(sshd), m_echo(echoPort),
      m_store(std::move(PersistenceController::openInMemory()).value())
{}

BenchProfiles::~BenchProfiles() = default;

Profile *BenchProfiles::add(const QString &name)
{
    ObjectContext &context = *m_store->mainContext();
    Profile *profile = context.insertProfile();
    profile->setName(name);
    profile->setAddress(u"127.0.0.1"_s);
    profile->setUser(u"root"_s);
    profile->setPort(m_sshd.port());
    profile->setStringOption(m_sshd.clientKey(), u"IdentityFile"_s);
    Forwarding *forwarding = context.insertForwarding();
    forwarding->setProfile(profile);
    forwarding->edit([&](ForwardingData &d) {
        d.bindPort = nextListenPort();
        d.targetAddress = u"127.0.0.1"_s;
        d.targetPort = m_echo;
    });
    return profile;
}

quint16 BenchProfiles::listenPort(const Profile *profile)
{
    return quint16(profile->forwardings().value(0)->bindPort());
}

void BenchProfiles::moveToFreePort(Profile *profile)
{
    profile->forwardings().value(0)->edit([](ForwardingData &d) { d.bindPort = nextListenPort(); });
}

BenchServer::BenchServer(QString serviceProgram)
    : m_sshd(m_dir.path() + u"/sshd"_s), m_serviceProgram(std::move(serviceProgram)),
      m_gate(std::make_unique<HandshakeGate>()), m_pool(std::make_unique<ServicePool>())
{
    m_pool->setEnabled(true);
    qputenv("VELLSSH_TEST_REAL_HOME", m_dir.path().toLocal8Bit());
    m_problem = m_sshd.start();
    m_profiles = std::make_unique<BenchProfiles>(m_sshd, startEchoServer());
}

BenchServer::~BenchServer() = default;

ObjectContext &BenchProfiles::context() const
{
    return *m_store->mainContext();
}

std::unique_ptr<TunnelSession> BenchServer::session(Profile *profile) const
{
    return std::make_unique<TunnelSession>(profile, invocation(), QSet<QString>{}, services());
}

std::unique_ptr<SessionContainer> BenchServer::container() const
{
    return std::make_unique<SessionContainer>(&m_profiles->context(), invocation(), QSet<QString>{},
                                              services());
}

TunnelSession::InvocationSource BenchServer::invocation() const
{
    return [config = m_sshd.clientConfig()] {
        return InvocationInputs{SSHClientConfig::shared().knownOptionNameSet(), {}, config};
    };
}

SecureSession::Services BenchServer::services() const
{
    return {m_serviceProgram, {}, nullptr, {}, m_gate.get(), m_pool.get()};
}

void pause(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}
