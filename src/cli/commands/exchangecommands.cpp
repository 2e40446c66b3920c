#include "exchangecommands.h"

#include "backups.h"
#include "foldersync.h"
#include "localized.h"
#include "namearguments.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileflags.h"
#include "profileimport.h"
#include "queries.h"
#include "settings.h"
#include "syncjournal.h"
#include "syncmirror.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

const QString standardInput = u"-"_s;

// Standard input whole, bounded as an imported file is: a pipe has no size to check first.
Result<QByteArray> readStandardInput(QIODevice *input)
{
    constexpr qint64 chunkBytes = 1 << 20;
    QByteArray bytes;
    while (input) {
        const QByteArray chunk = input->read(chunkBytes);
        if (chunk.isEmpty())
            break;
        bytes += chunk;
        if (bytes.size() > maxImportBytes)
            return Error(localized("Standard input holds more than %1 MiB, more than an import "
                                   "reads.")
                             .arg(maxImportBytes / (1024 * 1024)));
    }
    return bytes;
}

} // namespace

CommandHelp ExportCommand::help()
{
    return {u"export PROFILE... | --all -o FILE"_s,
            localized("Write profiles to an interchange file (.velltunnel)."),
            {},
            {{u"--all"_s, localized("every live profile")},
             {u"-o FILE"_s, localized("the file to write; “-” writes to standard output")}}};
}

Status ExportCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {u"-o"_s}, {u"--all"_s});
    if (!flags)
        return flags.error();
    m_all = flags->switches.contains(u"--all"_s);
    m_path = flags->values.value(u"-o"_s);
    if (m_path.isEmpty() || m_all == !flags->positionals.isEmpty())
        return Error(localized("export takes PROFILE... or --all, and -o FILE."));
    auto references = nameArguments(flags->positionals);
    if (!references)
        return references.error();
    m_references = *references;
    return std::nullopt;
}

int ExportCommand::run()
{
    QList<Profile *> profiles;
    if (m_all) {
        profiles = profilesIn(context(), SidebarItem::all());
    } else {
        auto named = resolveProfiles(context(), m_references);
        if (!named)
            return m_env.fail(named.error().message);
        profiles = *named;
    }
    if (m_path == u"-"_s) {
        m_env.out() << QString::fromUtf8(exportDocument({profiles.cbegin(), profiles.cend()}));
        return CliEnvironment::success;
    }
    if (Status error = writeExportFile(m_path, profiles))
        return m_env.fail(localized("“%1” could not be written: %2").arg(m_path, error->message));
    m_env.out() << (profiles.size() == 1
                        ? localized("1 profile exported to %1.").arg(m_path)
                        : localized("%1 profiles exported to %2.").arg(profiles.size()).arg(m_path))
                << Qt::endl;
    return CliEnvironment::success;
}

CommandHelp ImportCommand::help()
{
    return {u"import FILE [--replace | --skip]"_s,
            localized("Read profiles from an interchange file."),
            localized("A profile whose uuid is already in the library is replaced or skipped as "
                      "the options say, or as you answer for each. FILE “-” reads standard input, "
                      "which then cannot answer: give --replace or --skip."),
            {{u"--replace"_s, localized("replace every profile already there")},
             {u"--skip"_s, localized("skip every profile already there")}}};
}

Status ImportCommand::parse(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--replace"_s, u"--skip"_s});
    if (!flags)
        return flags.error();
    m_replace = flags->switches.contains(u"--replace"_s);
    m_skip = flags->switches.contains(u"--skip"_s);
    if (flags->positionals.size() != 1 || (m_replace && m_skip))
        return Error(localized("import takes one FILE and at most one of --replace and --skip."));
    m_path = flags->positionals.first();
    if (m_path == standardInput && !m_replace && !m_skip)
        return Error(localized("import - reads the profiles from standard input, so it needs "
                               "--replace or --skip."));
    return std::nullopt;
}

int ImportCommand::run()
{
    const ConflictPolicy policy = m_replace ? ConflictPolicy::replaceAll
                                  : m_skip  ? ConflictPolicy::skipAll
                                            : ConflictPolicy::ask;
    if (m_path != standardInput)
        return report(
            importProfiles(m_path, context(), policy, [this](const QString &name, bool offerAll) {
                return ask(name, offerAll);
            }));
    const Result<QByteArray> bytes = readStandardInput(m_env.in().device());
    if (!bytes)
        return m_env.fail(bytes.error().message);
    return report(importProfileDocument(*bytes, localized("standard input"), context(), policy));
}

int ImportCommand::report(const Result<ProfileImportResult> &result)
{
    if (!result)
        return m_env.fail(result.error().message);
    m_env.out() << result->message() << Qt::endl;
    for (const QString &renamed : result->renamed)
        m_env.out() << renamed << Qt::endl;
    for (const QString &problem : result->problems)
        m_env.err() << problem << Qt::endl;
    return CliEnvironment::success;
}

ConflictDecision ImportCommand::ask(const QString &name, bool offerApplyToAll)
{
    const QString answer = m_env.ask(
        conflictText(name) + u' ' +
        (offerApplyToAll ? localized("[Replace / Skip / Apply to All: replace all, skip all]")
                         : localized("[Replace / Skip]")));
    ConflictDecision decision;
    decision.replace = answer.startsWith(u'r');
    decision.applyToAll = answer.endsWith(u" all"_s);
    return decision;
}

CommandHelp BackupCommand::help()
{
    return {u"backup folder [PATH | --off] | now | list"_s,
            localized("Set up automatic backups, back up now, or list the backups."),
            localized("folder shows the backup folder, folder PATH turns automatic backups on, "
                      "folder --off turns them off; now writes a backup at once; list shows the "
                      "backups, newest first."),
            {}};
}

