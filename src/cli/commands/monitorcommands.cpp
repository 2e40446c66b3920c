#include "monitorcommands.h"

#include "localized.h"
#include "profileflags.h"
#include "sessioncontainer.h"
#include "sessionstate.h"
#include "tunnelinterface.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

QString StatusCommand::usage()
{
    return u"status [--watch]"_s;
}

Status StatusCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--watch"_s});
    if (!flags || !flags->positionals.isEmpty())
        return Error(localized("status takes only --watch."));
    m_watch = flags->switches.contains(u"--watch"_s);
    return std::nullopt;
}

int StatusCommand::run()
{
    const auto tunnel = DaemonCommand::tunnel();
    QDBusPendingReply<QList<QVariantMap>> reply = tunnel->ListProfiles();
    reply.waitForFinished();
    if (reply.isError())
        return m_env.fail(reply.error().message());
    for (const QVariantMap &profile : reply.value()) {
        m_names.insert(profile.value(u"uuid"_s).toString(), profile.value(u"name"_s).toString());
        const QString text = profile.value(u"textState"_s).toString();
        m_env.out() << profile.value(u"name"_s).toString() << u'\t'
                    << (text.isEmpty() ? localized("Not Connected") : text) << u'\t'
                    << profile.value(u"summary"_s).toString() << Qt::endl;
    }
    return m_watch ? watch(*tunnel) : CliEnvironment::success;
}

int StatusCommand::watch(IoVellsshTunnelInterface &tunnel)
{
    QObject::connect(&tunnel, &IoVellsshTunnelInterface::StateChanged, &tunnel,
                     [this](const QString &uuid, const QString &state, const QString &summary) {
                         // The bus carries the state's name; people read the same text as in
                         // the listing.
                         const std::optional<SessionState> known = sessionStateFromRaw(state);
                         m_env.out()
                             << m_names.value(uuid, uuid) << u'\t'
                             << (known ? textState(*known) : state) << u'\t' << summary << Qt::endl;
                     });
    const DaemonExit exit(m_env.err(), [] { QCoreApplication::exit(1); });
    return QCoreApplication::exec();
}

QString LogCommand::usage()
{
    return u"log PROFILE [--follow]"_s;
}

Status LogCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--follow"_s});
    if (!flags || flags->positionals.size() != 1)
        return Error(localized("log takes one PROFILE."));
    m_reference = flags->positionals.first();
    m_follow = flags->switches.contains(u"--follow"_s);
    return std::nullopt;
}

int LogCommand::run()
{
    const auto tunnel = DaemonCommand::tunnel();
    QDBusPendingReply<QVariantMap> status = tunnel->Status(m_reference);
    status.waitForFinished();
    if (status.isError())
        return m_env.fail(status.error().message());
    const QString uuid = status.value().value(u"uuid"_s).toString();
    QObject::connect(tunnel.get(), &IoVellsshTunnelInterface::LogLine, tunnel.get(),
                     [this, uuid](const QString &from, const QString &line) {
                         if (from == uuid)
                             m_env.out() << line << Qt::endl;
                     });
    QDBusPendingReply<QString> text = tunnel->Log(uuid);
    text.waitForFinished();
    if (!text.value().isEmpty())
        m_env.out() << text.value() << Qt::endl;
    if (!m_follow)
        return CliEnvironment::success;
    const DaemonExit exit(m_env.err(), [] { QCoreApplication::exit(1); });
    return QCoreApplication::exec();
}
