#pragma once

#include "result.h"

#include <QString>

#include <memory>

class BackupModule;
class Settings;
class SyncMirror;

// The backup module with its folder kept in the settings ("sync_folder_bookmark").
std::unique_ptr<BackupModule> backupModule(Settings &settings);

// The sync mirror that the settings ask for: on ("icloud_sync"), a folder that is there
// ("sync_folder_path"), this device's id ("sync_device_id", made on first use) and the state
// file beside the store. Off, or on without a usable folder (the "not signed in" case), gives
// the reason.
Result<std::unique_ptr<SyncMirror>> syncMirror(Settings &settings);
QString syncStatePath();
// Turns sync on with the folder, or says why it cannot be used; the settings stay as they
// were then.
Status turnSyncOn(Settings &settings, const QString &folder);
