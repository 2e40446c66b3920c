#include "monitorcommands.h"

#include "localized.h"
#include "namearguments.h"
#include "profileflags.h"
#include "sessioncontainer.h"
#include "sessionstate.h"
#include "tunnelinterface.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

CommandHelp StatusCommand::help()
{
    return {u"status [--all] [--json] [--watch]\nstatus PROFILE... [--json]"_s,
            localized("Show the state of the tunnels that have been used."),
            localized("A line shows a profile’s name, its state and what it is doing when that "
                      "says more than the state (else nothing), separated by tabs. With "
                      "PROFILE... a line shows each one as named, in the order named."),
            {{u"--all"_s, localized("show every live profile, also those never connected")},
             {u"--json"_s, localized("print the states as JSON")},
             {u"--watch"_s, localized("then print every change, after its time, until "
                                      "interrupted")}}};
}

Status StatusCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--all"_s, u"--json"_s, u"--watch"_s});
    if (!flags)
        return flags.error();
    auto references = nameArguments(flags->positionals);
    if (!references)
        return references.error();
    m_references = *references;
    m_all = flags->switches.contains(u"--all"_s);
    m_json = flags->switches.contains(u"--json"_s);
    m_watch = flags->switches.contains(u"--watch"_s);
    if (m_json && m_watch)
        return Error(localized("status takes one of --json and --watch."));
    if (!m_references.isEmpty() && (m_all || m_watch))
        return Error(localized("status PROFILE... takes neither --all nor --watch."));
    return std::nullopt;
}

namespace {

// What each profile is doing, under its name and under its uuid, so that a line for a profile
// named either way has the columns of the listing.
QHash<QString, QString> summariesByReference(IoVellsshTunnelInterface &tunnel)
{
    QDBusPendingReply<QList<QVariantMap>> reply = tunnel.ListProfiles();
    reply.waitForFinished();
    QHash<QString, QString> summaries;
    for (const QVariantMap &profile : reply.value()) {
        const QString summary = profile.value(u"summary"_s).toString();
        summaries.insert(profile.value(u"name"_s).toString(), summary);
        summaries.insert(profile.value(u"uuid"_s).toString(), summary);
    }
    return summaries;
}

} // namespace

int StatusCommand::printStates(IoVellsshTunnelInterface &tunnel)
{
    QDBusPendingReply<QStringList> reply = tunnel.GetStatus(m_references);
    reply.waitForFinished();
    if (reply.isError())
        return m_env.fail(reply.error().message());
    const QStringList states = reply.value();
    const QHash<QString, QString> summaries = summariesByReference(tunnel);
    QJsonArray array;
    for (qsizetype i = 0; i < m_references.size(); ++i) {
        const std::optional<SessionState> known = sessionStateFromRaw(states.value(i));
        const QString text = known ? textState(*known) : states.value(i);
        if (m_json)
            array.append(QJsonObject{{u"profile"_s, m_references[i]},
                                     {u"state"_s, states.value(i)},
                                     {u"textState"_s, text}});
        else
            printLine(m_references[i], text, summaries.value(m_references[i]));
    }
    if (m_json)
        m_env.out() << QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
    return CliEnvironment::success;
}

int StatusCommand::run()
{
    const auto tunnel = DaemonCommand::tunnel();
    if (!m_references.isEmpty())
        return printStates(*tunnel);
    QDBusPendingReply<QList<QVariantMap>> reply = tunnel->ListProfiles();
    reply.waitForFinished();
    if (reply.isError())
        return m_env.fail(reply.error().message());
    QList<QVariantMap> shown;
    for (const QVariantMap &profile : reply.value()) {
        m_names.insert(profile.value(u"uuid"_s).toString(), profile.value(u"name"_s).toString());
        // A profile has a session, and a state, once it was first connected.
        if (m_all || !profile.value(u"state"_s).toString().isEmpty())
            shown.append(profile);
    }
    if (m_json) {
        printJson(shown);
        return CliEnvironment::success;
    }
    for (const QVariantMap &profile : std::as_const(shown)) {
        const QString text = profile.value(u"textState"_s).toString();
        printLine(profile.value(u"name"_s).toString(),
                  text.isEmpty() ? localized("Not Connected") : text,
                  profile.value(u"summary"_s).toString());
    }
    return m_watch ? watch(*tunnel) : CliEnvironment::success;
}

void StatusCommand::printJson(const QList<QVariantMap> &profiles)
{
    QJsonArray array;
    for (const QVariantMap &profile : profiles)
        array.append(QJsonObject::fromVariantMap(profile));
    m_env.out() << QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

// Watched lines start with the time they were printed, so that a log of them reads as one.
void StatusCommand::printLine(const QString &name, const QString &state, const QString &summary)
{
    if (m_watch) {
        const QDateTime now = QDateTime::currentDateTime();
        m_env.out() << now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate) << u'\t';
    }
    // The summary of a plain state is the state's own text again; the column stays, empty, so
    // that scripts can count on three.
    m_env.out() << name << u'\t' << state << u'\t' << (summary == state ? QString() : summary)
                << Qt::endl;
}

int StatusCommand::watch(IoVellsshTunnelInterface &tunnel)
{
    QObject::connect(&tunnel, &IoVellsshTunnelInterface::StateChanged, &tunnel,
                     [this](const QString &uuid, const QString &state, const QString &summary) {
                         // The bus carries the state's name; people read the same text as in
                         // the listing.
                         const std::optional<SessionState> known = sessionStateFromRaw(state);
                         printLine(m_names.value(uuid, uuid), known ? textState(*known) : state,
                                   summary);
                     });
    const DaemonExit exit(m_env.err(), [] { QCoreApplication::exit(1); });
    return QCoreApplication::exec();
}

CommandHelp LogCommand::help()
{
    return {u"log PROFILE [--follow]"_s,
            localized("Show the connection log of a profile."),
            {},
            {{u"--follow"_s, localized("then print every new line, until interrupted")}}};
}

Status LogCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--follow"_s});
    if (!flags)
        return flags.error();
    if (flags->positionals.size() != 1)
        return Error(localized("log takes one PROFILE."));
    auto reference = nameArgument(flags->positionals.first());
    if (!reference)
        return reference.error();
    m_reference = *reference;
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
