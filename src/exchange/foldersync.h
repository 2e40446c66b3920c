#pragma once

#include "result.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>

#include <memory>

class BackupModule;
class PersistenceController;
class Settings;
class SyncMirror;
struct SyncReport;

// The backup module with its folder kept in the settings ("sync_folder_bookmark").
std::unique_ptr<BackupModule> backupModule(Settings &settings);

// The sync mirror that the settings ask for: on ("icloud_sync"), its folder
// ("sync_folder_path"), this device's id ("sync_device_id", made on first use) and the state
// file beside the store. Off, or on without a folder (the "not signed in" case), gives the
// reason.
Result<std::unique_ptr<SyncMirror>> syncMirror(Settings &settings);
QString syncStatePath();
// Sync is on but its folder cannot be used now (none chosen, gone, not writable): why. Nothing
// when sync is off or the folder is fine.
Status syncFolderProblem(Settings &settings);
// Turns sync on with the folder, or says why it cannot be used; the settings stay as they
// were then.
Status turnSyncOn(Settings &settings, const QString &folder);

// Keeps the library in step with the sync folder while the application runs. A pass follows
// shortly after each change made on this machine and each change that the folder watcher
// sees in the other devices' journals, and every minute one more when their journals changed
// without the watcher noticing (folders on network file systems). Passes run one at a time on a
// thread of their own, each on a freshly loaded context; what they apply reaches the main context
// through the store's history like any other process's changes.
class FolderSync : public QObject
{
    Q_OBJECT

public:
    static constexpr int quietMs = 150;
    static constexpr int sweepMs = 60'000;

    FolderSync(Settings &settings, PersistenceController &store, QObject *parent = nullptr);
    ~FolderSync() override;

    bool isOn() const { return m_sweep.isActive(); }
    // Follows "icloud_sync", at start and on every change; on without a folder, the passes
    // say "not signed in" and the store is left as it is.
    void setCloudSyncEnabled(bool enabled);
    void passSoon();

Q_SIGNALS:
    void passed(int written, int applied);
    // The pass could not run: the folder is gone (sync pauses), the store failed.
    void failed(const QString &message);

private:
    void followSettings();
    void unwatch();
    void startPass();
    void passEnded(const Result<SyncReport> &report);
    void watchJournals();
    QFileInfoList otherDevicesEntries() const;
    QStringList journalsSeen() const;

    Settings &m_settings;
    PersistenceController &m_store;
    QFileSystemWatcher m_watcher;
    QTimer m_quiet;
    QTimer m_sweep;
    QThread m_thread;
    std::unique_ptr<QObject> m_worker;
    QString m_folder;
    QString m_device;
    bool m_passing = false;
    bool m_again = false;
    QString m_lastFailure;
    QStringList m_seen;
};
