#include "backups.h"

#include "localized.h"
#include "objectcontext.h"
#include "profile.h"
#include "profileimport.h"
#include "queries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>

#include <filesystem>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcBackup, "io.vellssh.backup-manager")

namespace {

const QString extension = u"velltunnel"_s;
// The widest offset from UTC that any zone uses.
constexpr int maximumOffsetHours = 14;

// The regular files of the folder, or why it could not be listed: a folder that cannot be read
// is not an empty one.
Result<QFileInfoList> filesIn(const QString &directory)
{
    std::error_code error;
    std::filesystem::directory_iterator entries(QFile::encodeName(directory).toStdString(), error);
    QFileInfoList files;
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const QFileInfo entry(QFile::decodeName(QByteArray::fromStdString(entries->path())));
        if (entry.isFile())
            files.append(entry);
    }
    if (error)
        return Error(localized("The backup folder “%1” could not be read: %2")
                         .arg(directory, QString::fromLocal8Bit(error.message())));
    return files;
}

} // namespace

QString backupFileName(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    const QString zone =
        QString::asprintf("%c%02d%02d", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return time.toString(u"yyyy-MM-dd_HH-mm-ss_"_s) + zone + u'.' + extension;
}

// The time is read in the zone its name states, never in this machine's: a name from a time
// that this zone skips (a daylight-saving gap) is still a backup, and still pruned.
std::optional<QDateTime> backupDateOf(const QString &fileName)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        u"(\\d{4}-\\d{2}-\\d{2})_(\\d{2}-\\d{2}-\\d{2})_([+-])(\\d{2})(\\d{2})\\."_s + extension));
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date = QDate::fromString(match.captured(1), u"yyyy-MM-dd"_s);
    const QTime time = QTime::fromString(match.captured(2), u"HH-mm-ss"_s);
    const int hours = match.captured(4).toInt();
    const int minutes = match.captured(5).toInt();
    if (!date.isValid() || !time.isValid() || hours > maximumOffsetHours || minutes >= 60)
        return std::nullopt;
    const int offset = (hours * 60 + minutes) * 60 * (match.captured(3) == u"-"_s ? -1 : 1);
    return QDateTime(date, time, Qt::OffsetFromUTC, offset);
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
    if (!QFileInfo(m_directory).isDir())
        return Error(localized("The backup folder “%1” does not exist.").arg(m_directory));
    const Result<QFileInfoList> entries = filesIn(m_directory);
    if (!entries)
        return entries.error();
    QList<BackupFileInfo> infos;
    for (const QFileInfo &entry : *entries) {
        if (!entry.fileName().endsWith(u'.' + extension))
            continue;
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
    if (!folder.isDir() || !folder.isWritable()) {
        // Backups never go on silently to the folder that the person just chose to leave.
        const bool wasOn = m_manager != nullptr;
        m_manager.reset();
        m_store(std::nullopt);
        if (wasOn)
            Q_EMIT changed();
        return Error(localized("Auto Backup Error") + u": "_s +
                     localized("“%1” is not a folder that can be written; automatic backups "
                               "are off.")
                         .arg(*directory));
    }
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
