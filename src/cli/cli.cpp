#include "cli.h"

#include "clicommand.h"
#include "commandhelp.h"
#include "commandtable.h"
#include "localized.h"
#include "namearguments.h"

using namespace Qt::StringLiterals;

namespace {

bool asksForHelp(const QString &argument)
{
    return argument == u"--help"_s || argument == u"-h"_s;
}

} // namespace

int Cli::run(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return m_env.usageFailure(localized("No command given."));
    const QString verb = asksForHelp(arguments.first()) ? u"help"_s : arguments.first();
    if (verb == u"--version"_s) {
        if (arguments.size() > 1)
            return m_env.usageFailure(localized("--version takes no argument."));
        m_env.out() << u"vellssh-cli "_s << QStringLiteral(VELLSSH_VERSION) << u'\n';
        return CliEnvironment::success;
    }
    const CommandEntry *entry = commandFor(verb);
    if (!entry) {
        return m_env.usageFailure(verb.startsWith(u'-')
                                      ? localized("Unknown option “%1”.").arg(verb)
                                      : localized("Unknown command “%1”.").arg(verb));
    }
    m_env.setVerb(verb);
    const QStringList rest = arguments.mid(1);
    if (std::any_of(rest.cbegin(), rest.cend(), asksForHelp)) {
        m_env.out() << helpText(entry->help);
        return CliEnvironment::success;
    }
    const std::unique_ptr<CliCommand> command = entry->make(verb, m_env);
    if (Status problem = command->parse(rest)) {
        // A name that nothing can carry is a bad value, like one the store refuses.
        return problem->code == unusableNameCode ? m_env.fail(problem->message)
                                                     : m_env.usageFailure(problem->message);
    }
    if (!command->prepare())
        return CliEnvironment::failure;
    return command->run();
}
