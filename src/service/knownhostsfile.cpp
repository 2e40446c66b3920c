#include "knownhostsfile.h"

#include "localized.h"
#include "regularfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// A real known_hosts file holds a few thousand lines, well under a megabyte; anything far
// bigger is not one, and reading it whole would only swell the service.
constexpr qint64 maxFileSize = 16 << 20;

} // namespace

Result<QList<KnownHostEntry>> readKnownHostsFile(const QString &path)
{
    QList<KnownHostEntry> entries;
    if (!QFileInfo::exists(path))
        return entries;
    Result<QByteArray> read = readRegularFile(path, maxFileSize, Links::follow);
    if (!read)
        return Error(localized("“%1” cannot be read: %2").arg(path, read.error().message));
    QByteArray text = std::move(*read);
    if (text.endsWith('\n'))
        text.chop(1);
    if (text.isEmpty())
        return entries;
    for (const QByteArray &line : text.split('\n'))
        entries.append(KnownHostEntry::fromLine(QString::fromUtf8(line)));
    return entries;
}

Status writeKnownHostsFile(const QString &path, const QList<KnownHostEntry> &entries)
{
    QByteArray text;
    for (const KnownHostEntry &entry : entries)
        text += entry.content.toUtf8() + '\n';
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return Error(localized("“%1” cannot be written: %2").arg(path, file.errorString()));
    return std::nullopt;
}
