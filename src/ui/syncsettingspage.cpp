#include "syncsettingspage.h"

#include "backups.h"
#include "foldersync.h"
#include "localized.h"
#include "locationssettingspage.h"
#include "pathchooser.h"
#include "persistencecontroller.h"
#include "settings.h"
#include "settingsalert.h"
#include "vellappdelegate.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QLineEdit *folderLine(const QString &accessibleName)
{
    auto *line = new QLineEdit;
    line->setReadOnly(true);
    line->setAccessibleName(accessibleName);
    line->setPlaceholderText(localized("No folder chosen"));
    return line;
}

QHBoxLayout *besideEachOther(QWidget *a, QWidget *b)
{
    auto *row = new QHBoxLayout;
    row->addWidget(a, 1);
    row->addWidget(b);
    return row;
}

// The core's message names its title for the log and the command line; here the alert's
// title says it.
Error withoutTitle(Error error, const QString &title)
{
    const QString prefix = title + u": "_s;
    if (error.message.startsWith(prefix))
        error.message = error.message.mid(prefix.size());
    return error;
}

QString backupText(const BackupFileInfo &info)
{
    const QLocale locale;
    return localized("%1 (%2)").arg(
        locale.toString(info.backupDate.toLocalTime(), QLocale::LongFormat),
        locale.formattedDataSize(info.size));
}

} // namespace

SyncSettingsPage::SyncSettingsPage(VellAppDelegate &app, QWidget *parent)
    : QWidget(parent), m_app(app), m_backups(app.backups())
{
    setObjectName(u"syncSettings"_s);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(makeSyncGroup());
    layout->addWidget(makeBackupGroup(), 1);

    Settings &settings = app.settings();
    settings.updates<bool>(SettingKeys::iCloudSync, this, [this](bool) { showSyncSettings(); });
    settings.updates<std::optional<QString>>(SettingKeys::syncFolderPath, this,
                                             [this](const auto &) { showSyncSettings(); });
    connect(&app.folderSync(), &FolderSync::failed, m_syncStatus, &QLabel::setText);
    connect(&app.folderSync(), &FolderSync::passed, m_syncStatus,
            [this] { m_syncStatus->setText(localized("In step with the sync folder.")); });
    connect(&m_backups, &BackupModule::changed, this, &SyncSettingsPage::showBackups);
    showBackups();
}

QWidget *SyncSettingsPage::makeSyncGroup()
{
    m_sync = new QCheckBox(localized("Sync profiles through a folder"));
    m_sync->setObjectName(u"syncSwitch"_s);
    m_syncFolder = folderLine(localized("Sync folder"));
    m_chooseSyncFolder = new QPushButton(localized("Choose…"));
    m_chooseSyncFolder->setAccessibleName(localized("Choose the sync folder"));
    m_syncStatus = new QLabel;
    m_syncStatus->setWordWrap(true);
    connect(m_sync, &QCheckBox::toggled, this, &SyncSettingsPage::syncToggled);
    connect(m_chooseSyncFolder, &QPushButton::clicked, this, [this] {
        choosePath(this, QFileDialog::Directory, localized("Choose the Sync Folder"),
                   m_syncFolder->text(), [this](const QString &folder) { useSyncFolder(folder); });
    });

    auto *box = new QGroupBox(localized("Sync"));
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(m_sync);
    layout->addWidget(explanationLabel(
        localized("Choose a folder that your file sync program keeps the same on all your "
                  "machines. Each machine writes its own changes there and reads the others’.")));
    layout->addLayout(besideEachOther(m_syncFolder, m_chooseSyncFolder));
    layout->addWidget(m_syncStatus);
    return box;
}

QWidget *SyncSettingsPage::makeBackupGroup()
{
    m_backup = new QCheckBox(localized("Enable automatic backups"));
    m_backup->setObjectName(u"backupSwitch"_s);
    m_backupFolder = folderLine(localized("Backup folder"));
    m_chooseBackupFolder = new QPushButton(localized("Choose…"));
    m_chooseBackupFolder->setAccessibleName(localized("Choose the backup folder"));
    m_backUpNow = new QPushButton(localized("Back Up Now"));
    m_backupStatus = new QLabel;
    m_backupStatus->setWordWrap(true);
    m_backupList = new QListWidget;
    m_backupList->setObjectName(u"backupList"_s);
    m_backupList->setAccessibleName(localized("Newest backups"));
    m_backupList->setMinimumHeight(90);
    connect(m_backup, &QCheckBox::toggled, this, &SyncSettingsPage::backupToggled);
    connect(m_chooseBackupFolder, &QPushButton::clicked, this, [this] {
        choosePath(this, QFileDialog::Directory, localized("Select a Folder for Automatic Backups"),
                   m_backupFolder->text(),
                   [this](const QString &folder) { useBackupFolder(folder); });
    });
    connect(m_backUpNow, &QPushButton::clicked, this, &SyncSettingsPage::backUpNow);

    auto *box = new QGroupBox(localized("Backups"));
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(m_backup);
    layout->addWidget(explanationLabel(localized("Select a folder for automatic backups.")));
    layout->addLayout(besideEachOther(m_backupFolder, m_chooseBackupFolder));
    layout->addLayout(besideEachOther(m_backupStatus, m_backUpNow));
    auto *listLabel = new QLabel(localized("Newest backups:"));
    listLabel->setBuddy(m_backupList);
    layout->addWidget(listLabel);
    layout->addWidget(m_backupList, 1);
    return box;
}

