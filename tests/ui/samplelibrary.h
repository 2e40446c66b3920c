#pragma once

#include "sshdfixture.h"
#include "vellappdelegate.h"

#include <QString>
#include <QTcpServer>

#include <memory>

class Profile;
class TunnelSession;

// A library as someone who has used the application for a while has it, on the real core and a
// store on disk: tags, pinned profiles, one in the trash, and tunnels in each kind of state.
// Two run against a private sshd (one with a forwarding of every kind), one failed on a closed
// loopback port, one stays connecting against a listener that never speaks, the others rest.
class SampleLibrary
{
public:
    static constexpr int timeoutMs = 30000;

    SampleLibrary();
    ~SampleLibrary();

    // Everything up and every tunnel in its state; the reason when something is not.
    QString start();
    // Ends every run and waits until each has ended.
    QString stop();

    VellAppDelegate &app() const { return *m_app; }
    const SshdFixture &sshd() const { return m_sshd; }
    Profile *profile(const QString &name) const;
    TunnelSession *session(const QString &name) const;

    // The tunnel with a forwarding of every kind, connected.
    static const QString busiest;
    // Edited in the editor: something on every page.
    static const QString detailed;

private:
    QString startCore();
    void addProfiles();
    void addForwardings(Profile *profile);
    Profile *addProfile(const QString &name, quint16 port);
    QString connectTunnels();

    SshdFixture m_sshd;
    QTcpServer m_silent;
    std::unique_ptr<VellAppDelegate> m_app;
};
