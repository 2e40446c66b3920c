#include "syncjournal.h"

#include "localized.h"
#include "privatefiles.h"
#include "regularfiles.h"
#include "uuidtext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

const QRegularExpression journalName(u"^journal-(\\d+)\\.jsonl$"_s);

// The last line of a full file: the device has gone on to the next one.
const QByteArray endLine = "{\"end\":true}\n";

// Whole lines on a line of their own, never glued to a torn one; see appendPrivateFile.
Status appendTo(const QString &path, const QByteArray &lines)
{
    if (Status error = appendPrivateFile(path, lines))
        return Error(
            localized("The journal “%1” could not be written: %2").arg(path, error->message));
    return std::nullopt;
}

// Reads the complete lines of a file from an offset, a chunk at a time; a line longer than the
// limit is skipped without being held.
class LineReader
{
public:
    LineReader(QFile &file, qint64 offset) : m_file(file), m_lineStart(offset)
    {
        m_file.seek(offset);
    }

    // The next complete line (without its line feed), or an empty optional at the end of the
    // complete lines; overlong is set for a line that was skipped.
    std::optional<QByteArray> next(bool &overlong)
    {
        for (;;) {
            const qsizetype end = m_chunk.indexOf('\n', m_scanned);
            if (end >= 0) {
                const qsizetype length = end - m_begin;
                overlong = m_overlong || length > DeviceJournal::maxLineBytes;
                QByteArray line = overlong ? QByteArray() : m_chunk.sliced(m_begin, length);
                m_lineStart += m_skipped + length + 1;
                m_begin = m_scanned = end + 1;
                m_skipped = 0;
                m_overlong = false;
                return line;
            }
            m_chunk.remove(0, m_begin);
            m_begin = 0;
            if (m_chunk.size() > DeviceJournal::maxLineBytes) {
                m_overlong = true;
                m_skipped += m_chunk.size();
                m_chunk.clear();
            }
            m_scanned = m_chunk.size();
            const QByteArray more = m_file.read(chunkBytes);
            if (more.isEmpty())
                return std::nullopt;
            m_chunk += more;
        }
    }

    // Where the line after the last complete one starts.
    qint64 lineStart() const { return m_lineStart; }

private:
    static constexpr qint64 chunkBytes = 1 << 20;

    QFile &m_file;
    qint64 m_lineStart;
    QByteArray m_chunk;
    // Where the current line starts in the chunk, and how far it has been searched.
    qsizetype m_begin = 0;
    qsizetype m_scanned = 0;
    qint64 m_skipped = 0;
    bool m_overlong = false;
};

} // namespace

QString HybridTimestamp::text() const
{
    return u"%1-%2-%3"_s.arg(milliseconds, 16, 10, QChar(u'0'))
        .arg(counter, 4, 10, QChar(u'0'))
        .arg(device);
}

std::optional<HybridTimestamp> HybridTimestamp::fromText(const QString &text)
{
    static const QRegularExpression pattern(u"^(\\d{16})-(\\d{4,})-(.+)$"_s);
    const QRegularExpressionMatch match = pattern.match(text);
    bool ok = false;
    const qint32 counter = match.hasMatch() ? match.captured(2).toInt(&ok) : 0;
    if (!ok)
        return std::nullopt;
    return HybridTimestamp{match.captured(1).toLongLong(), counter, match.captured(3)};
}

HybridTimestamp HybridLogicalClock::now(qint64 wallMilliseconds)
{
    const qint64 wall = std::min(wallMilliseconds, HybridTimestamp::maxMilliseconds);
    if (wall > m_last.milliseconds) {
        m_last.milliseconds = wall;
        m_last.counter = 0;
    } else if (m_last.counter < HybridTimestamp::maxCounter) {
        ++m_last.counter;
    } else if (m_last.milliseconds < HybridTimestamp::maxMilliseconds) {
        // The counter keeps to its four digits, so that stamps sort as text: a millisecond
        // that is full lends the next one.
        ++m_last.milliseconds;
        m_last.counter = 0;
    }
    return m_last;
}

void HybridLogicalClock::observe(const HybridTimestamp &seen)
{
    if (seen.milliseconds > HybridTimestamp::maxMilliseconds)
        return;
    const qint32 counter = std::min(seen.counter, HybridTimestamp::maxCounter);
    if (seen.milliseconds > m_last.milliseconds) {
        m_last.milliseconds = seen.milliseconds;
        m_last.counter = counter;
    } else if (seen.milliseconds == m_last.milliseconds) {
        m_last.counter = std::max(m_last.counter, counter);
    }
}

