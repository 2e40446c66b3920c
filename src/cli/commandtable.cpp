#include "commandtable.h"

#include "commands/connectcommands.h"
#include "commands/editcommands.h"
#include "commands/exchangecommands.h"
#include "commands/monitorcommands.h"
#include "commands/profilescommands.h"
#include "commands/settingscommand.h"
#include "commands/tagcommand.h"
#include "commands/viewcommands.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// vellssh-cli help: the usage text, on standard output.
class HelpCommand final : public CliCommand
{
public:
    using CliCommand::CliCommand;

    Status parse(const QStringList &) override { return std::nullopt; }
    int run() override
    {
        m_env.out() << usageText();
        return CliEnvironment::success;
    }
};

template<class Command>
CommandEntry entry(const QString &verb,
                   CommandEntry::Section section = CommandEntry::Section::store)
{
    return {{verb}, Command::usage(), section, [](const QString &, CliEnvironment &env) {
                return std::make_unique<Command>(env);
            }};
}

std::unique_ptr<CliCommand> profilesCommand(const QString &verb, CliEnvironment &env)
{
    if (verb == u"trash"_s)
        return std::make_unique<TrashCommand>(env);
    if (verb == u"recover"_s)
        return std::make_unique<RecoverCommand>(env);
    if (verb == u"duplicate"_s)
        return std::make_unique<DuplicateCommand>(env);
    return std::make_unique<PinCommand>(env, verb == u"pin"_s);
}

QList<CommandEntry> makeTable()
{
    using Section = CommandEntry::Section;
    return {
        {{u"help"_s, u"--help"_s, u"-h"_s},
         {},
         Section::none,
         [](const QString &, CliEnvironment &env) { return std::make_unique<HelpCommand>(env); }},
        entry<ListCommand>(u"list"_s),
        entry<ShowCommand>(u"show"_s),
        entry<AddCommand>(u"add"_s),
        entry<EditCommand>(u"edit"_s),
        entry<InvocationCommand>(u"command"_s),
        {{u"trash"_s, u"recover"_s, u"duplicate"_s, u"pin"_s, u"unpin"_s},
         ProfilesCommand::usage(),
         Section::store,
         profilesCommand},
        entry<DeleteCommand>(u"delete"_s),
        entry<TagCommand>(u"tag"_s),
        entry<SettingsCommand>(u"settings"_s),
        entry<ExportCommand>(u"export"_s),
        entry<ImportCommand>(u"import"_s),
        entry<BackupCommand>(u"backup"_s),
        entry<SyncCommand>(u"sync"_s),
        {{u"connect"_s, u"disconnect"_s},
         ConnectCommand::usage(),
         Section::daemon,
         [](const QString &verb, CliEnvironment &env) {
             return std::make_unique<ConnectCommand>(env, verb);
         }},
        entry<ReconnectCommand>(u"reconnect"_s, Section::daemon),
        entry<StatusCommand>(u"status"_s, Section::daemon),
        entry<LogCommand>(u"log"_s, Section::daemon),
    };
}

QString usageLines(CommandEntry::Section section)
{
    QString text;
    for (const CommandEntry &command : commandTable()) {
        if (command.section != section)
            continue;
        for (const QString &line : command.usage.split(u'\n'))
            text += u"  "_s + line + u'\n';
    }
    return text;
}

} // namespace

const QList<CommandEntry> &commandTable()
{
    static const QList<CommandEntry> table = makeTable();
    return table;
}

const CommandEntry *commandFor(const QString &verb)
{
    const QList<CommandEntry> &table = commandTable();
    const auto found = std::find_if(table.cbegin(), table.cend(), [&](const CommandEntry &entry) {
        return entry.verbs.contains(verb);
    });
    return found == table.cend() ? nullptr : &*found;
}

QString usageText()
{
    return u"Usage: vellssh-cli COMMAND [ARGUMENTS]\n\n"
           u"PROFILE is a profile's uuid or its exact name.\n\n"_s +
           usageLines(CommandEntry::Section::store) +
           u"\nWith a running VellSSH (vellssh --headless):\n"_s +
           usageLines(CommandEntry::Section::daemon) + uR"(
Forwarding SPECs: -L [bind:]port:host:hostport, -R [bind:]port:host:hostport,
-R [bind:]port (reverse dynamic), -D [bind:]port; a socket path may stand for host:port,
IPv6 addresses go in brackets.
)"_s;
}
