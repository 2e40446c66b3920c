#pragma once

#include "securesession.h"
#include "sshinvocation.h"
#include "textstorageloghandler.h"

#include <QPointer>

class Profile;
class QSocketNotifier;

// The session of one profile: its configuration comes from the profile, and the client's
// standard output and error become the profile's connection log.
class TunnelSession : public SecureSession
{
    Q_OBJECT

public:
    // What the configuration needs besides the profile: the catalogue, the identity directory
    // and the configuration-file setting, as they are when it is asked.
    using InvocationSource = std::function<InvocationInputs()>;

    TunnelSession(Profile *profile, InvocationSource invocation, QSet<QString> strictOptions,
                  Services services, QObject *parent = nullptr);
    ~TunnelSession() override;

    static Config configFor(const Profile &profile, const InvocationInputs &inputs,
                            const QSet<QString> &strictOptions);

    Profile *profile() const { return m_profile; }
    void setProfile(Profile *profile) { m_profile = profile; }
    // Rebuilds the configuration from the profile; a running client keeps its arguments.
    void refreshConfig();
    QString equivalentCommand() const { return config().command; }
    ConnectionLog *connectionLog() const { return m_log.get(); }

protected:
    void preparePipes(std::array<UniqueFd, 3> &handles) override;
    void didTerminate() override;

private:
    struct Reader;
    void readOutput(Reader &reader);

    Profile *m_profile;
    InvocationSource m_invocation;
    QSet<QString> m_strictOptions;
    std::unique_ptr<ConnectionLog> m_log;
    UniqueFd m_stdinWrite;
    std::unique_ptr<Reader> m_stdout;
    std::unique_ptr<Reader> m_stderr;
};
