#include "foldersync.h"

#include "backups.h"
#include "localized.h"
#include "objectcontext.h"
#include "persistencecontroller.h"
#include "persistenthistorykit.h"
#include "settings.h"
#include "syncmirror.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcSync, "io.vellssh.sync")

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
            if (Status error = settings.set(SettingKeys::syncFolderBookmark, folder))
                qWarning("%s", qPrintable(error->message));
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
    // A folder that was usable once and is gone now pauses sync; the passes say so.
    const QString folder = settings.get(SettingKeys::syncFolderPath).value_or(QString());
    if (folder.isEmpty())
        return *usableFolder(folder);
    std::optional<QString> device = settings.get(SettingKeys::syncDeviceID);
    if (!device) {
        device = SyncMirror::newDeviceId();
        if (Status error = settings.set(SettingKeys::syncDeviceID, device))
            return *error;
    }
    return std::make_unique<SyncMirror>(folder, syncStatePath(), *device);
}

Status syncFolderProblem(Settings &settings)
{
    if (!settings.get(SettingKeys::iCloudSync))
        return std::nullopt;
    const QString folder = settings.get(SettingKeys::syncFolderPath).value_or(QString());
    if (folder.isEmpty())
        return Error(localized("Sync is on, but no sync folder is chosen."));
    const QFileInfo info(folder);
    if (!info.exists())
        return Error(localized("The sync folder “%1” is missing.").arg(folder));
    if (!info.isDir() || !info.isWritable())
        return Error(localized("The sync folder “%1” cannot be written.").arg(folder));
    return std::nullopt;
}

Status turnSyncOn(Settings &settings, const QString &folder)
{
    const QString absolute = QFileInfo(folder).absoluteFilePath();
    if (Status problem = usableFolder(absolute))
        return problem;
    if (Status error = settings.set(SettingKeys::syncFolderPath, std::optional(absolute)))
        return error;
    return settings.set(SettingKeys::iCloudSync, true);
}

FolderSync::FolderSync(Settings &settings, PersistenceController &store, QObject *parent)
    : QObject(parent), m_settings(settings), m_store(store), m_worker(std::make_unique<QObject>())
{
    m_thread.setObjectName(u"io.vellssh.sync"_s);
    m_worker->moveToThread(&m_thread);
    m_thread.start();

    m_quiet.setSingleShot(true);
    m_quiet.setInterval(quietMs);
    connect(&m_quiet, &QTimer::timeout, this, &FolderSync::startPass);
    m_sweep.setInterval(sweepMs);
    // Local changes always call a pass; the sweep looks for journals that changed unseen, and
    // retries while the folder is away.
    connect(&m_sweep, &QTimer::timeout, this, [this] {
        if (!m_lastFailure.isEmpty() || journalsSeen() != m_seen)
            passSoon();
    });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FolderSync::passSoon);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &FolderSync::passSoon);

    connect(store.mainContext(), &ObjectContext::didSave, this, &FolderSync::passSoon);
    if (PersistentHistoryKit *history = store.historyKit()) {
        // What the command line saved goes out; what the passes applied came in.
        connect(history, &PersistentHistoryKit::transactionsMerged, this,
                [this](const QList<HistoryTransaction> &transactions) {
                    for (const HistoryTransaction &transaction : transactions) {
                        if (transaction.author != SyncMirror::author)
                            return passSoon();
                    }
                });
    }
    settings.updates<bool>(SettingKeys::iCloudSync, this, [this](bool) { followSettings(); });
    settings.updates<std::optional<QString>>(SettingKeys::syncFolderPath, this,
                                             [this](const auto &) { followSettings(); });
}

FolderSync::~FolderSync()
{
    // A pass under way finishes first; the worker then goes with its ended thread.
    m_thread.quit();
    m_thread.wait();
}

