// vellssh-cli export, import, backup and sync: profiles in files and folders.
#include "cli.h"

#include "backups.h"
#include "foldersync.h"
#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileflags.h"
#include "profileimport.h"
#include "queries.h"
#include "settings.h"
#include "syncmirror.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

int Cli::exportProfiles(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {u"-o"_s}, {u"--all"_s});
    if (!flags)
        return usageFailure(flags.error().message);
    const bool all = flags->switches.contains(u"--all"_s);
    const QString path = flags->values.value(u"-o"_s);
    if (path.isEmpty() || all == !flags->positionals.isEmpty())
        return usageFailure(localized("export takes PROFILE... or --all, and -o FILE."));
    QList<Profile *> profiles;
    if (all) {
        profiles = profilesIn(context(), SidebarItem::all());
    } else {
        auto named = resolveAll(flags->positionals, Scope::live);
        if (!named)
            return fail(named.error().message);
        profiles = *named;
    }
    if (Status error = writeExportFile(path, profiles))
        return fail(localized("“%1” could not be written: %2").arg(path, error->message));
    m_out << (profiles.size() == 1
                  ? localized("1 profile exported to %1.").arg(path)
                  : localized("%1 profiles exported to %2.").arg(profiles.size()).arg(path))
          << Qt::endl;
    return success;
}

int Cli::importFile(const QStringList &arguments)
{
    auto flags = parseSimpleFlags(arguments, {}, {u"--replace"_s, u"--skip"_s});
    if (!flags)
        return usageFailure(flags.error().message);
    const bool replace = flags->switches.contains(u"--replace"_s);
    const bool skip = flags->switches.contains(u"--skip"_s);
    if (flags->positionals.size() != 1 || (replace && skip))
        return usageFailure(localized("import takes one FILE and at most one of --replace and "
                                      "--skip."));
    const ConflictPolicy policy = replace ? ConflictPolicy::replaceAll
                                  : skip  ? ConflictPolicy::skipAll
                                          : ConflictPolicy::ask;
    auto ask = [this](const QString &name, bool offerApplyToAll) {
        m_out << conflictText(name) << u' '
              << (offerApplyToAll ? localized("[Replace / Skip / Apply to All: replace all, "
                                              "skip all]")
                                  : localized("[Replace / Skip]"))
              << u' ';
        m_out.flush();
        const QString answer = m_in.readLine().trimmed().toLower();
        ConflictDecision decision;
        decision.replace = answer.startsWith(u'r');
        decision.applyToAll = answer.endsWith(u" all"_s);
        return decision;
    };
    const auto result = importProfiles(flags->positionals.first(), context(), policy, ask);
    if (!result)
        return fail(result.error().message);
    m_out << result->message() << Qt::endl;
    for (const QString &renamed : result->renamed)
        m_out << renamed << Qt::endl;
    for (const QString &problem : result->problems)
        m_err << problem << Qt::endl;
    return success;
}

int Cli::backup(const QStringList &arguments)
{
    const std::unique_ptr<BackupModule> module = backupModule(settingsStore());
    BackupModule &backups = *module;
    const QString sub = arguments.value(0);
    if (sub == u"folder"_s && arguments.size() <= 2) {
        if (arguments.size() == 1) {
            m_out << backups.directory().value_or(localized("Automatic backups are off."))
                  << Qt::endl;
            return success;
        }
        const QString value = arguments.at(1);
        if (Status error =
                backups.setDirectory(value == u"--off"_s ? std::nullopt : std::optional(value)))
            return fail(error->message);
        return success;
    }
    if (!backups.manager() && (sub == u"now"_s || sub == u"list"_s))
        return fail(localized("Automatic backups are off: choose a folder with "
                              "vellssh-cli backup folder PATH."));
    if (sub == u"now"_s && arguments.size() == 1) {
        const auto written = backups.backUp(context());
        if (!written)
            return fail(written.error().message);
        backups.manager()->waitForDone();
        m_out << written->value_or(localized("The library is empty: nothing was written."))
              << Qt::endl;
        return success;
    }
    if (sub == u"list"_s && arguments.size() == 1) {
        const auto infos = backups.manager()->sortedBackupFileInfos();
        if (!infos)
            return fail(infos.error().message);
        for (const BackupFileInfo &info : *infos)
            m_out << info.backupDate.toString(Qt::ISODate) << u'\t' << info.size << u'\t'
                  << info.path << Qt::endl;
        return success;
    }
    return usageFailure(localized("backup takes folder [PATH | --off], now or list."));
}

int Cli::sync(const QStringList &arguments)
{
    Settings &settings = settingsStore();
    const QString sub = arguments.value(0);
    if (sub == u"folder"_s && arguments.size() == 2) {
        if (arguments.at(1) == u"--off"_s) {
            if (Status error = settings.set(SettingKeys::iCloudSync, false))
                return fail(error->message);
            return success;
        }
        if (Status problem = turnSyncOn(settings, arguments.at(1)))
            return fail(problem->message);
        return success;
    }
    if (sub == u"folder"_s && arguments.size() == 1) {
        m_out << (settings.get(SettingKeys::iCloudSync)
                      ? settings.get(SettingKeys::syncFolderPath).value_or(QString())
                      : localized("Sync is off."))
              << Qt::endl;
        return success;
    }
    if ((sub != u"now"_s && sub != u"status"_s) || arguments.size() != 1)
        return usageFailure(localized("sync takes folder [PATH | --off], now or status."));
    auto mirror = syncMirror(settings);
    if (!mirror)
        return fail(mirror.error().message);
    if (sub == u"now"_s) {
        const auto report = (*mirror)->pass(context());
        if (!report)
            return fail(report.error().message);
        m_out << localized("%1 records written, %2 applied.")
                     .arg(report->written)
                     .arg(report->applied)
              << Qt::endl;
        for (const QString &problem : report->problems)
            m_err << problem << Qt::endl;
        return success;
    }
    const Status unreadable = (*mirror)->readState();
    const QString folder = settings.get(SettingKeys::syncFolderPath).value_or(QString());
    QStringList others = journalDevices(folder).devices;
    others.removeAll((*mirror)->device());
    m_out << localized("Device: ") << (*mirror)->device() << Qt::endl
          << localized("Folder: ") << folder << Qt::endl
          << localized("Other devices: ") << others.join(u", "_s) << Qt::endl
          << localized("Last pass: ")
          << ((*mirror)->lastPass() ? (*mirror)
                                          ->lastPass()
                                          ->toOffsetFromUtc((*mirror)->lastPass()->offsetFromUtc())
                                          .toString(Qt::ISODate)
                                    : localized("never"))
          << Qt::endl;
    if (!QFileInfo(folder).isDir())
        m_out << localized("Paused: the folder is not there.") << Qt::endl;
    if (unreadable)
        m_out << localized("Problem: ") << unreadable->message << Qt::endl;
    for (const QString &problem : (*mirror)->lastProblems())
        m_out << localized("Problem: ") << problem << Qt::endl;
    return success;
}
