#pragma once

#include <QWidget>

class BackupModule;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class VellAppDelegate;

// Sync through a folder ("icloud_sync" with "sync_folder_path") and automatic backups into a
// folder ("sync_folder_bookmark"). Folders are checked by the core, which says why one is
// refused; the page shows that in an alert and the switches what the settings hold.
class SyncSettingsPage : public QWidget
{
    Q_OBJECT

public:
    static constexpr int shownBackups = 10;

    explicit SyncSettingsPage(VellAppDelegate &app, QWidget *parent = nullptr);

    QCheckBox *syncSwitch() const { return m_sync; }
    QLineEdit *syncFolder() const { return m_syncFolder; }
    QLabel *syncStatus() const { return m_syncStatus; }
    QCheckBox *backupSwitch() const { return m_backup; }
    QLineEdit *backupFolder() const { return m_backupFolder; }
    QPushButton *backUpNowButton() const { return m_backUpNow; }
    QLabel *backupStatus() const { return m_backupStatus; }
    QListWidget *backupList() const { return m_backupList; }

    void useSyncFolder(const QString &folder);
    void useBackupFolder(const std::optional<QString> &folder);
    void backUpNow();

private:
    QWidget *makeSyncGroup();
    QWidget *makeBackupGroup();
    void syncToggled(bool on);
    void backupToggled(bool on);
    void showSyncSettings();
    void showBackups();

    VellAppDelegate &m_app;
    BackupModule &m_backups;
    QCheckBox *m_sync = nullptr;
    QLineEdit *m_syncFolder = nullptr;
    QPushButton *m_chooseSyncFolder = nullptr;
    QLabel *m_syncStatus = nullptr;
    QCheckBox *m_backup = nullptr;
    QLineEdit *m_backupFolder = nullptr;
    QPushButton *m_chooseBackupFolder = nullptr;
    QPushButton *m_backUpNow = nullptr;
    QLabel *m_backupStatus = nullptr;
    QListWidget *m_backupList = nullptr;
};
