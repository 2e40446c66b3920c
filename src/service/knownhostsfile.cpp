#include "knownhostsfile.h"

#include "localized.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

Result<QList<KnownHostEntry>> readKnownHostsFile(const QString &path)
{
    QList<KnownHostEntry> entries;
    QFile file(path);
    if (!file.exists())
        return entries;
    if (!file.open(QIODevice::ReadOnly))
        return Error(localized("“%1” cannot be read: %2").arg(path, file.errorString()));
    QByteArray text = file.readAll();
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
