#include "sshinvocation.h"

#include "forwarding.h"
#include "forwardingtype.h"
#include "homedirectory.h"
#include "profile.h"
#include "shellquoting.h"

using namespace Qt::StringLiterals;

const QStringList ParameterBuilder::skipQuickOptions = {
    u"AddressFamily"_s, u"ForwardAgent"_s, u"BindAddress"_s, u"Compression"_s,
    u"IdentityFile"_s,  u"ProxyJump"_s,    u"LogLevel"_s,    u"SessionType"_s,
};

const QStringList ParameterBuilder::verbatimOptionNames = {
    u"LocalCommand"_s,
    u"ProxyCommand"_s,
    u"RemoteCommand"_s,
};

ParameterBuilder::ParameterBuilder(bool forceTerminal) : m_commandParams{u"ssh"_s}
{
    if (forceTerminal)
        m_xpcParams.append(u"-tt"_s);
}

void ParameterBuilder::appendArgument(const QString &word, bool show)
{
    m_xpcParams.append(word);
    if (show)
        m_commandParams.append(shellWord(word));
}

void ParameterBuilder::appendFlag(const QString &flag, bool condition)
{
    if (condition)
        appendArgument(flag);
}

void ParameterBuilder::appendFlagWithValue(const QString &flag, const QString &value)
{
    appendArgument(flag);
    appendArgument(value);
}

void ParameterBuilder::appendOption(const QString &name, const QString &value, bool verbatim,
                                    bool show)
{
    // A quoted value reaches the client with its quotes, which the client's own option parser
    // removes; the command shows that quoted word escaped, so a shell hands over the same word.
    const QString quoted = shellQuoted(value);
    m_xpcParams << u"-o"_s << name + u'=' + (verbatim ? value : quoted);
    if (show)
        m_commandParams << u"-o"_s << name + u'=' + (verbatim ? quoted : shellEscaped(quoted));
}

void ParameterBuilder::appendCertificateFile(const QString &path)
{
    const QString quoted = shellQuoted(path);
    m_xpcParams << u"-o"_s << u"CertificateFile="_s + quoted;
    m_commandParams << u"-o"_s << u"CertificateFile="_s + shellEscaped(quoted);
}

SSHInvocation ParameterBuilder::result() const
{
    return {m_xpcParams, m_commandParams.join(u' ')};
}

void SSHParameterBuilder::appendAddressFamily(const QString &family)
{
    if (family == u"inet"_s)
        appendFlag(u"-4"_s);
    else if (family == u"inet6"_s)
        appendFlag(u"-6"_s);
}

void SSHParameterBuilder::appendLogLevel(const QString &level)
{
    if (level == u"DEBUG1"_s)
        appendFlag(u"-v"_s);
    else if (level == u"DEBUG2"_s)
        appendFlag(u"-vv"_s);
    else if (level == u"DEBUG3"_s)
        appendFlag(u"-vvv"_s);
}

void SSHParameterBuilder::appendJumpHosts(const QString &hosts)
{
    if (!hosts.isEmpty())
        appendFlagWithValue(u"-J"_s, hosts);
}

void SSHParameterBuilder::appendForwarding(const ForwardingData &forwarding)
{
    for (const QString &word : forwardingArguments(forwarding))
        appendArgument(word);
}

void SSHParameterBuilder::appendPortAndDestination(qint32 port,
                                                   const std::optional<QString> &destination)
{
    if (port > 0)
        appendFlagWithValue(u"-p"_s, QString::number(port));
    if (destination)
        appendArgument(*destination);
}

QString endpointSpec(const std::optional<QString> &address, qint32 port)
{
    if (!address || address->isEmpty())
        return QString::number(port);
    if (address->startsWith(u'/') || address->startsWith(u"~/"_s))
        return expandingTilde(*address);
    const bool enclosed = address->startsWith(u'[') && address->endsWith(u']');
    const QString host = address->contains(u':') && !enclosed ? u'[' + *address + u']' : *address;
    return host + u':' + QString::number(port);
}

QStringList forwardingArguments(const ForwardingData &f)
{
    const QString bind = endpointSpec(f.bindAddress, f.bindPort);
    switch (forwardingTypeOrLocal(f.type)) {
    case ForwardingType::local:
        return {u"-L"_s, bind + u':' + endpointSpec(f.targetAddress, f.targetPort)};
    case ForwardingType::remote: {
        const bool noTarget = (!f.targetAddress || f.targetAddress->isEmpty()) && f.targetPort == 0;
        if (noTarget)
            return {u"-R"_s, bind};
        return {u"-R"_s, bind + u':' + endpointSpec(f.targetAddress, f.targetPort)};
    }
    case ForwardingType::dynamic:
        return {u"-D"_s, bind};
    case ForwardingType::reverseDynamic:
        return {u"-R"_s, bind};
    }
    return {};
}

