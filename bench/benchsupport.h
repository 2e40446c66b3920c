#pragma once

#include "processes.h"
#include "sshdfixture.h"
#include "tunnelsession.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

class HandshakeGate;
class ObjectContext;
class ServicePool;
class SessionContainer;
class PersistenceController;
class Profile;
class TunnelSession;

// A blocking echo server on its own threads, so that a busy event loop never starves it.
quint16 startEchoServer();

// Connects to the port on loopback, sends a byte and waits (0.5 s at most) for it to come back.
bool relaysAByte(quint16 port);

// Proportional set size of a process, in kB (0 when it is gone).
qint64 pssOf(qint64 pid);
// User plus system CPU time of a process so far, in milliseconds.
double cpuMillisecondsOf(qint64 pid);
// The same for this process's main thread, where the application's work happens (the echo
// server and the traffic of a benchmark run on other threads).
double mainThreadCpuMilliseconds();

double median(QList<double> values);

// Profiles for a private sshd, each with one local forward to the echo server.
class BenchProfiles
{
public:
    BenchProfiles(const SshdFixture &sshd, quint16 echoPort);
    ~BenchProfiles();

    // A new profile listening on a free port.
    Profile *add(const QString &name);
    static quint16 listenPort(const Profile *profile);
    // Points the profile's forward at a new free port.
    static void moveToFreePort(Profile *profile);
    ObjectContext &context() const;

private:
    const SshdFixture &m_sshd;
    quint16 m_echo;
    std::unique_ptr<PersistenceController> m_store;
};

// What every tunnel benchmark starts with: a temporary folder standing in for the real home,
// a private sshd in it, an echo server, and profiles for them; sessions run the service at
// the given path.
class BenchServer
{
public:
    explicit BenchServer(QString serviceProgram);
    ~BenchServer();

    // Whether the server is up; says why on standard error when not.
    bool ready() const
    {
        if (!m_problem.isEmpty())
            fprintf(stderr, "sshd: %s\n", qPrintable(m_problem));
        return m_problem.isEmpty();
    }
    const SshdFixture &sshd() const { return m_sshd; }
    BenchProfiles &profiles() { return *m_profiles; }
    std::unique_ptr<TunnelSession> session(Profile *profile) const;
    // A container over the profiles, its sessions made as session() makes them.
    std::unique_ptr<SessionContainer> container() const;

private:
    TunnelSession::InvocationSource invocation() const;
    SecureSession::Services services() const;

    QTemporaryDir m_dir;
    SshdFixture m_sshd;
    QString m_problem;
    QString m_serviceProgram;
    std::unique_ptr<BenchProfiles> m_profiles;
    // Shared by the sessions, as the application shares them.
    std::unique_ptr<HandshakeGate> m_gate;
    std::unique_ptr<ServicePool> m_pool;
};

// Runs the event loop for a while.
void pause(int milliseconds);
