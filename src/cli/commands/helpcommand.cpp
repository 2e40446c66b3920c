#include "helpcommand.h"

#include "commandtable.h"
#include "localized.h"

using namespace Qt::StringLiterals;

CommandHelp HelpCommand::help()
{
    return {u"help [COMMAND]"_s,
            localized("Show every command, or the usage and options of one."),
            localized("“vellssh-cli COMMAND --help” shows the same as “vellssh-cli help "
                      "COMMAND”."),
            {}};
}

Status HelpCommand::parse(const QStringList &arguments)
{
    if (arguments.size() > 1)
        return Error(localized("help takes at most one COMMAND."));
    if (arguments.isEmpty()) {
        m_text = overviewText();
        return std::nullopt;
    }
    const CommandEntry *entry = commandFor(arguments.first());
    if (!entry)
        return Error(localized("Unknown command “%1”.").arg(arguments.first()));
    m_text = helpText(entry->help);
    return std::nullopt;
}

int HelpCommand::run()
{
    m_env.out() << m_text;
    return CliEnvironment::success;
}