namespace {

bool nonEmpty(const OptionDictionary &options, const QString &key)
{
    return !options.value(key).isEmpty();
}

QString identityPath(const InvocationInputs &inputs, const QString &fileName)
{
    return inputs.identityDirectory + u'/' + fileName;
}

} // namespace

SSHInvocation sshInvocation(const ProfileData &profile, const QList<ForwardingData> &forwardings,
                            const InvocationInputs &inputs)
{
    const OptionDictionary options = stringOptions(profile.options).value_or(OptionDictionary());
    SSHParameterBuilder builder(nonEmpty(options, u"RemoteCommand"_s));

    const QString sessionType = options.value(u"SessionType"_s);
    builder.appendFlag(u"-N"_s, sessionType != u"subsystem"_s && sessionType != u"default"_s);
    builder.appendAddressFamily(options.value(u"AddressFamily"_s));
    builder.appendFlag(u"-A"_s, isTruthyOptionValue(options.value(u"ForwardAgent"_s)));
    if (nonEmpty(options, u"BindAddress"_s))
        builder.appendFlagWithValue(u"-b"_s, options.value(u"BindAddress"_s));
    builder.appendFlag(u"-C"_s, isTruthyOptionValue(options.value(u"Compression"_s)));
    if (!inputs.userConfigFilePath.isEmpty())
        builder.appendFlagWithValue(u"-F"_s, expandingTilde(inputs.userConfigFilePath));
    if (profile.privateKeyName && !profile.privateKeyName->isEmpty())
        builder.appendFlagWithValue(u"-i"_s, identityPath(inputs, *profile.privateKeyName));
    else if (nonEmpty(options, u"IdentityFile"_s))
        builder.appendFlagWithValue(u"-i"_s, options.value(u"IdentityFile"_s));
    builder.appendJumpHosts(options.value(u"ProxyJump"_s));
    builder.appendLogLevel(options.value(u"LogLevel"_s));
    for (const ForwardingData &forwarding : forwardings)
        builder.appendForwarding(forwarding);

    // The options' own order is a sorted one here, so the command is the same on every run.
    for (auto it = options.constBegin(); it != options.constEnd(); ++it) {
        if (!inputs.knownOptionNames.contains(it.key()) || it.value().isEmpty() ||
            ParameterBuilder::skipQuickOptions.contains(it.key()))
            continue;
        builder.appendOption(it.key(), it.value(),
                             ParameterBuilder::verbatimOptionNames.contains(it.key()));
    }

    if (profile.certificateName && !profile.certificateName->isEmpty())
        builder.appendCertificateFile(identityPath(inputs, *profile.certificateName));

    std::optional<QString> destination;
    if (profile.address && !profile.address->isEmpty()) {
        destination = profile.user && !profile.user->isEmpty()
                          ? *profile.user + u'@' + *profile.address
                          : *profile.address;
    }
    builder.appendPortAndDestination(profile.port, destination);
    return builder.result();
}

QList<ForwardingData> enabledForwardings(const Profile &profile)
{
    QList<ForwardingData> result;
    for (const Forwarding *forwarding : profile.sortedForwardings()) {
        if (forwarding->enabled())
            result.append(forwarding->data());
    }
    return result;
}

SSHInvocation sshInvocation(const Profile &profile, const InvocationInputs &inputs)
{
    return sshInvocation(profile.data(), enabledForwardings(profile), inputs);
}

bool requirePrivilegedHelper(const OptionDictionary &options,
                             const QList<ForwardingData> &enabledForwardings,
                             const QSet<QString> &strictOptions)
{
    for (const ForwardingData &forwarding : enabledForwardings) {
        if (usesUnixSocket(forwarding))
            return true;
    }
    for (auto it = options.constBegin(); it != options.constEnd(); ++it) {
        if (strictOptions.contains(it.key()))
            return true;
    }
    return false;
}

bool requirePrivilegedHelper(const Profile &profile, const QSet<QString> &strictOptions)
{
    return requirePrivilegedHelper(profile.optionsForReading(), enabledForwardings(profile),
                                   strictOptions);
}
