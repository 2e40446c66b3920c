#include "backups.h"

#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileimport.h"
#include "queries.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcBackup, "io.vellssh.backup-manager")

namespace {

const QString extension = u"velltunnel"_s;

} // namespace

QString backupFileName(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    const QString zone =
        QString::asprintf("%c%02d%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return time.toString(u"yyyy-MM-dd_HH-mm-ss_"_s) + zone + u'.' + extension;
}

std::optional<QDateTime> backupDateOf(const QString &fileName)
{
    static const QRegularExpression pattern(
        u"^(\\d{4}-\\d{2}-\\d{2}_\\d{2}-\\d{2}-\\d{2})_([+-])(\\d{2})(\\d{2})\\.velltunnel$"_s);
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    QDateTime local = QDateTime::fromString(match.captured(1), u"yyyy-MM-dd_HH-mm-ss"_s);
    if (!local.isValid())
        return std::nullopt;
    const int offset = (match.captured(3).toInt() * 60 + match.captured(4).toInt()) * 60 *
                       (match.captured(2) == u"-"_s ? -1 : 1);
    return QDateTime(local.date(), local.time(), Qt::OffsetFromUTC, offset);
}

BackupFileManager::BackupFileManager(QString directory) : m_directory(std::move(directory))
{
    m_worker.setMaxThreadCount(1);
}

BackupFileManager::~BackupFileManager()
{
    m_worker.waitForDone();
}

Result<QList<BackupFileInfo>> BackupFileManager::sortedBackupFileInfos() const
{
    const QDir folder(m_directory);
    if (!folder.exists())
        return Error(localized("The backup folder “%1” does not exist.").arg(m_directory));
    QList<BackupFileInfo> infos;
    const QFileInfoList entries = folder.entryInfoList({u"*."_s + extension}, QDir::Files);
    for (const QFileInfo &entry : entries) {
        const std::optional<QDateTime> date = backupDateOf(entry.fileName());
        if (!date) {
            qCWarning(lcBackup).noquote() << "Failed to extract timestamp from" << entry.filePath()
                                          << u": not a backup file name"_s;
            continue;
        }
        BackupFileInfo info{entry.filePath(), *date, std::nullopt, std::nullopt, entry.size()};
        if (entry.birthTime().isValid())
            info.creationDate = entry.birthTime();
        if (entry.lastModified().isValid())
            info.modificationDate = entry.lastModified();
        infos.append(info);
    }
    std::sort(infos.begin(), infos.end(), [](const BackupFileInfo &a, const BackupFileInfo &b) {
        return a.backupDate > b.backupDate;
    });
    return infos;
}

void BackupFileManager::deleteOldBackupFiles()
{
    m_worker.start([this] { prune(); });
}

void BackupFileManager::waitForDone()
{
    m_worker.waitForDone();
}

void BackupFileManager::prune() const
{
    if (maximumNumberOfBackupFiles < 1)
        return;
    const auto infos = sortedBackupFileInfos();
    if (!infos) {
        qCWarning(lcBackup).noquote() << infos.error().message;
        return;
    }
    for (qsizetype i = maximumNumberOfBackupFiles; i < infos->size(); ++i) {
        QFile file(infos->at(i).path);
        if (!file.remove())
            qCCritical(lcBackup).noquote()
                << u"Failed to remove old backup file "_s + file.fileName()
                << u": "_s + file.errorString();
    }
}

Result<std::optional<QString>> performBackup(const ObjectContext &context,
                                             BackupFileManager &manager, const QDateTime &now)
{
    const QList<Profile *> profiles = validProfiles(context);
    if (profiles.isEmpty())
        return std::optional<QString>();
    const QString path = manager.backupDirectory() + u'/' + backupFileName(now);
    if (Status error = writeExportFile(path, profiles)) {
        qCCritical(lcBackup).noquote() << u"Failed to write "_s + path << error->message;
        return Error(
            localized("The backup “%1” could not be written: %2").arg(path, error->message));
    }
    manager.deleteOldBackupFiles();
    return std::optional(path);
}

BackupModule::BackupModule(Load load, Store store, QObject *parent)
    : QObject(parent), m_load(std::move(load)), m_store(std::move(store))
{
    open(m_load());
}

void BackupModule::open(const std::optional<QString> &folder)
{
    m_manager.reset();
    if (folder && QFileInfo(*folder).isDir())
        m_manager = std::make_unique<BackupFileManager>(*folder);
    else if (folder)
        qCCritical(lcBackup).noquote() << "The backup folder" << *folder << "is gone.";
}

void BackupModule::reload()
{
    const std::optional<QString> folder = m_load();
    if (folder == directory())
        return;
    open(folder);
    Q_EMIT changed();
}

BackupModule::~BackupModule() = default;

std::optional<QString> BackupModule::directory() const
{
    return m_manager ? std::optional(m_manager->backupDirectory()) : std::nullopt;
}

Status BackupModule::setDirectory(const std::optional<QString> &directory)
{
    if (!directory) {
        m_manager.reset();
        m_store(std::nullopt);
        Q_EMIT changed();
        return std::nullopt;
    }
    const QFileInfo folder(*directory);
    if (!folder.isDir() || !folder.isWritable())
        return Error(localized("Auto Backup Error") + u": "_s +
                     localized("“%1” is not a folder that can be written.").arg(*directory));
    m_manager = std::make_unique<BackupFileManager>(folder.absoluteFilePath());
    m_store(folder.absoluteFilePath());
    Q_EMIT changed();
    return std::nullopt;
}

Result<std::optional<QString>> BackupModule::backUp(const ObjectContext &context)
{
    if (!m_manager)
        return std::optional<QString>();
    auto written = performBackup(context, *m_manager);
    if (written && *written) {
        m_lastBackup = QDateTime::currentDateTime();
        Q_EMIT changed();
    }
    return written;
}