void SyncSettingsPage::syncToggled(bool on)
{
    if (!on) {
        if (Status error = m_app.settings().set(SettingKeys::iCloudSync, false))
            showSettingsAlert(this, localized("Settings Error"), *error);
        showSyncSettings();
        return;
    }
    const QString folder = m_app.settings().get(SettingKeys::syncFolderPath).value_or(QString());
    if (!folder.isEmpty())
        return useSyncFolder(folder);
    QFileDialog *chooser =
        choosePath(this, QFileDialog::Directory, localized("Choose the Sync Folder"), {},
                   [this](const QString &chosen) { useSyncFolder(chosen); });
    // A chooser closed without a folder leaves sync as it was: off.
    connect(chooser, &QDialog::finished, this, &SyncSettingsPage::showSyncSettings);
}

void SyncSettingsPage::useSyncFolder(const QString &folder)
{
    if (Status error = turnSyncOn(m_app.settings(), folder))
        showSettingsAlert(this, localized("Sync Folder Error"), *error);
    showSyncSettings();
}

void SyncSettingsPage::showSyncSettings()
{
    const Settings &settings = m_app.settings();
    const QSignalBlocker quiet(m_sync);
    m_sync->setChecked(settings.get(SettingKeys::iCloudSync));
    m_syncFolder->setText(
        abbreviatingTilde(settings.get(SettingKeys::syncFolderPath).value_or(QString())));
    if (!m_sync->isChecked())
        m_syncStatus->clear();
}

void SyncSettingsPage::backupToggled(bool on)
{
    if (!on)
        return useBackupFolder(std::nullopt);
    QFileDialog *chooser =
        choosePath(this, QFileDialog::Directory, localized("Select a Folder for Automatic Backups"),
                   {}, [this](const QString &folder) { useBackupFolder(folder); });
    connect(chooser, &QDialog::finished, this, &SyncSettingsPage::showBackups);
}

void SyncSettingsPage::useBackupFolder(const std::optional<QString> &folder)
{
    const QString title = localized("Auto Backup Error");
    if (Status error = m_backups.setDirectory(folder))
        showSettingsAlert(this, title, withoutTitle(*error, title));
    showBackups();
}

void SyncSettingsPage::backUpNow()
{
    const auto written = m_backups.backUp(*m_app.store().mainContext());
    if (!written) {
        const QString title = localized("Auto Backup Error");
        showSettingsAlert(this, title, withoutTitle(written.error(), title));
    } else if (!*written) {
        m_backupStatus->setText(localized("There are no profiles to back up."));
    }
    showBackups();
}

void SyncSettingsPage::showBackups()
{
    const std::optional<QString> folder = m_backups.directory();
    {
        const QSignalBlocker quiet(m_backup);
        m_backup->setChecked(folder.has_value());
    }
    m_backupFolder->setText(abbreviatingTilde(folder.value_or(QString())));
    m_backUpNow->setEnabled(folder.has_value());
    if (const std::optional<QDateTime> last = m_backups.lastBackupTimestamp())
        m_backupStatus->setText(
            localized("Last backup: %1").arg(QLocale().toString(*last, QLocale::ShortFormat)));
    else if (!folder)
        m_backupStatus->clear();

    m_backupList->clear();
    BackupFileManager *manager = m_backups.manager();
    if (!manager)
        return;
    const auto infos = manager->sortedBackupFileInfos();
    if (!infos) {
        m_backupStatus->setText(infos.error().message);
        return;
    }
    for (const BackupFileInfo &info : infos->mid(0, shownBackups)) {
        auto *item = new QListWidgetItem(backupText(info), m_backupList);
        item->setToolTip(info.path);
        item->setData(Qt::UserRole, info.path);
    }
}
