#include "cli.h"

#include "clicommand.h"
#include "commandtable.h"
#include "localized.h"

int Cli::run(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return m_env.usageFailure(localized("No command given."));
    const QString verb = arguments.first();
    const CommandEntry *entry = commandFor(verb);
    if (!entry)
        return m_env.usageFailure(localized("Unknown command “%1”.").arg(verb));
    const std::unique_ptr<CliCommand> command = entry->make(verb, m_env);
    if (!command->prepare())
        return CliEnvironment::failure;
    if (Status usage = command->parse(arguments.mid(1)))
        return command->refuse(*usage);
    return command->run();
}