Status BackupCommand::parse(const QStringList &arguments)
{
    m_arguments = arguments;
    return std::nullopt;
}

int BackupCommand::run()
{
    const std::unique_ptr<BackupModule> backups = backupModule(m_env.settings());
    const QString sub = m_arguments.value(0);
    if (sub == u"folder"_s && m_arguments.size() <= 2)
        return folder(*backups);
    if (!backups->manager() && (sub == u"now"_s || sub == u"list"_s))
        return m_env.fail(localized("Automatic backups are off: choose a folder with "
                                    "vellssh-cli backup folder PATH."));
    if (sub == u"now"_s && m_arguments.size() == 1)
        return backUpNow(*backups);
    if (sub == u"list"_s && m_arguments.size() == 1)
        return list(*backups);
    return m_env.usageFailure(localized("backup takes folder [PATH | --off], now or list."));
}

int BackupCommand::folder(BackupModule &backups)
{
    if (m_arguments.size() == 1) {
        m_env.out() << backups.directory().value_or(localized("Automatic backups are off."))
                    << Qt::endl;
        return CliEnvironment::success;
    }
    const QString value = m_arguments.at(1);
    if (Status error =
            backups.setDirectory(value == u"--off"_s ? std::nullopt : std::optional(value)))
        return m_env.fail(error->message);
    return CliEnvironment::success;
}

int BackupCommand::backUpNow(BackupModule &backups)
{
    const auto written = backups.backUp(context());
    if (!written)
        return m_env.fail(written.error().message);
    backups.manager()->waitForDone();
    m_env.out() << written->value_or(localized("The library is empty: nothing was written."))
                << Qt::endl;
    return CliEnvironment::success;
}

int BackupCommand::list(BackupModule &backups)
{
    const auto infos = backups.manager()->sortedBackupFileInfos();
    if (!infos)
        return m_env.fail(infos.error().message);
    for (const BackupFileInfo &info : *infos)
        m_env.out() << info.backupDate.toString(Qt::ISODate) << u'\t' << info.size << u'\t'
                    << info.path << Qt::endl;
    return CliEnvironment::success;
}

CommandHelp SyncCommand::help()
{
    return {u"sync folder [PATH | --off] | now | status"_s,
            localized("Share the library with other machines through a synced folder."),
            localized("folder shows the sync folder, folder PATH turns sync on, folder --off "
                      "turns it off; now runs a sync pass at once; status shows this device, "
                      "the folder, the other devices and the last pass."),
            {}};
}

Status SyncCommand::parse(const QStringList &arguments)
{
    m_arguments = arguments;
    return std::nullopt;
}

int SyncCommand::run()
{
    Settings &settings = m_env.settings();
    const QString sub = m_arguments.value(0);
    if (sub == u"folder"_s && m_arguments.size() == 2)
        return setFolder(m_arguments.at(1));
    if (sub == u"folder"_s && m_arguments.size() == 1)
        return showFolder();
    if ((sub != u"now"_s && sub != u"status"_s) || m_arguments.size() != 1)
        return m_env.usageFailure(localized("sync takes folder [PATH | --off], now or status."));
    auto mirror = syncMirror(settings);
    if (!mirror)
        return m_env.fail(mirror.error().message);
    return sub == u"now"_s ? pass(**mirror) : status(**mirror);
}

int SyncCommand::setFolder(const QString &folder)
{
    Settings &settings = m_env.settings();
    const Status problem = folder == u"--off"_s ? settings.set(SettingKeys::iCloudSync, false)
                                                : turnSyncOn(settings, folder);
    return problem ? m_env.fail(problem->message) : CliEnvironment::success;
}

int SyncCommand::showFolder()
{
    const Settings &settings = m_env.settings();
    m_env.out() << (settings.get(SettingKeys::iCloudSync)
                        ? settings.get(SettingKeys::syncFolderPath).value_or(QString())
                        : localized("Sync is off."))
                << Qt::endl;
    return CliEnvironment::success;
}

int SyncCommand::pass(SyncMirror &mirror)
{
    const auto report = mirror.pass(context());
    if (!report)
        return m_env.fail(report.error().message);
    m_env.out()
        << localized("%1 records written, %2 applied.").arg(report->written).arg(report->applied)
        << Qt::endl;
    for (const QString &problem : report->problems)
        m_env.err() << problem << Qt::endl;
    return CliEnvironment::success;
}

int SyncCommand::status(SyncMirror &mirror)
{
    const Status unreadable = mirror.readState();
    const QString folder = m_env.settings().get(SettingKeys::syncFolderPath).value_or(QString());
    QStringList others = journalDevices(folder).devices;
    others.removeAll(mirror.device());
    const std::optional<QDateTime> last = mirror.lastPass();
    QTextStream &out = m_env.out();
    out << localized("Device: ") << mirror.device() << Qt::endl
        << localized("Folder: ") << folder << Qt::endl
        << localized("Other devices: ") << others.join(u", "_s) << Qt::endl
        << localized("Last pass: ")
        << (last ? last->toOffsetFromUtc(last->offsetFromUtc()).toString(Qt::ISODate)
                 : localized("never"))
        << Qt::endl;
    if (!QFileInfo(folder).isDir())
        out << localized("Paused: the folder is not there.") << Qt::endl;
    if (unreadable)
        out << localized("Problem: ") << unreadable->message << Qt::endl;
    for (const QString &problem : mirror.lastProblems())
        out << localized("Problem: ") << problem << Qt::endl;
    return CliEnvironment::success;
}
