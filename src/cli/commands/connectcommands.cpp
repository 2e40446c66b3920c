#include "connectcommands.h"

#include "localized.h"
#include "namearguments.h"
#include "profileflags.h"
#include "promptrelay.h"
#include "queries.h"
#include "tunnelinterface.h"

using namespace Qt::StringLiterals;

namespace {

bool isSettled(const QString &state, bool connecting)
{
    // A connect also ends when the user disconnects the tunnel meanwhile: that is a normal end.
    if (connecting)
        return state == u"connected"_s || state == u"abnormalDisconnect"_s ||
               state == u"retrying"_s || state == u"disconnected"_s;
    return state == u"disconnected"_s || state == u"abnormalDisconnect"_s ||
           state == u"notConnected"_s || state.isEmpty();
}

} // namespace

CommandHelp ConnectCommand::help(const QString &verb)
{
    const bool connecting = verb == u"connect"_s;
    QList<OptionHelp> options{{u"--tag NAME"_s, localized("the live profiles with the tag")},
                              {u"--all"_s, localized("every live profile")},
                              {u"--no-wait"_s, localized("return once VellSSH has the request")}};
    if (connecting)
        options.insert(2,
                       {u"--pinned"_s, localized("the pinned profiles; none pinned is no error")});
    return {verb + (connecting ? u" PROFILE... | --tag NAME | --all | --pinned [--no-wait]"_s
                               : u" PROFILE... | --tag NAME | --all [--no-wait]"_s),
            connecting ? localized("Connect tunnels and wait until each is up or has failed.")
                       : localized("Disconnect tunnels and wait until each has ended."),
            connecting ? localized("Prints how each tunnel ended; exits with 1 when one failed "
                                   "(it keeps retrying in VellSSH). Questions of the client are "
                                   "asked on this terminal.")
                       : QString(),
            options};
}

Status ConnectCommand::parse(const QStringList &arguments)
{
    const bool pinnable = m_verb == u"connect"_s;
    const Error refusal(
        pinnable ? localized("%1 takes PROFILE..., --tag NAME, --all or --pinned.").arg(m_verb)
                 : localized("%1 takes PROFILE..., --tag NAME or --all.").arg(m_verb));
    QStringList switches{u"--all"_s, u"--no-wait"_s};
    if (pinnable)
        switches.append(u"--pinned"_s);
    auto flags = parseSimpleFlags(arguments, {u"--tag"_s}, switches);
    if (!flags)
        return flags.error();
    auto references = nameArguments(flags->positionals);
    if (!references)
        return references.error();
    m_references = *references;
    auto tag = nameArgument(flags->values.value(u"--tag"_s));
    if (!tag)
        return tag.error();
    if (flags->values.contains(u"--tag"_s) && tag->isEmpty())
        return Error(localized("--tag needs a value."));
    m_tag = *tag;
    m_all = flags->switches.contains(u"--all"_s);
    m_pinned = flags->switches.contains(u"--pinned"_s);
    m_noWait = flags->switches.contains(u"--no-wait"_s);
    const int selections = int(flags->values.contains(u"--tag"_s)) + int(m_all) + int(m_pinned) +
                           int(!m_references.isEmpty());
    return selections == 1 ? Status() : refusal;
}

int ConnectCommand::run()
{
    if (!m_tag.isEmpty() && !tagExists())
        return CliEnvironment::failure;
    const auto tunnel = DaemonCommand::tunnel();
    QObject::connect(tunnel.get(), &IoVellsshTunnelInterface::StateChanged, &m_loop,
                     [this](const QString &uuid, const QString &state, const QString &summary) {
                         m_states.insert(uuid, state);
                         m_summaries.insert(uuid, summary);
                         m_loop.quit();
                     });
    PromptRelay prompts(*tunnel);
    QDBusPendingReply<QStringList> reply = request(*tunnel);
    reply.waitForFinished();
    if (reply.isError())
        return m_env.fail(reply.error().message());
    const QStringList uuids = reply.value();
    if (m_noWait || uuids.isEmpty())
        return CliEnvironment::success;
    const QHash<QString, QString> names = learnStates(*tunnel, uuids);
    prompts.setNames(names);
    if (!waitUntilSettled(uuids))
        return CliEnvironment::failure;
    return report(uuids, names);
}

