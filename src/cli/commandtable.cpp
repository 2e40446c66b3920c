#include "commandtable.h"

#include "commands/connectcommands.h"
#include "commands/editcommands.h"
#include "commands/exchangecommands.h"
#include "commands/helpcommand.h"
#include "commands/monitorcommands.h"
#include "commands/opencommand.h"
#include "commands/profilescommands.h"
#include "commands/settingscommand.h"
#include "commands/tagcommand.h"
#include "commands/viewcommands.h"
#include "localized.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

using Section = CommandEntry::Section;

template<class Command>
CommandEntry entry(const QString &verb, Section section = Section::store)
{
    return {verb, Command::help(), section,
            [](const QString &, CliEnvironment &env) { return std::make_unique<Command>(env); }};
}

CommandEntry connectEntry(const QString &verb)
{
    return {verb, ConnectCommand::help(verb), Section::daemon,
            [](const QString &verb, CliEnvironment &env) {
                return std::make_unique<ConnectCommand>(env, verb);
            }};
}

CommandEntry pinEntry(bool pin)
{
    return {pin ? u"pin"_s : u"unpin"_s, PinCommand::help(pin), Section::store,
            [pin](const QString &, CliEnvironment &env) {
                return std::make_unique<PinCommand>(env, pin);
            }};
}

QList<CommandEntry> makeTable()
{
    return {
        entry<HelpCommand>(u"help"_s, Section::general),
        entry<ListCommand>(u"list"_s),
        entry<ShowCommand>(u"show"_s),
        entry<AddCommand>(u"add"_s),
        entry<EditCommand>(u"edit"_s),
        entry<InvocationCommand>(u"command"_s),
        entry<TrashCommand>(u"trash"_s),
        entry<RecoverCommand>(u"recover"_s),
        entry<DuplicateCommand>(u"duplicate"_s),
        pinEntry(true),
        pinEntry(false),
        entry<DeleteCommand>(u"delete"_s),
        entry<TagCommand>(u"tag"_s),
        entry<SettingsCommand>(u"settings"_s),
        entry<ExportCommand>(u"export"_s),
        entry<ImportCommand>(u"import"_s),
        entry<BackupCommand>(u"backup"_s),
        entry<SyncCommand>(u"sync"_s),
        connectEntry(u"connect"_s),
        connectEntry(u"disconnect"_s),
        entry<ReconnectCommand>(u"reconnect"_s, Section::daemon),
        entry<StatusCommand>(u"status"_s, Section::daemon),
        entry<LogCommand>(u"log"_s, Section::daemon),
        entry<OpenCommand>(u"open"_s, Section::daemon),
    };
}

QString summaryLines(Section section)
{
    qsizetype width = 0;
    for (const CommandEntry &command : commandTable())
        width = std::max(width, command.verb.size());
    QString text;
    for (const CommandEntry &command : commandTable()) {
        if (command.section == section)
            text += u"  "_s + command.verb.leftJustified(width + 2) + command.help.summary + u'\n';
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
    const auto found = std::find_if(table.cbegin(), table.cend(),
                                    [&](const CommandEntry &entry) { return entry.verb == verb; });
    return found == table.cend() ? nullptr : &*found;
}

QString overviewText()
{
    return usageLines(u"COMMAND [ARGUMENTS]\n--help | --version"_s) + u'\n' +
           localized("Manages the SSH tunnels of VellSSH. PROFILE is a profile’s uuid or its "
                     "exact name.") +
           u"\n\n"_s + summaryLines(Section::general) + u'\n' +
           localized("Commands on the profile store:") + u'\n' + summaryLines(Section::store) +
           u'\n' + localized("Commands for a running VellSSH (vellssh or vellssh --headless):") +
           u'\n' + summaryLines(Section::daemon) + u'\n' +
           localized("Run 'vellssh-cli help COMMAND' for a command’s options.") + u'\n';
}
