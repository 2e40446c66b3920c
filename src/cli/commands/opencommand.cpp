#include "opencommand.h"

#include "localized.h"
#include "namearguments.h"
#include "profileflags.h"
#include "tunnelinterface.h"

using namespace Qt::StringLiterals;

CommandHelp OpenCommand::help()
{
    return {u"open PROFILE..."_s,
            localized("Open tunnels in Vell Shell."),
            localized("Vell Shell gets one vellssh:// address per profile; without it installed, "
                      "nothing is opened."),
            {}};
}

Status OpenCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {});
    if (!flags)
        return flags.error();
    auto references = nameArguments(flags->positionals);
    if (!references)
        return references.error();
    if (references->isEmpty())
        return Error(localized("%1 takes at least one PROFILE.").arg(u"open"_s));
    m_references = *references;
    return std::nullopt;
}

int OpenCommand::run()
{
    QDBusPendingReply<> reply = tunnel()->OpenInShell(m_references);
    reply.waitForFinished();
    if (reply.isError())
        return m_env.fail(reply.error().message());
    return CliEnvironment::success;
}