void FolderSync::followSettings()
{
    const QString folder = m_settings.get(SettingKeys::syncFolderPath).value_or(QString());
    if (folder != m_folder) {
        m_folder = folder;
        m_lastFailure.clear();
        unwatch();
        passSoon();
    }
    setCloudSyncEnabled(m_settings.get(SettingKeys::iCloudSync));
}

void FolderSync::setCloudSyncEnabled(bool enabled)
{
    if (enabled == isOn())
        return;
    if (!enabled) {
        m_sweep.stop();
        m_quiet.stop();
        unwatch();
        return;
    }
    m_lastFailure.clear();
    m_sweep.start();
    passSoon();
}

void FolderSync::unwatch()
{
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    if (!m_watcher.directories().isEmpty())
        m_watcher.removePaths(m_watcher.directories());
}

void FolderSync::passSoon()
{
    if (isOn())
        m_quiet.start();
}

void FolderSync::startPass()
{
    if (m_passing) {
        m_again = true;
        return;
    }
    auto made = syncMirror(m_settings);
    if (!made)
        return passEnded(made.error());
    std::shared_ptr<SyncMirror> mirror = std::move(made).value();
    m_device = mirror->device();
    // Watched before the pass reads: whatever lands while it runs calls the next one.
    watchJournals();
    m_seen = journalsSeen();
    m_passing = true;
    PersistenceController *store = &m_store;
    QMetaObject::invokeMethod(m_worker.get(), [this, mirror, store] {
        auto context = store->newContext();
        Result<SyncReport> report =
            context ? mirror->pass(**context) : Result<SyncReport>(context.error());
        QMetaObject::invokeMethod(this, [this, report] { passEnded(report); });
    });
}

void FolderSync::passEnded(const Result<SyncReport> &report)
{
    m_passing = false;
    watchJournals();
    if (!report) {
        // Said once, not once a minute while the folder stays away.
        if (report.error().message != std::exchange(m_lastFailure, report.error().message))
            qCWarning(lcSync).noquote() << report.error().message;
        Q_EMIT failed(report.error().message);
    } else {
        if (!m_lastFailure.isEmpty())
            qCInfo(lcSync).noquote() << "the sync folder is usable again";
        m_lastFailure.clear();
        for (const QString &problem : report->problems)
            qCWarning(lcSync).noquote() << problem;
        Q_EMIT passed(report->written, report->applied);
    }
    if (std::exchange(m_again, false))
        passSoon();
}

// The other devices' folders, each followed by its journals. This device's own are left out:
// watching them would make each pass call the next one.
QFileInfoList FolderSync::otherDevicesEntries() const
{
    QFileInfoList entries;
    const QDir devices(m_folder + u"/devices"_s);
    for (const QFileInfo &device :
         devices.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name)) {
        if (device.fileName() == m_device)
            continue;
        entries.append(device);
        entries +=
            QDir(device.filePath()).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name);
    }
    return entries;
}

// The other devices' journals with their sizes and times.
QStringList FolderSync::journalsSeen() const
{
    QStringList seen;
    for (const QFileInfo &entry : otherDevicesEntries()) {
        if (entry.isFile())
            seen.append(u"%1 %2 %3"_s.arg(entry.filePath())
                            .arg(entry.size())
                            .arg(entry.lastModified().toMSecsSinceEpoch()));
    }
    return seen;
}

// The folder, its device folders and the other devices' journals: a sync engine renames a
// finished file into place (a folder change), a folder shared directly sees appends (a file
// change).
void FolderSync::watchJournals()
{
    QStringList paths{m_folder, m_folder + u"/devices"_s};
    for (const QFileInfo &entry : otherDevicesEntries())
        paths.append(entry.filePath());
    paths.removeIf([](const QString &path) { return !QFileInfo::exists(path); });
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    QStringList added;
    for (const QString &path : std::as_const(paths)) {
        if (!watched.contains(path))
            added.append(path);
    }
    if (!added.isEmpty())
        m_watcher.addPaths(added);
}
