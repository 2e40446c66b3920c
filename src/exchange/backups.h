#pragma once

#include "result.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <optional>

class ObjectContext;

// One backup file of a backup folder.
struct BackupFileInfo
{
    QString path;
    // The time in the file's name.
    QDateTime backupDate;
    std::optional<QDateTime> creationDate;
    std::optional<QDateTime> modificationDate;
    qint64 size = 0;
};

// "2025-05-02_14-03-09_+0100.velltunnel" for that time in a zone one hour east of UTC.
QString backupFileName(const QDateTime &time);
// The time of a backup file's name, or none when the name is not one.
std::optional<QDateTime> backupDateOf(const QString &fileName);

// One backup folder: its backup files, newest first, and pruning to the newest 100. Pruning
// runs on a worker of its own, one task after the other; files that are not backups are never
// touched.
class BackupFileManager
{
public:
    explicit BackupFileManager(QString directory);
    ~BackupFileManager();

    QString backupDirectory() const { return m_directory; }
    // Below 1, nothing is pruned.
    int maximumNumberOfBackupFiles = 100;

    // A folder that cannot be listed is an error, never an empty list.
    Result<QList<BackupFileInfo>> sortedBackupFileInfos() const;
    // Returns at once; the pruning runs on the worker.
    void deleteOldBackupFiles();
    // Waits for the worker's tasks (for an orderly end, and for tests).
    void waitForDone();

private:
    void prune() const;

    QString m_directory;
    QThreadPool m_worker;
};

// Writes the valid profiles (trashed ones too) as an export document into the manager's folder,
// then prunes. With no profile nothing is written. The path written, or the reason it failed.
Result<std::optional<QString>> performBackup(const ObjectContext &context,
                                             BackupFileManager &manager,
                                             const QDateTime &now = QDateTime::currentDateTime());

// The user's choice of backup folder (kept by the given functions, the settings in the
// application) and the manager for it. Backups are off without a folder.
class BackupModule : public QObject
{
    Q_OBJECT

public:
    using Load = std::function<std::optional<QString>()>;
    using Store = std::function<void(const std::optional<QString> &)>;

    BackupModule(Load load, Store store, QObject *parent = nullptr);
    ~BackupModule() override;

    std::optional<QString> directory() const;
    // Follows a folder chosen elsewhere (another process wrote the setting).
    void reload();
    // A folder that does not exist or cannot be written is refused with the reason, and
    // backups are then off, the kept choice cleared with them.
    Status setDirectory(const std::optional<QString> &directory);
    BackupFileManager *manager() const { return m_manager.get(); }
    std::optional<QDateTime> lastBackupTimestamp() const { return m_lastBackup; }

    // A backup of the context now, when a folder is chosen.
    Result<std::optional<QString>> backUp(const ObjectContext &context);

Q_SIGNALS:
    void changed();

private:
    void open(const std::optional<QString> &folder);

    Load m_load;
    Store m_store;
    std::unique_ptr<BackupFileManager> m_manager;
    std::optional<QDateTime> m_lastBackup;
};