QByteArray JournalRecord::line() const
{
    QJsonObject object{{u"at"_s, stamp.text()},
                       {u"entity"_s, entity},
                       {u"uuid"_s, uuidText(uuid)},
                       {u"origin"_s, origin}};
    if (created)
        object.insert(u"created"_s, true);
    if (deleted)
        object.insert(u"deleted"_s, true);
    else
        object.insert(u"record"_s, snapshot);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<JournalRecord> JournalRecord::fromLine(const QByteArray &line)
{
    const QJsonObject object = QJsonDocument::fromJson(line).object();
    const auto stamp = HybridTimestamp::fromText(object.value(u"at"_s).toString());
    const std::optional<QUuid> uuid = uuidFromText(object.value(u"uuid"_s).toString());
    const QString entity = object.value(u"entity"_s).toString();
    const bool deleted = object.value(u"deleted"_s).toBool();
    if (!stamp || !uuid || (entity != u"profile"_s && entity != u"tag"_s) ||
        (!deleted && !object.value(u"record"_s).isObject()))
        return std::nullopt;
    const QString origin = object.value(u"origin"_s).toString(stamp->device);
    return JournalRecord{*stamp,
                         entity,
                         *uuid,
                         deleted,
                         object.value(u"record"_s).toObject(),
                         origin,
                         object.value(u"created"_s).toBool()};
}

DeviceJournal::DeviceJournal(QString syncFolder, QString device)
    : m_folder(syncFolder + u"/devices/"_s + device)
{}

QString DeviceJournal::fileName(int number)
{
    return u"journal-%1.jsonl"_s.arg(number);
}

int DeviceJournal::lastFileNumber() const
{
    int last = 1;
    const QStringList names = QDir(m_folder).entryList(QDir::Files);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = journalName.match(name);
        if (match.hasMatch())
            last = std::max(last, match.captured(1).toInt());
    }
    return last;
}

Result<QString> DeviceJournal::append(const QList<JournalRecord> &records) const
{
    if (!QDir().mkpath(m_folder))
        return Error(localized("The sync folder “%1” cannot be written.").arg(m_folder));
    // Appends go through this folder, never through a link put in its place.
    if (QFileInfo(m_folder).isSymLink())
        return Error(localized("The journal folder “%1” cannot be written: it is a symbolic link.")
                         .arg(m_folder));
    int number = lastFileNumber();
    if (QFileInfo(m_folder + u'/' + fileName(number)).size() >= rotationBytes) {
        if (Status error = appendTo(m_folder + u'/' + fileName(number), endLine))
            return *error;
        ++number;
    }
    QByteArray lines;
    for (const JournalRecord &record : records) {
        const QByteArray line = record.line();
        if (line.size() > maxLineBytes)
            return Error(localized("The record of “%1” is too large for the journal (%2 bytes).")
                             .arg(uuidText(record.uuid))
                             .arg(line.size()));
        lines += line;
    }
    const QString path = m_folder + u'/' + fileName(number);
    if (Status error = appendTo(path, lines))
        return *error;
    return path;
}

JournalRead DeviceJournal::readFrom(JournalPosition position) const
{
    JournalRead read{{}, position, {}};
    const QStringList names = QDir(m_folder).entryList(QDir::Files, QDir::Name);
    for (const QString &name : names) {
        if (!journalName.match(name).hasMatch() && name.contains(u"journal"_s))
            read.problems.append(localized("Ignored “%1”: a copy the sync engine made.")
                                     .arg(m_folder + u'/' + name));
    }
    for (int number = position.file;; ++number) {
        const QString path = m_folder + u'/' + fileName(number);
        struct stat entry
        {
        };
        if (::lstat(QFile::encodeName(path).constData(), &entry) != 0)
            break;
        QFile file;
        if (Status refused = openRegularFile(file, path, Links::refuse)) {
            read.problems.append(
                localized("Skipped the journal “%1”: %2.").arg(path, refused->message));
            break;
        }
        LineReader lines(file, number == position.file ? position.offset : 0);
        bool ended = false;
        bool overlong = false;
        while (const std::optional<QByteArray> line = lines.next(overlong)) {
            if (overlong)
                read.problems.append(localized("Skipped a line of “%1” longer than %2 bytes.")
                                         .arg(path)
                                         .arg(maxLineBytes));
            else if (line->trimmed().isEmpty())
                continue;
            else if (*line + '\n' == endLine)
                ended = true;
            else if (auto record = JournalRecord::fromLine(*line))
                read.records.append(*record);
            else
                read.problems.append(
                    localized("Skipped a line of “%1” that is not a record.").arg(path));
        }
        // Until its end line is there, the rest of this file may still come, even after the
        // next file has (sync engines copy files in any order).
        if (!ended) {
            read.position = {number, lines.lineStart()};
            break;
        }
        read.position = {number + 1, 0};
    }
    return read;
}

DeviceFolders journalDevices(const QString &syncFolder)
{
    DeviceFolders folders;
    const QFileInfoList entries = QDir(syncFolder + u"/devices"_s)
                                      .entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.isSymLink())
            folders.problems.append(localized("Ignored “%1”: a device folder that is a symbolic "
                                              "link.")
                                        .arg(entry.filePath()));
        else
            folders.devices.append(entry.fileName());
    }
    return folders;
}
