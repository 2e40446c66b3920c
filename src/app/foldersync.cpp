#include "foldersync.h"

#include "backups.h"
#include "localized.h"
#include "persistencecontroller.h"
#include "settings.h"
#include "syncmirror.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

Status usableFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir() || !info.isWritable())
        return Error(localized("Not signed in to a sync folder: “%1” is not a folder that can "
                               "be written. Choose one with: vellssh-cli sync folder PATH")
                         .arg(folder));
    return std::nullopt;
}

} // namespace

std::unique_ptr<BackupModule> backupModule(Settings &settings)
{
    return std::make_unique<BackupModule>(
        [&settings] { return settings.get(SettingKeys::syncFolderBookmark); },
        [&settings](const std::optional<QString> &folder) {
            settings.set(SettingKeys::syncFolderBookmark, folder);
        });
}

QString syncStatePath()
{
    return QFileInfo(PersistenceController::defaultStorePath()).absolutePath() +
           u"/sync-state.json"_s;
}

Result<std::unique_ptr<SyncMirror>> syncMirror(Settings &settings)
{
    if (!settings.get(SettingKeys::iCloudSync))
        return Error(localized("Sync is off. Turn it on with: vellssh-cli sync folder PATH"));
    const QString folder = settings.get(SettingKeys::syncFolderPath).value_or(QString());
    if (Status problem = usableFolder(folder))
        return *problem;
    std::optional<QString> device = settings.get(SettingKeys::syncDeviceID);
    if (!device) {
        device = SyncMirror::newDeviceId();
        settings.set(SettingKeys::syncDeviceID, device);
    }
    return std::make_unique<SyncMirror>(folder, syncStatePath(), *device);
}

Status turnSyncOn(Settings &settings, const QString &folder)
{
    const QString absolute = QFileInfo(folder).absoluteFilePath();
    if (Status problem = usableFolder(absolute))
        return problem;
    settings.set(SettingKeys::syncFolderPath, std::optional(absolute));
    settings.set(SettingKeys::iCloudSync, true);
    return std::nullopt;
}
