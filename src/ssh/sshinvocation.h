#pragma once

#include "records.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class Profile;
using OptionDictionary = QMap<QString, QString>;

// The outside values an invocation depends on besides the profile.
struct InvocationInputs
{
    QSet<QString> knownOptionNames;
    // The directory that privateKeyName and certificateName are file names in.
    QString identityDirectory;
    // The setting "user_config_file_path".
    QString userConfigFilePath;
};

// The client's argument list (without the program name) and the equivalent shell command.
struct SSHInvocation
{
    QStringList params;
    QString command;

    friend bool operator==(const SSHInvocation &, const SSHInvocation &) = default;
};

// Builds the two word lists side by side: the words the client receives, and the words of the
// command a user could paste into a shell.
class ParameterBuilder
{
public:
    static const QStringList skipQuickOptions;
    static const QStringList verbatimOptionNames;

    explicit ParameterBuilder(bool forceTerminal);
    virtual ~ParameterBuilder() = default;

    void appendArgument(const QString &word, bool show = true);
    void appendFlag(const QString &flag, bool condition = true);
    void appendFlagWithValue(const QString &flag, const QString &value);
    void appendOption(const QString &name, const QString &value, bool verbatim, bool show = true);
    void appendCertificateFile(const QString &path);

    SSHInvocation result() const;

protected:
    QStringList m_xpcParams;
    QStringList m_commandParams;
};

class SSHParameterBuilder : public ParameterBuilder
{
public:
    using ParameterBuilder::ParameterBuilder;

    void appendAddressFamily(const QString &family);
    void appendLogLevel(const QString &level);
    void appendJumpHosts(const QString &hosts);
    void appendForwarding(const ForwardingData &forwarding);
    void appendPortAndDestination(qint32 port, const std::optional<QString> &destination);
};

// "[address]:port", "address:port", a socket path, or the port alone.
QString endpointSpec(const std::optional<QString> &address, qint32 port);
// The flag and the argument of one forwarding, as the client takes them.
QStringList forwardingArguments(const ForwardingData &forwarding);

SSHInvocation sshInvocation(const ProfileData &profile, const QList<ForwardingData> &forwardings,
                            const InvocationInputs &inputs);
// Uses the profile's enabled forwardings in ascending priority.
SSHInvocation sshInvocation(const Profile &profile, const InvocationInputs &inputs);

// True when an enabled forwarding uses a Unix socket or the options name a strict option.
bool requirePrivilegedHelper(const OptionDictionary &options,
                             const QList<ForwardingData> &enabledForwardings,
                             const QSet<QString> &strictOptions);
bool requirePrivilegedHelper(const Profile &profile, const QSet<QString> &strictOptions);

QList<ForwardingData> enabledForwardings(const Profile &profile);