// The application acts on no profile for a tag it does not know; the user hears of it as list
// tells it.
bool ConnectCommand::tagExists()
{
    if (!m_env.openStore())
        return false;
    if (tagNamed(m_tag, m_env.context()))
        return true;
    m_env.fail(noTagMessage(m_tag));
    return false;
}

bool ConnectCommand::connecting() const
{
    return m_verb != u"disconnect"_s;
}

QDBusPendingReply<QStringList> ConnectCommand::request(IoVellsshTunnelInterface &tunnel) const
{
    if (m_verb == u"reconnect"_s)
        return tunnel.Reconnect(m_references);
    if (connecting())
        return m_pinned           ? tunnel.ConnectPinned()
               : m_all            ? tunnel.ConnectAll()
               : !m_tag.isEmpty() ? tunnel.ConnectWithTag(m_tag)
                                  : tunnel.Connect(m_references);
    return m_all              ? tunnel.DisconnectAll()
           : !m_tag.isEmpty() ? tunnel.DisconnectWithTag(m_tag)
                              : tunnel.Disconnect(m_references);
}

// The names of the profiles; their states too, unless a change was announced meanwhile.
QHash<QString, QString> ConnectCommand::learnStates(IoVellsshTunnelInterface &tunnel,
                                                    const QStringList &uuids)
{
    QHash<QString, QString> names;
    for (const QString &uuid : uuids) {
        QDBusPendingReply<QVariantMap> status = tunnel.Status(uuid);
        status.waitForFinished();
        names.insert(uuid, status.value().value(u"name"_s).toString());
        if (!m_states.contains(uuid)) {
            m_states.insert(uuid, status.value().value(u"state"_s).toString());
            m_summaries.insert(uuid, status.value().value(u"summary"_s).toString());
        }
    }
    return names;
}

// False when the application left the bus first.
bool ConnectCommand::waitUntilSettled(const QStringList &uuids)
{
    const DaemonExit exit(m_env.err(), [this] { m_loop.quit(); });
    auto allSettled = [&] {
        // Every profile is looked at, so that each one notes the states it passes through.
        bool all = true;
        for (const QString &uuid : uuids)
            all = settled(uuid) && all;
        return all;
    };
    while (!allSettled()) {
        m_loop.exec();
        if (exit.gone())
            return false;
    }
    return true;
}

bool ConnectCommand::settled(const QString &uuid)
{
    return isSettled(m_states.value(uuid), connecting());
}

int ConnectCommand::report(const QStringList &uuids, const QHash<QString, QString> &names)
{
    int code = CliEnvironment::success;
    for (const QString &uuid : uuids) {
        const QString state = m_states.value(uuid);
        const bool ok = !connecting() || state == u"connected"_s;
        m_env.out() << names.value(uuid) << u": "_s << m_summaries.value(uuid);
        if (!ok && state == u"retrying"_s)
            m_env.out() << u" ("_s << localized("retrying in the background") << u')';
        m_env.out() << Qt::endl;
        code = ok ? code : CliEnvironment::failure;
    }
    return code;
}

CommandHelp ReconnectCommand::help()
{
    return {u"reconnect PROFILE... [--no-wait]"_s,
            localized("Connect tunnels anew and wait until each is up or has failed."),
            {},
            {{u"--no-wait"_s, localized("return once VellSSH has the request")}}};
}

Status ReconnectCommand::parse(const QStringList &arguments)
{
    if (Status error = ConnectCommand::parse(arguments))
        return error;
    if (m_references.isEmpty())
        return Error(localized("%1 takes PROFILE..., --tag NAME or --all.").arg(m_verb));
    return std::nullopt;
}

bool ReconnectCommand::settled(const QString &uuid)
{
    if (m_started.contains(uuid))
        return ConnectCommand::settled(uuid);
    if (m_states.value(uuid) == u"connecting"_s)
        m_started.insert(uuid);
    return false;
}
